#include "run/checkpoint.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/file_replacement.h"
#include "platform/keyboard.h"
#include "platform/system_services.h"
#include "rules/move_generation.h"
#include "rules/notation.h"

namespace nagare {

// The file, little-endian, no padding, no header; every field in this order:
//   elapsedSeconds i64 | genre i32 | moveRule i32 | checkRequired u8 | pawnDropMate u8
//   tableSize u32 | usedCount u32 | peakCount u32 | openProbeMax i32 | provenProbeMax i32
//   nonProofProbeMax i32 | finalDepthBound i16 | openPlyBound i16 | generation i32
//   previousGeneration i32 | phase i32 | verifyKind i32 | interruptPly i16 | interruptMove 4
//   verifyStopPly i16 | verifyStopMove 4 | searchedNodes u64 | maxPly i16 | solutionLength i16
//   maxPn i32 | maxDn i32 | maxTreeExp i32
//   n u64, then n moves of the work line (4 each) from phase 2 on
//   givenLineMode u8 | hasFailure u8, then the given line's failure node (1928) when it is 1
//   r u64, then r resume records, root first: move 4, pn, dn, pnThr, dnThr i32
//   c u64, then c children lists: k u64 and k nodes (1928 each)
//   the tableSize table entries (20 each), slots 0 .. tableSize - 1
// Nodes are position images; their two pointer fields are written as zero.

namespace {

constexpr int MOVE_BYTES = 4;
constexpr uint64_t RESUME_RECORD_BYTES = MOVE_BYTES + 4 * sizeof(int32_t);
constexpr uint64_t ENTRY_BYTES = sizeof(TableEntry);
// The counts of the table are kept in 32 bits.
constexpr uint64_t FORMAT_SLOT_LIMIT = uint64_t(1) << 32;
// A line has a move per ply; a stopped path a node per ply and the root; a node no more children
// than a position has legal moves.
constexpr uint64_t MAX_LINE_MOVES = MAX_PLY - 1;
constexpr uint64_t MAX_PATH_NODES = MAX_PLY;
constexpr uint64_t MAX_CHILDREN = MOVE_BUFFER_SIZE;
constexpr int32_t MAX_GENERATION = 15;

// --- the fields before the lines, read and written by one description ---

struct Head {
    int64_t elapsedSeconds = 0;
    int32_t genre = 0;
    int32_t moveRule = 0;
    uint8_t checkRequired = 0;
    uint8_t pawnDropMate = 0;
    uint32_t tableSize = 0;
    uint32_t usedCount = 0;
    uint32_t peakCount = 0;
    int32_t openProbeMax = 0;
    int32_t provenProbeMax = 0;
    int32_t nonProofProbeMax = 0;
    int16_t finalDepthBound = 0;
    int16_t openPlyBound = 0;
    int32_t generation = 0;
    int32_t previousGeneration = 0;
    int32_t phase = 0;
    int32_t verifyKind = 0;
    int16_t interruptPly = 0;
    Move interruptMove;
    int16_t verifyStopPly = 0;
    Move verifyStopMove;
    uint64_t searchedNodes = 0;
    int16_t maxPly = 0;
    int16_t solutionLength = 0;
    int32_t maxPn = 0;
    int32_t maxDn = 0;
    int32_t maxTreeExp = 0;
};

template <typename Io>
void transferHead(Io& io, Head& h) {
    io.field(h.elapsedSeconds);
    io.field(h.genre);
    io.field(h.moveRule);
    io.field(h.checkRequired);
    io.field(h.pawnDropMate);
    io.field(h.tableSize);
    io.field(h.usedCount);
    io.field(h.peakCount);
    io.field(h.openProbeMax);
    io.field(h.provenProbeMax);
    io.field(h.nonProofProbeMax);
    io.field(h.finalDepthBound);
    io.field(h.openPlyBound);
    io.field(h.generation);
    io.field(h.previousGeneration);
    io.field(h.phase);
    io.field(h.verifyKind);
    io.field(h.interruptPly);
    io.field(h.interruptMove);
    io.field(h.verifyStopPly);
    io.field(h.verifyStopMove);
    io.field(h.searchedNodes);
    io.field(h.maxPly);
    io.field(h.solutionLength);
    io.field(h.maxPn);
    io.field(h.maxDn);
    io.field(h.maxTreeExp);
}

template <typename Io>
void transferRecord(Io& io, ResumeRecord& r) {
    io.field(r.move);
    io.field(r.pn);
    io.field(r.dn);
    io.field(r.pnThr);
    io.field(r.dnThr);
}

// The work line's moves are kept from the search for shorter mates on; the main solve needs none.
bool keepsWorkLine(int32_t phase) {
    return phase >= PHASE_SHORTER;
}

// The given line failed somewhere when its failure node holds a move.
bool hasGivenLineFailure(const SearchContext& ctx) {
    return ctx.givenLineFailure.lastMove.from != 0 || ctx.givenLineFailure.lastMove.to != 0;
}

// --- writing ---

class CheckpointWriter {
  public:
    explicit CheckpointWriter(platform::FileReplacement& file) : file_(file) {}

    template <typename T>
    void field(T value) {
        static_assert(std::is_integral_v<T>);
        using Bits = std::make_unsigned_t<T>;
        uint8_t bytes[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(static_cast<Bits>(value)) >> (8 * i));
        file_.write(bytes, sizeof bytes);
    }
    void field(Move m) {
        const uint8_t bytes[MOVE_BYTES] = {m.from, m.to, m.piece, m.promote};
        file_.write(bytes, sizeof bytes);
    }
    void node(const Position& p) {
        // The links point into this process's memory and mean nothing to a later run.
        Position unlinked = p;
        unlinked.children = nullptr;
        unlinked.parent = nullptr;
        writePositionImage(unlinked, image_);
        file_.write(image_, sizeof image_);
    }
    void raw(const void* data, size_t bytes) { file_.write(data, bytes); }

  private:
    platform::FileReplacement& file_;
    uint8_t image_[POSITION_IMAGE_SIZE];
};

Head headOf(const RunState& run) {
    const RuleSet& rules = run.problem.rules;
    const PositionTable& t = run.table;
    const SearchContext& ctx = *run.ctx;
    Head h;
    h.elapsedSeconds = run.elapsedSeconds;
    h.genre = rules.genre;
    h.moveRule = rules.moveRule;
    h.checkRequired = rules.checkRequired ? 1 : 0;
    h.pawnDropMate = rules.pawnDropMate ? 1 : 0;
    h.tableSize = static_cast<uint32_t>(t.tableSize);
    h.usedCount = static_cast<uint32_t>(t.usedCount);
    h.peakCount = static_cast<uint32_t>(t.peakCount);
    h.openProbeMax = t.openProbeMax;
    h.provenProbeMax = t.provenProbeMax;
    h.nonProofProbeMax = t.nonProofProbeMax;
    h.finalDepthBound = t.finalDepthBound;
    h.openPlyBound = t.openPlyBound;
    h.generation = t.generation;
    h.previousGeneration = t.previousGeneration;
    h.phase = ctx.phase;
    h.verifyKind = ctx.verifyKind;
    h.interruptPly = ctx.interruptPly;
    h.interruptMove = ctx.interruptMove;
    h.verifyStopPly = ctx.verifyStopPly;
    h.verifyStopMove = ctx.verifyStopMove;
    h.searchedNodes = ctx.searchedNodes;
    h.maxPly = ctx.maxPly;
    h.solutionLength = ctx.solutionLength;
    h.maxPn = ctx.maxPn;
    h.maxDn = ctx.maxDn;
    h.maxTreeExp = ctx.maxTreeExp;
    return h;
}

void writeCheckpoint(CheckpointWriter& out, const RunState& run) {
    const SearchContext& ctx = *run.ctx;
    Head head = headOf(run);
    transferHead(out, head);

    out.field(static_cast<uint64_t>(ctx.workLine.size()));
    if (keepsWorkLine(ctx.phase))
        for (Move m : ctx.workLine) out.field(m);

    out.field(static_cast<uint8_t>(ctx.givenLineMode ? 1 : 0));
    const bool failure = hasGivenLineFailure(ctx);
    out.field(static_cast<uint8_t>(failure ? 1 : 0));
    if (failure) out.node(ctx.givenLineFailure);

    out.field(static_cast<uint64_t>(ctx.resumePath.size()));
    for (ResumeRecord r : ctx.resumePath) transferRecord(out, r);

    out.field(static_cast<uint64_t>(ctx.savedChildren.size()));
    for (const std::vector<Position>& list : ctx.savedChildren) {
        out.field(static_cast<uint64_t>(list.size()));
        for (const Position& child : list) out.node(child);
    }

    // The entries' memory is their file image (little-endian, 20 bytes, no padding).
    if (run.table.tableSize > 0) out.raw(run.table.entries.get(), run.table.tableSize * ENTRY_BYTES);
}

// --- reading ---

// Reads the file front to back within its known size: a read past the end or a failed read makes
// every later read fail too.
class CheckpointReader {
  public:
    CheckpointReader(std::FILE* file, uint64_t size) : file_(file), remaining_(size) {}

    bool ok() const { return ok_; }
    bool pastEnd() const { return pastEnd_; }
    uint64_t remaining() const { return remaining_; }

    bool raw(void* out, uint64_t bytes) {
        if (!ok_) return false;
        if (bytes > remaining_) {
            ok_ = false;
            pastEnd_ = true;
            return false;
        }
        if (bytes > 0 && std::fread(out, 1, bytes, file_) != bytes) {
            ok_ = false;
            return false;
        }
        remaining_ -= bytes;
        return true;
    }
    template <typename T>
    void field(T& value) {
        static_assert(std::is_integral_v<T>);
        uint8_t bytes[sizeof(T)] = {};
        raw(bytes, sizeof bytes);
        uint64_t v = 0;
        for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<uint64_t>(bytes[i]) << (8 * i);
        value = static_cast<T>(static_cast<std::make_unsigned_t<T>>(v));
    }
    void field(Move& m) {
        uint8_t bytes[MOVE_BYTES] = {};
        raw(bytes, sizeof bytes);
        m = Move{bytes[0], bytes[1], bytes[2], bytes[3]};
    }
    void node(Position& p) {
        uint8_t image[POSITION_IMAGE_SIZE] = {};
        raw(image, sizeof image);
        readPositionImage(p, image);
    }
    // Whether `count` items of `bytes` each can still be in the file; a count beyond it means the
    // file ends early.
    bool fits(uint64_t count, uint64_t bytes) {
        if (ok_ && count > remaining_ / bytes) {
            ok_ = false;
            pastEnd_ = true;
        }
        return ok_;
    }

  private:
    std::FILE* file_;
    uint64_t remaining_;
    bool ok_ = true;
    bool pastEnd_ = false;
};

// Everything but the table entries, read and checked before any of it is restored.
struct Checkpoint {
    Head head;
    uint64_t lineLength = 0;
    std::vector<Move> workLine;
    uint8_t givenLineMode = 0;
    uint8_t hasFailure = 0;
    Position givenLineFailure{};
    std::vector<ResumeRecord> resumePath;
    std::vector<std::vector<Position>> savedChildren;
};

// Why a checkpoint is not taken; the console text of each.
enum class Refusal {
    NONE,
    RULES,
    CONDITIONS,
    CHECK,
    PAWN_DROP,
    MEMORY,
    TRUNCATED,
    TOO_LONG,
    DAMAGED,
    UNREADABLE
};

const char* refusalText(Refusal r) {
    switch (r) {
        case Refusal::RULES:
            return "エラー：待避ファイルと現ファイルでルールが異なります";
        case Refusal::CONDITIONS:
            return "エラー：待避ファイルと現ファイルで条件が異なります";
        case Refusal::CHECK:
            return "エラー：待避ファイルと現ファイルで王手義務の条件が異なります";
        case Refusal::PAWN_DROP:
            return "エラー：待避ファイルと現ファイルで「打歩」の条件が異なります";
        case Refusal::MEMORY:
            return "エラー：待避ファイルと現ファイルでメモリ指定が異なります";
        case Refusal::TRUNCATED:
            return "エラー：待避ファイルが途中で切れています。保存の途中で終わったか、壊れたファイルです\n"
                   "再開せずに解き直すには、再開するかどうかの問いに N と答えてください";
        case Refusal::TOO_LONG:
            return "エラー：待避ファイルが記録された内容より長くなっています。壊れたか、別のファイルです\n"
                   "再開せずに解き直すには、再開するかどうかの問いに N と答えてください";
        case Refusal::DAMAGED:
            return "エラー：待避ファイルの内容がありえない値になっています。壊れたか、別のファイルです\n"
                   "再開せずに解き直すには、再開するかどうかの問いに N と答えてください";
        case Refusal::UNREADABLE:
            return "エラー：待避ファイルを読み込めませんでした";
        case Refusal::NONE:
            break;
    }
    return "";
}

bool isFlag(uint8_t b) {
    return b <= 1;
}

// What the head says that no run writes.
bool isPossibleHead(const Head& h) {
    const bool knownPhase = h.phase == PHASE_SOLVE || h.phase == PHASE_SHORTER || h.phase == PHASE_VERIFY;
    return knownPhase && isFlag(h.checkRequired) && isFlag(h.pawnDropMate) && h.usedCount <= h.tableSize &&
           h.peakCount <= h.tableSize && h.generation >= 1 && h.generation <= MAX_GENERATION &&
           h.previousGeneration >= 0 && h.previousGeneration <= MAX_GENERATION &&
           isWellFormedMove(h.interruptMove) && isWellFormedMove(h.verifyStopMove);
}

// Reads everything before the table entries and checks that it can be what a run saved and that
// the entries fill the rest of the file exactly.
Refusal readCheckpoint(CheckpointReader& in, Checkpoint& cp) {
    auto failure = [&in] { return in.pastEnd() ? Refusal::TRUNCATED : Refusal::UNREADABLE; };
    transferHead(in, cp.head);
    if (!in.ok()) return failure();
    if (!isPossibleHead(cp.head)) return Refusal::DAMAGED;

    in.field(cp.lineLength);
    if (keepsWorkLine(cp.head.phase)) {
        if (cp.lineLength > MAX_LINE_MOVES) return Refusal::DAMAGED;
        if (!in.fits(cp.lineLength, MOVE_BYTES)) return failure();
        cp.workLine.resize(cp.lineLength);
        for (Move& m : cp.workLine) {
            in.field(m);
            if (!isWellFormedMove(m)) return Refusal::DAMAGED;
        }
    }

    in.field(cp.givenLineMode);
    in.field(cp.hasFailure);
    if (!in.ok()) return failure();
    if (!isFlag(cp.givenLineMode) || !isFlag(cp.hasFailure)) return Refusal::DAMAGED;
    if (cp.hasFailure == 1) {
        in.node(cp.givenLineFailure);
        if (!in.ok()) return failure();
        if (!isConsistentPosition(cp.givenLineFailure) || !isWellFormedMove(cp.givenLineFailure.lastMove))
            return Refusal::DAMAGED;
    }

    uint64_t records = 0;
    in.field(records);
    if (!in.ok()) return failure();
    if (records > MAX_PATH_NODES) return Refusal::DAMAGED;
    if (!in.fits(records, RESUME_RECORD_BYTES)) return failure();
    cp.resumePath.resize(records);
    for (ResumeRecord& r : cp.resumePath) {
        transferRecord(in, r);
        if (!isWellFormedMove(r.move)) return Refusal::DAMAGED;
    }

    uint64_t lists = 0;
    in.field(lists);
    if (!in.ok()) return failure();
    if (lists > MAX_PATH_NODES) return Refusal::DAMAGED;
    cp.savedChildren.resize(lists);
    for (std::vector<Position>& list : cp.savedChildren) {
        uint64_t count = 0;
        in.field(count);
        if (!in.ok()) return failure();
        if (count > MAX_CHILDREN) return Refusal::DAMAGED;
        if (!in.fits(count, POSITION_IMAGE_SIZE)) return failure();
        list.resize(count);
        for (Position& child : list) {
            in.node(child);
            if (!in.ok()) return failure();
            if (!isConsistentPosition(child) || !isWellFormedMove(child.lastMove)) return Refusal::DAMAGED;
        }
    }

    const uint64_t tableBytes = uint64_t(cp.head.tableSize) * ENTRY_BYTES;
    if (in.remaining() < tableBytes) return Refusal::TRUNCATED;
    if (in.remaining() > tableBytes) return Refusal::TOO_LONG;
    return Refusal::NONE;
}

// The first rule or memory difference, in the order the user is told about them.
Refusal ruleDifference(const Head& h, const RunState& run) {
    const RuleSet& rules = run.problem.rules;
    if (h.genre != rules.genre) return Refusal::RULES;
    if (h.moveRule != rules.moveRule) return Refusal::CONDITIONS;
    if ((h.checkRequired == 1) != rules.checkRequired) return Refusal::CHECK;
    if ((h.pawnDropMate == 1) != rules.pawnDropMate) return Refusal::PAWN_DROP;
    if (uint64_t(h.tableSize) != run.table.tableSize) return Refusal::MEMORY;
    return Refusal::NONE;
}

bool askedYes(RunState& run) {
    return run.ctx->answerYes ? run.ctx->answerYes() : platform::askYes('Y');
}

CheckpointLoad refuse(Refusal r) {
    std::string text = "\n";
    text += refusalText(r);
    text += "\nEnterキーを押して終了してください...";
    platform::consoleWrite(text);
    platform::waitForKey();
    return CheckpointLoad::REFUSED;
}

// The notation of the move at which the verification stopped, played in the position the line
// reaches at that ply. Where the line does not lead there move by move, the short form stands in.
std::string verifyStopNotation(const RunState& run, const Checkpoint& cp) {
    const Move stop = cp.head.verifyStopMove;
    const int ply = cp.head.verifyStopPly;
    if (ply < 0 || static_cast<size_t>(ply) > cp.workLine.size()) return formatMoveShort(stop);
    Position p = run.root;
    Move legal[MOVE_BUFFER_SIZE];
    for (int i = 0; i < ply; ++i) {
        const int count = generateAllMoves(p, legal, GenerationRules{run.problem.rules.pawnDropMate});
        bool found = false;
        for (int j = 0; j < count && !found; ++j) found = legal[j] == cp.workLine[i];
        if (!found) return formatMoveShort(stop);
        makeMove(p, cp.workLine[i]);
    }
    return formatMove(p, stop);
}

void restore(RunState& run, Checkpoint& cp) {
    const Head& h = cp.head;
    PositionTable& t = run.table;
    SearchContext& ctx = *run.ctx;
    run.elapsedSeconds = h.elapsedSeconds;
    // Only the low half of the counts is kept; tables that large are never saved.
    t.usedCount = h.usedCount;
    t.peakCount = h.peakCount;
    t.openProbeMax = h.openProbeMax;
    t.provenProbeMax = h.provenProbeMax;
    t.nonProofProbeMax = h.nonProofProbeMax;
    t.finalDepthBound = h.finalDepthBound;
    t.openPlyBound = h.openPlyBound;
    t.generation = h.generation;
    t.previousGeneration = h.previousGeneration;
    ctx.phase = h.phase;
    ctx.verifyKind = h.verifyKind;
    ctx.interruptPly = h.interruptPly;
    ctx.interruptMove = h.interruptMove;
    ctx.verifyStopPly = h.verifyStopPly;
    ctx.verifyStopMove = h.verifyStopMove;
    ctx.searchedNodes = h.searchedNodes;
    ctx.maxPly = h.maxPly;
    ctx.solutionLength = h.solutionLength;
    ctx.maxPn = h.maxPn;
    ctx.maxDn = h.maxDn;
    ctx.maxTreeExp = h.maxTreeExp;

    ctx.workLine.insert(ctx.workLine.end(), cp.workLine.begin(), cp.workLine.end());
    ctx.givenLineMode = cp.givenLineMode == 1;
    // The main solve steers along the given sequence, which the file holds only by its length: the
    // moves come back from the problem file's list, of which the run used that many from the start
    // (the moves that could be played).
    if (!keepsWorkLine(h.phase) && ctx.givenLineMode && ctx.workLine.empty() &&
        cp.lineLength <= ctx.inputLine.size())
        ctx.workLine.assign(ctx.inputLine.begin(),
                            ctx.inputLine.begin() + static_cast<ptrdiff_t>(cp.lineLength));
    if (cp.hasFailure == 1) ctx.givenLineFailure = cp.givenLineFailure;
    ctx.resumePath.insert(ctx.resumePath.end(), cp.resumePath.begin(), cp.resumePath.end());
    for (std::vector<Position>& list : cp.savedChildren) ctx.savedChildren.push_back(std::move(list));
    run.elapsedRestored = true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void offerSave(RunState& run, MoveLine line) {
    platform::consoleWrite("\n現在の状態を保存しますか？（Y/N）：");
    if (!askedYes(run)) return;
    if (!line.empty()) run.ctx->workLine = std::move(line);
    saveCheckpoint(run);
}

bool saveCheckpoint(RunState& run) {
    // The stretch solved since startTime is counted now, and the next stretch starts here.
    const int64_t now = platform::wallClockSeconds();
    run.elapsedSeconds += now - run.startTime;
    run.startTime = now;

    if (run.table.tableSize >= FORMAT_SLOT_LIMIT) {
        platform::consoleWrite(
            "\nエラー：局面表が大きすぎて待避ファイルに保存できません（メモリ指定を小さくしてください）\n");
        return false;
    }
    platform::FileReplacement file;
    if (!file.open(run.table.checkpointPath)) {
        platform::consoleWrite("待避用のファイルが開けません");
        return false;
    }
    platform::consoleWrite("\n待避ファイル作成中... しばらくお待ちください\n");
    CheckpointWriter out(file);
    writeCheckpoint(out, run);
    if (!file.commit()) {
        platform::consoleWrite(
            "エラー：待避ファイルを書き込めませんでした（ディスクの空きを確かめてください）。"
            "前からある待避ファイルは変わっていません\n");
        return false;
    }
    run.checkpointSaved = true;
    return true;
}

CheckpointLoad loadCheckpoint(RunState& run) {
    const std::string& path = run.table.checkpointPath;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return CheckpointLoad::NONE;

    platform::consoleWrite("\n待避ファイルがあります。これを使って再開しますか？（Y/N）");
    if (!askedYes(run)) return CheckpointLoad::NONE;
    platform::consoleWrite("\n待避ファイルから再開します。\n");

    std::error_code error;
    const uint64_t size = std::filesystem::file_size(path, error);
    if (error) return refuse(Refusal::UNREADABLE);
    CheckpointReader in(file.get(), size);
    Checkpoint cp;
    if (Refusal r = readCheckpoint(in, cp); r != Refusal::NONE) return refuse(r);
    if (Refusal r = ruleDifference(cp.head, run); r != Refusal::NONE) return refuse(r);

    if (cp.head.phase == PHASE_VERIFY) {
        std::string from = "\n";
        from += std::to_string(cp.head.verifyStopPly + 1) + "手目";
        if (!cp.head.verifyStopMove.isNull()) from += verifyStopNotation(run, cp);
        platform::consoleWrite(from + "から再開\n");
    }
    if (!in.raw(run.table.entries.get(), run.table.tableSize * ENTRY_BYTES)) {
        run.table.clear();
        return refuse(in.pastEnd() ? Refusal::TRUNCATED : Refusal::UNREADABLE);
    }
    run.table.restoredEntries();
    restore(run, cp);
    return CheckpointLoad::RESUMED;
}

}  // namespace nagare
