#include "run/run_driver.h"

#include <memory>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/keyboard.h"
#include "rules/diagram.h"
#include "rules/validation.h"
#include "run/solving_run.h"

namespace nagare {

Side firstSideToMove(int genre, int16_t length) {
    bool odd = length % 2 == 1;
    if (isOwnKingGenre(genre)) return odd ? GOTE : SENTE;
    return odd ? SENTE : GOTE;
}

int runProgram(int argc, char* argv[]) {
    platform::installInterruptHandler();
    auto run = std::make_unique<RunState>();

    if (argc > 1) {
        run->inputPath = argv[1];
    } else {
        platform::consoleWrite("入力ファイル名：");
        platform::readInputLine(run->inputPath);
    }

    ReadResult read = readProblem(run->inputPath, run->problem);
    if (read.status == ReadStatus::CANNOT_OPEN) {
        platform::consoleWrite("エラー：ファイルを開けませんでした。Enterキーを押して終了してください\n");
        platform::waitForKey();
        return EXIT_FATAL;
    }
    if (read.status == ReadStatus::MALFORMED) {
        platform::consoleWrite(read.message);
        platform::pause();
        return EXIT_FATAL;
    }

    const ProblemRecord& record = run->problem.record;
    const RuleSet& rules = run->problem.rules;
    setUp(run->root, record.diagram.data(), record.handCounts.data(),
          firstSideToMove(rules.genre, record.length));

    if (!record.heading.empty()) platform::consoleWrite(record.heading + "\n\n");
    platform::consoleWrite(record.ruleName + record.classification + " " + record.lengthText + "手\n");
    drawDiagram(run->root, "");

    if (!validateInitialPosition(run->root, rules.genre)) {
        platform::pause();
        return EXIT_FATAL;
    }
    return runSolving(*run);
}

}  // namespace nagare
