#include "run/solving_run.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/system_services.h"
#include "rules/diagram.h"
#include "rules/line_replay.h"
#include "run/checkpoint.h"
#include "run/solve_driver.h"
#include "run/solve_setup.h"

namespace nagare {

namespace {

using platform::consoleWrite;

constexpr uint64_t BYTES_PER_MEGABYTE = uint64_t{1} << 20;
constexpr size_t EXTENSION_BYTES = 4;  // ".kif"
constexpr int32_t SECONDS_PER_HOUR = 3600;
constexpr int32_t SECONDS_PER_MINUTE = 60;
constexpr double PERCENT_SCALE = 100.0;
constexpr const char* VERSION = "1.97";

// The report file, open for appending from before the resume question to after the summary.
class ReportFile {
  public:
    explicit ReportFile(const std::string& path) : file_(std::fopen(path.c_str(), "ab")) {}
    ~ReportFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    std::FILE* get() const { return file_; }
    void write(const std::string& sjis) {
        std::fwrite(sjis.data(), 1, sjis.size(), file_);
        std::fflush(file_);
    }

  private:
    std::FILE* file_;
};

int fatal(const std::string& message) {
    consoleWrite(message);
    platform::pause();
    return EXIT_FATAL;
}

// The genre line: fairy rules, genre and a length, as the heading of a run shows it.
std::string genreLine(const ProblemRecord& record, const std::string& length) {
    return record.ruleName + record.classification + " " + length + "\n";
}

// Where the shorter-mate search stopped, when it was steered by the given sequence: the first ply at
// which the stopped path leaves the sequence. The path's first record is the root's own, so the
// sequence's move i is compared with the path's record i + 1.
std::string departureText(const RunState& run) {
    const SearchContext& ctx = *run.ctx;
    for (size_t i = 0; i < ctx.inputLine.size() && i + 1 < ctx.resumePath.size(); ++i) {
        const Move taken = ctx.resumePath[i + 1].move;
        if (taken == ctx.inputLine[i]) continue;
        return "、" + std::to_string(i + 1) + "手目" +
               formatMoveAlong(run.root, ctx.inputLine, static_cast<int>(i), taken) + "まで";
    }
    return {};
}

std::string phaseText(const RunState& run) {
    const SearchContext& ctx = *run.ctx;
    if (ctx.phase <= PHASE_SOLVE) return "求解中";
    if (ctx.phase == PHASE_SHORTER) return "早詰検討中" + (ctx.givenLineMode ? departureText(run) : "");
    if (ctx.phase < PHASE_VERIFY) return {};
    if (ctx.verifyStopMove.isNull()) return "早詰検討まで";
    return "変別・非限定検討中、" + std::to_string(ctx.verifyStopPly + 1) + "手目" +
           formatMoveAlong(run.root, ctx.workLine, ctx.verifyStopPly, ctx.verifyStopMove) + "まで";
}

}  // namespace

std::string reportPathFor(const std::string& inputPath) {
    return inputPath + ".txt";
}

std::string checkpointPathFor(const std::string& inputPath) {
    const size_t keep =
        inputPath.size() >= EXTENSION_BYTES ? inputPath.size() - EXTENSION_BYTES : inputPath.size();
    return inputPath.substr(0, keep) + ".n1s";
}

std::string timeText(int64_t seconds) {
    const auto s = static_cast<int32_t>(seconds);
    const int32_t hours = s / SECONDS_PER_HOUR;
    const int32_t minutes = s % SECONDS_PER_HOUR / SECONDS_PER_MINUTE;
    std::string text;
    if (hours > 0) text += std::to_string(hours) + "時間";
    if (minutes > 0) text += std::to_string(minutes) + "分";
    return text + std::to_string(s % SECONDS_PER_MINUTE) + "秒";
}

std::string summaryText(const RunState& run, uint64_t peakCount, uint64_t tableSize) {
    const SearchContext& ctx = *run.ctx;
    const SolveOptions& options = run.problem.options;
    std::string text = "\n所要時間：" + timeText(run.elapsedSeconds) + " 探索局面数：" +
                       std::to_string(ctx.searchedNodes) + "\n";
    if (options.detailedMonitor) text += "探索レベル：" + std::to_string(ctx.maxTreeExp) + ", ";
    char percentage[32];
    const double used = tableSize == 0 ? 0.0 : static_cast<double>(peakCount) * PERCENT_SCALE / tableSize;
    std::snprintf(percentage, sizeof percentage, "%3.1f", used);
    text += "局面表：" + std::to_string(peakCount) + "/" + std::to_string(tableSize) + " (" + percentage +
            "％)\n";
    text += std::string("Checked by Nagare1.exe ") + VERSION;
    if (ctx.givenLineMode) text += ", 手順指定";
    if (options.cookCheck)
        text += ", 検討深度(実/指定) " + std::to_string(ctx.maxPly) + "/" + std::to_string(options.cookDepth);
    if (options.symmetry) text += ", 対称性検出 ";
    if (run.root.state == NODE_STATE_ABORTED) return text + " \n(中断：" + phaseText(run) + ")\n\n";
    if (options.scope == SCOPE_SOLVE_ONLY) return text + " (解図のみ)\n\n";
    if (options.scope == SCOPE_ABBREVIATED) return text + " (略式検討)\n\n";
    return text + "\n\n";
}

int runSolving(RunState& run) {
    const Problem& problem = run.problem;
    const ProblemRecord& record = problem.record;
    SearchContext& ctx = *run.ctx;

    // The table must fit in the memory that is really free: a table the system cannot back would get
    // the process killed part way through a long solve.
    const int64_t megabytes = std::max<int64_t>(problem.options.memoryMB, TABLE_MIN_MEGABYTES);
    const uint64_t available = platform::availablePhysicalMemory() / BYTES_PER_MEGABYTE;
    const uint64_t needed = PositionTable::bytesFor(static_cast<uint64_t>(megabytes)) / BYTES_PER_MEGABYTE;
    if (available != 0 && available < std::max(needed, static_cast<uint64_t>(megabytes)))
        return fatal("指定のメモリサイズが実際に使える値より大きくなっています\n指定：" +
                     std::to_string(megabytes) + "MB, 使用可能：" + std::to_string(available) + "MB\n");
    if (!run.table.create(static_cast<uint64_t>(megabytes))) return fatal("領域確保失敗\n");

    run.table.checkpointPath = checkpointPathFor(run.inputPath);
    run.reportPath = reportPathFor(run.inputPath);
    ReportFile report(run.reportPath);
    if (report.get() == nullptr) return fatal("出力用ファイルを開けませんでした。\n");
    prepareContext(ctx, problem, run.table);
    ctx.report = report.get();

    switch (loadCheckpoint(run)) {
        case CheckpointLoad::REFUSED:
            return EXIT_FATAL;
        case CheckpointLoad::RESUMED: {
            ctx.resuming = true;
            std::string length = std::to_string(record.length) + "手";
            const auto lineLength = static_cast<long long>(ctx.workLine.size());
            if (ctx.phase > PHASE_SHORTER) length = std::to_string(lineLength) + "手";
            if (ctx.phase == PHASE_SHORTER) length = std::to_string(lineLength - 2) + "手（早詰チェック）";
            consoleWrite(std::string("\n") + genreLine(record, length));
            drawDiagram(run.root, "");
            consoleWrite("\n再開手順：\n");
            break;
        }
        case CheckpointLoad::NONE:
            break;
    }
    if (!ctx.resuming) {
        if (!record.heading.empty()) report.write(record.heading + "\n\n");
        report.write(genreLine(record, std::to_string(record.length) + "手"));
        report.write(formatDiagram(run.root));
    }

    run.startTime = platform::wallClockSeconds();
    solveProblem(run);
    run.table.recount();
    const uint64_t peakCount = run.table.peakCount, tableSize = run.table.tableSize;
    run.table.release();
    run.endTime = platform::wallClockSeconds();
    run.elapsedSeconds += run.endTime - run.startTime;

    const std::string summary = summaryText(run, peakCount, tableSize);
    consoleWrite(summary);
    report.write(summary);

    if (run.elapsedRestored && !run.checkpointSaved) {
        consoleWrite("待避ファイルを削除しますか？（Y/N）：");
        if (platform::askYes('Y')) platform::deleteFile(run.table.checkpointPath);
    }
    platform::pause();
    return EXIT_NORMAL;
}

}  // namespace nagare
