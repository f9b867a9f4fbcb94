#include "run/checkpoint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../support/solve_support.h"
#include "../support/test_files.h"
#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/file_replacement.h"
#include "platform/system_services.h"
#include "platform/threads.h"
#include "rules/notation.h"
#include "run/solve_setup.h"
#include "search/proof_search.h"

namespace nagare {
namespace {

const std::string PROBLEM = std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-004.kif";
constexpr uint64_t SLOTS = 1 << 16;
constexpr int STOP_AT_QUESTION = 350;

test::QuietTableConsole quietTable;

// What the console shows for Shift-JIS text.
std::string shown(const std::string& sjis) {
    return platform::toConsoleEncoding(sjis);
}

// The checkpoint's path for this test, with no file there yet.
std::string checkpointPath() {
    const std::string path = test::tempPath("p.n1s");
    std::filesystem::remove(path);
    std::filesystem::remove(platform::FileReplacement::temporaryPathFor(path));
    return path;
}

// A run prepared as the solving run prepares it, with its checkpoint at `checkpoint`.
std::unique_ptr<RunState> preparedRun(const std::string& checkpoint, uint64_t slots = SLOTS) {
    auto run = std::make_unique<RunState>();
    run->inputPath = PROBLEM;
    EXPECT_EQ(readProblem(PROBLEM, run->problem).status, ReadStatus::OK);
    setUp(run->root, run->problem.record.diagram.data(), run->problem.record.handCounts.data(),
          firstSideToMove(run->problem.rules.genre, run->problem.record.length));
    EXPECT_TRUE(run->table.createSlots(slots));
    run->table.console = &quietTable;
    run->table.checkpointPath = checkpoint;
    prepareContext(*run->ctx, run->problem, run->table);
    prepareRoot(run->root);
    return run;
}

int depthOf(const RunState& run, int32_t phase) {
    return phase == PHASE_SOLVE ? run.problem.record.length : run.problem.record.length - 2;
}

// Searches the root in `phase`; when `stopAt` > 0 the user presses ESC before the search starts and
// answers every interruption question "N" until question `stopAt`, answered "Y".
void search(RunState& run, int32_t phase, int stopAt = 0) {
    SearchContext& ctx = *run.ctx;
    ctx.phase = phase;
    int questions = 0;
    ctx.answerYes = [&] {
        if (++questions == stopAt) return true;
        ctx.interruptRequest = true;
        return false;
    };
    ctx.interruptRequest = stopAt > 0;
    ::testing::internal::CaptureStdout();
    platform::runWithLargeStack([&] { runSearch(ctx, run.root, depthOf(run, phase)); });
    ::testing::internal::GetCapturedStdout();
    ctx.answerYes = nullptr;
}

struct Verdict {
    bool proved = false;
    int proofLength = -1;
    bool operator==(const Verdict&) const = default;
};

Verdict verdictOf(RunState& run) {
    Verdict v;
    v.proved = isProved(run.root);
    if (TableEntry* e = v.proved ? run.table.probeProven(run.root) : nullptr) v.proofLength = e->depth;
    return v;
}

// Loads with the resume question answered `yes`; the console output in `printed`. Any key the loader
// waits for meets the end of input.
CheckpointLoad load(RunState& run, std::string* printed = nullptr, bool yes = true) {
    run.ctx->answerYes = [yes] { return yes; };
    const int keyboard = dup(STDIN_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    close(nothing);
    platform::consoleInputLineEnded();
    ::testing::internal::CaptureStdout();
    const CheckpointLoad result = loadCheckpoint(run);
    const std::string out = ::testing::internal::GetCapturedStdout();
    dup2(keyboard, STDIN_FILENO);
    close(keyboard);
    std::clearerr(stdin);
    run.ctx->answerYes = nullptr;
    if (printed != nullptr) *printed = out;
    return result;
}

bool save(RunState& run, std::string* printed = nullptr) {
    platform::consoleInputLineEnded();
    ::testing::internal::CaptureStdout();
    const bool ok = saveCheckpoint(run);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (printed != nullptr) *printed = out;
    return ok;
}

// A search stopped by the user in `phase`, its state ready to be saved.
std::unique_ptr<RunState> stoppedRun(const std::string& checkpoint, int32_t phase = PHASE_SOLVE) {
    auto run = preparedRun(checkpoint);
    search(*run, phase, STOP_AT_QUESTION);
    EXPECT_EQ(run->root.state, NODE_STATE_ABORTED);
    EXPECT_GE(run->ctx->resumePath.size(), 3u) << "the stop should come deep in the tree";
    return run;
}

// A node's file image, its links left out.
std::vector<uint8_t> imageOf(Position p) {
    p.children = nullptr;
    p.parent = nullptr;
    std::vector<uint8_t> image(POSITION_IMAGE_SIZE);
    writePositionImage(p, image.data());
    return image;
}

// Every field the checkpoint carries is equal in the two runs.
void expectSameState(const RunState& a, const RunState& b) {
    EXPECT_EQ(a.elapsedSeconds, b.elapsedSeconds);
    const PositionTable& ta = a.table;
    const PositionTable& tb = b.table;
    ASSERT_EQ(ta.tableSize, tb.tableSize);
    EXPECT_EQ(std::memcmp(ta.entries.get(), tb.entries.get(), ta.tableSize * sizeof(TableEntry)), 0);
    EXPECT_EQ(ta.usedCount, tb.usedCount);
    EXPECT_EQ(ta.peakCount, tb.peakCount);
    EXPECT_EQ(ta.openProbeMax, tb.openProbeMax);
    EXPECT_EQ(ta.provenProbeMax, tb.provenProbeMax);
    EXPECT_EQ(ta.nonProofProbeMax, tb.nonProofProbeMax);
    EXPECT_EQ(ta.finalDepthBound, tb.finalDepthBound);
    EXPECT_EQ(ta.openPlyBound, tb.openPlyBound);
    EXPECT_EQ(ta.generation, tb.generation);
    EXPECT_EQ(ta.previousGeneration, tb.previousGeneration);

    const SearchContext& ca = *a.ctx;
    const SearchContext& cb = *b.ctx;
    EXPECT_EQ(ca.phase, cb.phase);
    EXPECT_EQ(ca.verifyKind, cb.verifyKind);
    EXPECT_EQ(ca.interruptPly, cb.interruptPly);
    EXPECT_EQ(ca.interruptMove, cb.interruptMove);
    EXPECT_EQ(ca.verifyStopPly, cb.verifyStopPly);
    EXPECT_EQ(ca.verifyStopMove, cb.verifyStopMove);
    EXPECT_EQ(ca.searchedNodes, cb.searchedNodes);
    EXPECT_EQ(ca.maxPly, cb.maxPly);
    EXPECT_EQ(ca.solutionLength, cb.solutionLength);
    EXPECT_EQ(ca.maxPn, cb.maxPn);
    EXPECT_EQ(ca.maxDn, cb.maxDn);
    EXPECT_EQ(ca.maxTreeExp, cb.maxTreeExp);
    EXPECT_EQ(ca.workLine, cb.workLine);
    EXPECT_EQ(ca.givenLineMode, cb.givenLineMode);
    EXPECT_EQ(imageOf(ca.givenLineFailure), imageOf(cb.givenLineFailure));
    ASSERT_EQ(ca.resumePath.size(), cb.resumePath.size());
    for (size_t i = 0; i < ca.resumePath.size(); ++i) {
        const ResumeRecord& x = ca.resumePath[i];
        const ResumeRecord& y = cb.resumePath[i];
        EXPECT_TRUE(x.move == y.move && x.pn == y.pn && x.dn == y.dn && x.pnThr == y.pnThr &&
                    x.dnThr == y.dnThr)
            << "record " << i;
    }
    ASSERT_EQ(ca.savedChildren.size(), cb.savedChildren.size());
    for (size_t i = 0; i < ca.savedChildren.size(); ++i) {
        ASSERT_EQ(ca.savedChildren[i].size(), cb.savedChildren[i].size()) << "list " << i;
        for (size_t j = 0; j < ca.savedChildren[i].size(); ++j)
            EXPECT_EQ(imageOf(ca.savedChildren[i][j]), imageOf(cb.savedChildren[i][j]))
                << "list " << i << " child " << j;
    }
}

// The moves of the stopped path from the root: a legal line as long as the path.
std::vector<Move> pathMoves(const SearchContext& ctx) {
    std::vector<Move> moves;
    for (size_t i = 1; i < ctx.resumePath.size(); ++i) moves.push_back(ctx.resumePath[i].move);
    return moves;
}

// --- the round trip ---

TEST(CheckpointFile, RestoresEveryFieldOfAStoppedSearch) {
    const std::string path = checkpointPath();
    auto stopped = stoppedRun(path);
    SearchContext& ctx = *stopped->ctx;
    // Give every field a value of its own, as a stop in the verification leaves them.
    ctx.phase = PHASE_VERIFY;
    ctx.verifyKind = VERIFY_ATTACKS;
    ctx.workLine = pathMoves(ctx);
    ctx.verifyStopPly = 2;
    ctx.verifyStopMove = ctx.workLine[2];
    ctx.solutionLength = 11;
    ctx.givenLineMode = true;
    ctx.givenLineFailure = ctx.savedChildren[1].back();
    stopped->table.finalDepthBound = 9;
    stopped->table.openPlyBound = 2;
    stopped->elapsedSeconds = 1234;
    stopped->startTime = platform::wallClockSeconds();
    ASSERT_TRUE(save(*stopped));
    EXPECT_TRUE(stopped->checkpointSaved);
    EXPECT_FALSE(std::filesystem::exists(platform::FileReplacement::temporaryPathFor(path)));

    auto resumed = preparedRun(path);
    ASSERT_EQ(load(*resumed), CheckpointLoad::RESUMED);
    EXPECT_TRUE(resumed->elapsedRestored);
    expectSameState(*stopped, *resumed);

    // Saved again, the restored state gives the same file byte for byte.
    const std::string first = test::readFile(path);
    resumed->startTime = platform::wallClockSeconds();
    resumed->elapsedSeconds = stopped->elapsedSeconds;
    ASSERT_TRUE(save(*resumed));
    EXPECT_EQ(test::readFile(path), first);
}

TEST(CheckpointFile, TheFieldsStandInTheirOrder) {
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    run->elapsedSeconds = 0x0102030405060708 - 1;
    run->startTime = platform::wallClockSeconds();
    ASSERT_TRUE(save(*run));
    const std::string file = test::readFile(path);
    const SearchContext& ctx = *run->ctx;
    auto number = [&](size_t at, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(uint8_t(file[at + i])) << (8 * i);
        return v;
    };
    EXPECT_EQ(number(0, 8), uint64_t(run->elapsedSeconds));
    EXPECT_EQ(number(8, 4), uint64_t(GENRE_BEST_MATE));
    EXPECT_EQ(number(16, 1), 1u);  // check required
    EXPECT_EQ(number(18, 4), SLOTS);
    EXPECT_EQ(number(22, 4), run->table.usedCount);
    EXPECT_EQ(number(54, 4), uint64_t(PHASE_SOLVE));
    EXPECT_EQ(number(62, 2), uint64_t(ctx.interruptPly));
    EXPECT_EQ(number(74, 8), ctx.searchedNodes);
    // The main solve keeps no moves of its work line, only their number.
    EXPECT_EQ(number(98, 8), 0u);
    const size_t records = ctx.resumePath.size();
    EXPECT_EQ(number(108, 8), records);
    EXPECT_EQ(number(116 + 20 * records, 8), ctx.savedChildren.size());
    const uint64_t tableBytes = SLOTS * sizeof(TableEntry);
    EXPECT_EQ(std::memcmp(file.data() + file.size() - tableBytes, run->table.entries.get(), tableBytes), 0);
}

// A search stopped in a phase, saved, and resumed by a new run from the file reaches the verdict of
// the same search never stopped.
class CheckpointResume : public ::testing::TestWithParam<int32_t> {};

TEST_P(CheckpointResume, ReachesTheVerdictOfAnUnstoppedSearch) {
    const int32_t phase = GetParam();
    auto plain = preparedRun(test::tempPath("unused.n1s"));
    search(*plain, phase);
    const Verdict expected = verdictOf(*plain);
    EXPECT_EQ(expected.proved, phase == PHASE_SOLVE) << "mate in 11 and not in 9";

    const std::string path = checkpointPath();
    auto stopped = stoppedRun(path, phase);
    ASSERT_TRUE(save(*stopped));

    auto resumed = preparedRun(path);
    ASSERT_EQ(load(*resumed), CheckpointLoad::RESUMED);
    EXPECT_EQ(resumed->ctx->phase, phase);
    resumed->ctx->resuming = true;
    ::testing::internal::CaptureStdout();
    platform::runWithLargeStack([&] { runSearch(*resumed->ctx, resumed->root, depthOf(*resumed, phase)); });
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(verdictOf(*resumed), expected);
    EXPECT_FALSE(resumed->ctx->resuming);
    EXPECT_EQ(resumed->root.state, NODE_STATE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(Phases, CheckpointResume, ::testing::Values(PHASE_SOLVE, PHASE_SHORTER));

TEST(CheckpointFile, TheMainSolveKeepsOnlyTheLengthOfItsLine) {
    const std::string path = checkpointPath();
    auto stopped = stoppedRun(path);
    const std::vector<Move> given = pathMoves(*stopped->ctx);
    stopped->ctx->workLine = given;
    ASSERT_TRUE(save(*stopped));

    auto fresh = preparedRun(path);
    ASSERT_EQ(load(*fresh), CheckpointLoad::RESUMED);
    EXPECT_TRUE(fresh->ctx->workLine.empty());

    // Steered along the given sequence, the main solve takes it back from the problem file.
    stopped->ctx->givenLineMode = true;
    ASSERT_TRUE(save(*stopped));
    auto steered = preparedRun(path);
    steered->ctx->inputLine = given;
    ASSERT_EQ(load(*steered), CheckpointLoad::RESUMED);
    EXPECT_EQ(steered->ctx->workLine, given);

    // Only the moves of the list that the run could play were steered along: as many as were saved.
    std::vector<Move> listed = given;
    listed.push_back(Move{0x11, 0x12, SENTE + PAWN, 0});
    auto longer = preparedRun(path);
    longer->ctx->inputLine = listed;
    ASSERT_EQ(load(*longer), CheckpointLoad::RESUMED);
    EXPECT_EQ(longer->ctx->workLine, given);
}

// Resuming the verification names the ply and the move at which it stopped.
TEST(CheckpointFile, ResumingTheVerificationSaysWhereItGoesOn) {
    const std::string path = checkpointPath();
    auto stopped = stoppedRun(path);
    SearchContext& ctx = *stopped->ctx;
    ctx.phase = PHASE_VERIFY;
    ctx.workLine = pathMoves(ctx);
    ASSERT_GE(ctx.workLine.size(), 3u);

    Position atStop = stopped->root;
    makeMove(atStop, ctx.workLine[0]);
    makeMove(atStop, ctx.workLine[1]);
    ctx.verifyStopPly = 2;
    ctx.verifyStopMove = ctx.workLine[2];
    ASSERT_TRUE(save(*stopped));
    std::string printed;
    ASSERT_EQ(load(*preparedRun(path), &printed), CheckpointLoad::RESUMED);
    EXPECT_EQ(
        printed,
        shown("\n待避ファイルがあります。これを使って再開しますか？（Y/N）\n待避ファイルから再開します。\n"
              "\n3手目" +
              formatMove(atStop, ctx.workLine[2]) + "から再開\n"));

    // Stopped before any move was examined: the ply alone.
    ctx.verifyStopPly = 0;
    ctx.verifyStopMove = Move{};
    ASSERT_TRUE(save(*stopped));
    ASSERT_EQ(load(*preparedRun(path), &printed), CheckpointLoad::RESUMED);
    EXPECT_NE(printed.find(shown("\n1手目から再開\n")), std::string::npos) << printed;
}

// --- time ---

TEST(CheckpointFile, ASaveCountsTheTimeSinceTheStartOnce) {
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    const int64_t before = platform::wallClockSeconds();
    run->startTime = before - 100;
    run->elapsedSeconds = 50;
    ASSERT_TRUE(save(*run));
    const int64_t after = platform::wallClockSeconds();
    EXPECT_GE(run->elapsedSeconds, 150);
    EXPECT_LE(run->elapsedSeconds, 150 + (after - before));
    EXPECT_GE(run->startTime, before);
    EXPECT_LE(run->startTime, after);
    // A second save at once adds (almost) nothing.
    const int64_t counted = run->elapsedSeconds;
    ASSERT_TRUE(save(*run));
    EXPECT_LE(run->elapsedSeconds - counted, platform::wallClockSeconds() - after);

    auto resumed = preparedRun(path);
    ASSERT_EQ(load(*resumed), CheckpointLoad::RESUMED);
    EXPECT_EQ(resumed->elapsedSeconds, run->elapsedSeconds);
}

// --- the question ---

struct OfferCase {
    const char* name;
    bool yes;
    bool lineGiven;
    bool saved;
};

class OfferSave : public ::testing::TestWithParam<OfferCase> {};

TEST_P(OfferSave, SavesOnYesWithTheLineHandedOver) {
    const OfferCase& c = GetParam();
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    run->ctx->phase = PHASE_SHORTER;
    const std::vector<Move> earlier = {run->ctx->resumePath[1].move};
    run->ctx->workLine = earlier;
    const MoveLine handed = c.lineGiven ? pathMoves(*run->ctx) : MoveLine{};
    run->ctx->answerYes = [&] { return c.yes; };
    platform::consoleInputLineEnded();
    ::testing::internal::CaptureStdout();
    offerSave(*run, handed);
    const std::string printed = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(printed.rfind(shown("\n現在の状態を保存しますか？（Y/N）："), 0), 0u) << printed;
    EXPECT_EQ(std::filesystem::exists(path), c.saved);
    EXPECT_EQ(run->checkpointSaved, c.saved);
    EXPECT_EQ(run->ctx->workLine, c.yes && c.lineGiven ? handed : earlier);
    if (c.saved) {
        auto resumed = preparedRun(path);
        ASSERT_EQ(load(*resumed), CheckpointLoad::RESUMED);
        EXPECT_EQ(resumed->ctx->workLine, run->ctx->workLine);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, OfferSave,
                         ::testing::Values(OfferCase{"YesWithALine", true, true, true},
                                           OfferCase{"YesWithAnEmptyLine", true, false, true},
                                           OfferCase{"No", false, true, false}),
                         [](const ::testing::TestParamInfo<OfferCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CheckpointFile, WithoutAFileOrAYesNothingIsRestored) {
    const std::string path = checkpointPath();
    auto none = preparedRun(path);
    std::string printed;
    EXPECT_EQ(load(*none, &printed), CheckpointLoad::NONE);
    EXPECT_EQ(printed, "");

    auto stopped = stoppedRun(path);
    ASSERT_TRUE(save(*stopped));
    const std::string file = test::readFile(path);
    auto declined = preparedRun(path);
    EXPECT_EQ(load(*declined, &printed, false), CheckpointLoad::NONE);
    EXPECT_EQ(printed, shown("\n待避ファイルがあります。これを使って再開しますか？（Y/N）"));
    EXPECT_EQ(declined->table.usedCount, 0u);
    EXPECT_TRUE(declined->ctx->resumePath.empty());
    EXPECT_FALSE(declined->elapsedRestored);
    EXPECT_EQ(test::readFile(path), file);
}

// --- refusals ---

// Nothing of a refused checkpoint reaches the run.
void expectUntouched(const RunState& run) {
    EXPECT_EQ(run.table.usedCount, 0u);
    EXPECT_EQ(run.table.peakCount, 0u);
    const TableEntry* e = run.table.entries.get();
    bool allFresh = true;
    for (uint64_t i = 0; i < run.table.tableSize && allFresh; ++i) allFresh = e[i].isVirgin();
    EXPECT_TRUE(allFresh);
    EXPECT_EQ(run.ctx->phase, PHASE_SOLVE);
    EXPECT_EQ(run.ctx->searchedNodes, 0u);
    EXPECT_TRUE(run.ctx->resumePath.empty());
    EXPECT_TRUE(run.ctx->savedChildren.empty());
    EXPECT_FALSE(run.elapsedRestored);
}

const char* const RESUMING =
    "\n待避ファイルがあります。これを使って再開しますか？（Y/N）\n待避ファイルから再開します。\n";
const char* const ENDING = "\nEnterキーを押して終了してください...";

struct MismatchCase {
    const char* name;
    void (*change)(Problem&);
    uint64_t slots;
    const char* message;
};

class CheckpointMismatch : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(CheckpointMismatch, EndsTheRunWithItsMessage) {
    const MismatchCase& c = GetParam();
    const std::string path = checkpointPath();
    ASSERT_TRUE(save(*stoppedRun(path)));
    auto run = preparedRun(path, c.slots);
    if (c.change != nullptr) c.change(run->problem);
    std::string printed;
    EXPECT_EQ(load(*run, &printed), CheckpointLoad::REFUSED);
    EXPECT_EQ(printed, shown(std::string(RESUMING) + "\n" + c.message + ENDING));
    expectUntouched(*run);
}

INSTANTIATE_TEST_SUITE_P(
    Differences, CheckpointMismatch,
    ::testing::Values(MismatchCase{"Genre", [](Problem& p) { p.rules.genre = GENRE_WORST_MATE; }, SLOTS,
                                   "エラー：待避ファイルと現ファイルでルールが異なります"},
                      MismatchCase{"MoveRule", [](Problem& p) { p.rules.moveRule = MOVE_RULE_KINYOKU; },
                                   SLOTS, "エラー：待避ファイルと現ファイルで条件が異なります"},
                      MismatchCase{"CheckObligation", [](Problem& p) { p.rules.checkRequired = false; },
                                   SLOTS, "エラー：待避ファイルと現ファイルで王手義務の条件が異なります"},
                      MismatchCase{"PawnDrop", [](Problem& p) { p.rules.pawnDropMate = true; }, SLOTS,
                                   "エラー：待避ファイルと現ファイルで「打歩」の条件が異なります"},
                      MismatchCase{"Memory", nullptr, SLOTS * 2,
                                   "エラー：待避ファイルと現ファイルでメモリ指定が異なります"},
                      // The first difference is the one named.
                      MismatchCase{"GenreBeforeMemory", [](Problem& p) { p.rules.genre = GENRE_BEST_WIN; },
                                   SLOTS * 2, "エラー：待避ファイルと現ファイルでルールが異なります"}),
    [](const ::testing::TestParamInfo<MismatchCase>& info) { return std::string(info.param.name); });

// Layout of a saved main solve without a given sequence: the head, n, the two flags, the records.
constexpr size_t PHASE_AT = 54;
constexpr size_t USED_COUNT_AT = 22;
constexpr size_t RECORDS_AT = 108;
size_t listsAt(size_t records) {
    return RECORDS_AT + 8 + 20 * records;
}

void putNumber(std::string& file, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
}

enum class Fault { TRUNCATED, TOO_LONG, DAMAGED };

struct DamageCase {
    const char* name;
    void (*damage)(std::string& file, size_t records);
    Fault fault;
};

const char* faultText(Fault f) {
    switch (f) {
        case Fault::TRUNCATED:
            return "エラー：待避ファイルが途中で切れています";
        case Fault::TOO_LONG:
            return "エラー：待避ファイルが記録された内容より長くなっています";
        case Fault::DAMAGED:
            return "エラー：待避ファイルの内容がありえない値になっています";
    }
    return "";
}

class DamagedCheckpoint : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedCheckpoint, IsRefusedBeforeAnythingIsRestored) {
    const DamageCase& c = GetParam();
    const std::string path = checkpointPath();
    auto stopped = stoppedRun(path);
    ASSERT_TRUE(save(*stopped));
    std::string file = test::readFile(path);
    c.damage(file, stopped->ctx->resumePath.size());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;

    auto run = preparedRun(path);
    std::string printed;
    EXPECT_EQ(load(*run, &printed), CheckpointLoad::REFUSED);
    EXPECT_EQ(printed.rfind(shown(std::string(RESUMING) + "\n" + faultText(c.fault)), 0), 0u) << printed;
    EXPECT_NE(printed.find(shown(ENDING)), std::string::npos);
    expectUntouched(*run);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedCheckpoint,
    ::testing::Values(
        DamageCase{"Empty", [](std::string& f, size_t) { f.clear(); }, Fault::TRUNCATED},
        DamageCase{"CutInTheHead", [](std::string& f, size_t) { f.resize(40); }, Fault::TRUNCATED},
        DamageCase{"CutInTheChildren", [](std::string& f, size_t r) { f.resize(listsAt(r) + 8 + 1000); },
                   Fault::TRUNCATED},
        DamageCase{"LastByteMissing", [](std::string& f, size_t) { f.pop_back(); }, Fault::TRUNCATED},
        DamageCase{"OneByteTooMany", [](std::string& f, size_t) { f.push_back('\0'); }, Fault::TOO_LONG},
        DamageCase{"UnknownPhase", [](std::string& f, size_t) { putNumber(f, PHASE_AT, 3, 4); },
                   Fault::DAMAGED},
        DamageCase{"MoreUsedSlotsThanSlots",
                   [](std::string& f, size_t) { putNumber(f, USED_COUNT_AT, SLOTS + 1, 4); }, Fault::DAMAGED},
        DamageCase{"PathLongerThanAnySearch",
                   [](std::string& f, size_t) { putNumber(f, RECORDS_AT, uint64_t(1) << 40, 8); },
                   Fault::DAMAGED},
        DamageCase{"MoreChildrenThanMoves",
                   [](std::string& f, size_t r) { putNumber(f, listsAt(r) + 8, 100000, 8); }, Fault::DAMAGED},
        DamageCase{"ChildOffTheBoard",
                   // a piece code on the wall around the board of the first saved child
                   [](std::string& f, size_t r) { f[listsAt(r) + 16 + 2] = 17; }, Fault::DAMAGED},
        DamageCase{"ChildWithAStaleKey", [](std::string& f, size_t r) { f[listsAt(r) + 16 + 1896] ^= 1; },
                   Fault::DAMAGED},
        DamageCase{"ForeignText", [](std::string& f, size_t) { f = test::readFile(PROBLEM); },
                   Fault::DAMAGED}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// --- saving safely ---

TEST(CheckpointSave, AFileThatCannotBeCreatedIsReported) {
    auto run = stoppedRun(test::tempPath("missing-folder") + "/p.n1s");
    std::string printed;
    EXPECT_FALSE(save(*run, &printed));
    EXPECT_EQ(printed, shown("待避用のファイルが開けません"));
    EXPECT_FALSE(run->checkpointSaved);
}

TEST(CheckpointSave, ATableTooLargeForTheFormatIsNotSaved) {
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    const uint64_t slots = run->table.tableSize;
    run->table.tableSize = uint64_t(1) << 32;  // only the size is read before the refusal
    std::string printed;
    EXPECT_FALSE(save(*run, &printed));
    run->table.tableSize = slots;
    EXPECT_NE(printed.find(shown("局面表が大きすぎて待避ファイルに保存できません")), std::string::npos)
        << printed;
    EXPECT_FALSE(run->checkpointSaved);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Files of this process may grow to `bytes` at most while it lives.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

  private:
    rlimit saved_{};
};

TEST(CheckpointSave, AFailedWriteKeepsTheEarlierCheckpoint) {
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    ASSERT_TRUE(save(*run));
    const std::string earlier = test::readFile(path);

    run->checkpointSaved = false;
    ++run->ctx->searchedNodes;  // the new state differs from the saved one
    std::string printed;
    bool saved = true;
    {
        // Past the limit a write fails (with SIGXFSZ ignored) as it does on a full disk.
        struct sigaction ignore {
        }, previous{};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previous);
        const FileSizeLimit limit(earlier.size() / 2);
        saved = save(*run, &printed);
        sigaction(SIGXFSZ, &previous, nullptr);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(run->checkpointSaved);
    EXPECT_NE(printed.find(shown("エラー：待避ファイルを書き込めませんでした")), std::string::npos)
        << printed;
    EXPECT_EQ(test::readFile(path), earlier);
    EXPECT_FALSE(std::filesystem::exists(platform::FileReplacement::temporaryPathFor(path)));
}

// How a save is cut short in a child process once half the file is written.
enum class Cut { KILL, SECOND_CTRL_C };

RunState* childRun = nullptr;
Cut childCut = Cut::KILL;

extern "C" void cutTheSave(int) {
    if (childCut == Cut::KILL) raise(SIGKILL);
    // The first Ctrl-C only asks the user to use ESC; the second ends the process.
    raise(SIGINT);
    raise(SIGINT);
}

class KilledSave : public ::testing::TestWithParam<Cut> {};

TEST_P(KilledSave, LeavesTheEarlierCheckpointIntact) {
    const std::string path = checkpointPath();
    auto run = stoppedRun(path);
    ASSERT_TRUE(save(*run));
    const std::string earlier = test::readFile(path);
    ++run->ctx->searchedNodes;

    childRun = run.get();
    childCut = GetParam();
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        platform::installInterruptHandler();
        struct sigaction cut {};
        cut.sa_handler = cutTheSave;
        sigaction(SIGXFSZ, &cut, nullptr);
        const FileSizeLimit limit(earlier.size() / 2);
        saveCheckpoint(*childRun);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save should have been cut short";
    EXPECT_EQ(WTERMSIG(status), GetParam() == Cut::KILL ? SIGKILL : SIGINT);
    EXPECT_EQ(test::readFile(path), earlier);
    // What the cut save left behind is never read, and the next save starts it anew.
    ASSERT_TRUE(save(*run));
    auto resumed = preparedRun(path);
    ASSERT_EQ(load(*resumed), CheckpointLoad::RESUMED);
    EXPECT_EQ(resumed->ctx->searchedNodes, run->ctx->searchedNodes);
    EXPECT_FALSE(std::filesystem::exists(platform::FileReplacement::temporaryPathFor(path)));
}

INSTANTIATE_TEST_SUITE_P(Cuts, KilledSave, ::testing::Values(Cut::KILL, Cut::SECOND_CTRL_C),
                         [](const ::testing::TestParamInfo<Cut>& info) {
                             return std::string(info.param == Cut::KILL ? "Kill" : "SecondCtrlC");
                         });

}  // namespace
}  // namespace nagare
