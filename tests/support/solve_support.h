// Solving problem files and positions in tests, as nagare-bench solve does.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/threads.h"
#include "rules/position.h"
#include "run/problem_file.h"
#include "run/run_driver.h"
#include "run/solve_setup.h"
#include "search/proof_search.h"
#include "table/position_table.h"
#include "sfen.h"

namespace nagare::test {

struct Solved {
    bool proved = false;
    int proofLength = -1;  // from the table, when proved
    uint64_t nodes = 0;
};

// Swallows the table's console text, counting the recoveries it announces.
struct QuietTableConsole : TableConsole {
    int recoveries = 0;
    void write(std::string_view sjis) override {
        if (sjis.find("メモリが不足気味です") != std::string_view::npos) ++recoveries;
    }
    bool atLineStart() override { return true; }
};

// A problem with its table and search context, ready to search.
struct SolveRig {
    Problem problem;
    Position root{};
    PositionTable table;
    std::unique_ptr<SearchContext> ctx = std::make_unique<SearchContext>();

    // Reads the file and prepares the root and the context; `slots` 0 gives the smallest table.
    bool load(const std::string& path, uint64_t slots = 0) {
        if (readProblem(path, problem).status != ReadStatus::OK) return false;
        setUpRoot();
        return prepare(slots);
    }

    // The position of an SFEN string as the problem, `length` plies long, under the rules already set
    // in `problem`; `slots` 0 gives the smallest table.
    bool loadSfen(const std::string& sfen, int length, uint64_t slots = 0) {
        const Diagram d = parseSfen(sfen);
        problem.record.diagram = d.cells;
        problem.record.handCounts = d.hands;
        problem.record.length = static_cast<int16_t>(length);
        root = positionFromSfen(sfen);
        return prepare(slots);
    }

    void setUpRoot() {
        root = Position{};
        setUp(root, problem.record.diagram.data(), problem.record.handCounts.data(),
              firstSideToMove(problem.rules.genre, problem.record.length));
    }

    bool prepare(uint64_t slots = 0) {
        if (!(slots == 0 ? table.create(TABLE_MIN_MEGABYTES) : table.createSlots(slots))) return false;
        prepareContext(*ctx, problem, table);
        prepareRoot(root);
        return true;
    }

    Solved search(int depth) {
        ctx->phase = PHASE_SOLVE;
        platform::runWithLargeStack([&] { runSearch(*ctx, root, depth); });
        Solved s;
        s.proved = isProved(root);
        if (s.proved)
            if (TableEntry* e = table.probeProven(root)) s.proofLength = e->depth;
        s.nodes = ctx->searchedNodes;
        return s;
    }
};

// Solves the problem file to `depth` plies (-1: its stated length) in a fresh table.
inline Solved solveFile(const std::string& path, int depth = -1, uint64_t slots = 0) {
    SolveRig rig;
    if (!rig.load(path, slots)) return Solved{};
    return rig.search(depth >= 0 ? depth : rig.problem.record.length);
}

}  // namespace nagare::test
