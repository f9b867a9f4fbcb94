// Space recovery: when the table is more than 80 % full, the entries that stand for the least search
// work are marked free until it is half full again. Free entries keep their data, so a probe that
// meets one before a store overwrites it brings it back.
#include <algorithm>
#include <cstdint>

#include "table/position_table.h"

namespace nagare {

namespace {

constexpr int LAST_BUCKET = LEVEL_BUCKETS - 1;
constexpr size_t LINE_CAPACITY = 512;

// In the second choice a proof counts as this many levels more than open work of the same size, a
// disproof or bounded result as this many.
constexpr int PROVED_WEIGHT = 8;
constexpr int NON_PROOF_WEIGHT = 2;

constexpr int bucketOf(int level) {
    return std::min(level, LAST_BUCKET);
}

constexpr int weightedLevel(const TableEntry& e) {
    if (e.pn == 0) return e.level + PROVED_WEIGHT;
    if (e.dn == 0) return e.level + NON_PROOF_WEIGHT;
    return e.level;
}

double percentOf(int64_t count, uint64_t tableSize) {
    return static_cast<double>(count) * PERCENT / static_cast<double>(tableSize);
}

// The lowest level up to which the histogram holds at least `wanted` entries, or -1. The last bucket
// holds every level from 63 up, so reaching it means everything up to maxLevel.
int thresholdLevel(const std::array<int64_t, LEVEL_BUCKETS>& histogram, int maxLevel, int64_t wanted) {
    int64_t sum = 0;
    for (int t = 0; t <= std::min(maxLevel, LAST_BUCKET); ++t) {
        sum += histogram[t];
        if (sum >= wanted) return t == LAST_BUCKET ? maxLevel : t;
    }
    return -1;
}

}  // namespace

uint64_t PositionTable::recover() {
    if (tableSize == 0) return 0;
    double ratio = static_cast<double>(usedCount) / static_cast<double>(tableSize);
    if (!(ratio > recoveryFraction)) return 0;
    FixedText<LINE_CAPACITY> line;

    // Announce.
    if (!console->atLineStart()) console->write("\n");
    line.append("メモリが不足気味です（局面表利用率").appendFixed1(ratio * PERCENT).append("％）\n");
    console->write(line.view());
    peakCount = std::max(peakCount, usedCount);
    if (detailedMonitor) {
        line.clear();
        line.append("リトライ").appendDecimal(openProbeMax);
        line.append(", 不詰リトライ").appendDecimal(nonProofProbeMax);
        line.append(", 詰リトライ").appendDecimal(provenProbeMax).append("\n");
        console->write(line.view());
    }

    // Survey. Entries touched in the current or the previous generation are spared, and so is
    // anything protected.
    auto eligible = [this](const TableEntry& e) { return e.isUsed() && !inProtectedGeneration(e); };
    levelHistogram.fill(0);
    kindCounts = {};
    int maxLevel = 0;
    for (uint64_t i = 0; i < tableSize; ++i) {
        const TableEntry& e = entries[i];
        if (e.isEmpty()) continue;
        if (eligible(e) && e.isOpen() && !e.isProtected()) {
            ++levelHistogram[bucketOf(e.level)];
            maxLevel = std::max(maxLevel, static_cast<int>(e.level));
        }
        if (e.isFree()) continue;
        ++kindCounts.used;
        if (e.isProved()) ++kindCounts.proved;
        if (e.isDisproved()) ++kindCounts.disproved;
        if (e.dn == 0 && e.pn == static_cast<uint32_t>(PN_CAP))
            ++(e.isLoop() ? kindCounts.loop : kindCounts.bounded);
        if (e.isOpen()) ++kindCounts.open;
        if (e.isReferenced()) ++kindCounts.referenced;
    }

    if (detailedMonitor) {
        line.clear();
        line.append("詰").appendFixed1(percentOf(kindCounts.proved, tableSize));
        line.append("％、不詰").appendFixed1(percentOf(kindCounts.disproved, tableSize));
        line.append("％、打切").appendFixed1(percentOf(kindCounts.bounded, tableSize));
        line.append("％、ループ").appendFixed1(percentOf(kindCounts.loop, tableSize));
        line.append("％、不定").appendFixed1(percentOf(kindCounts.open, tableSize));
        line.append("％：参照").appendFixed1(percentOf(kindCounts.referenced, tableSize)).append("％\n");
        line.append("探索レベルの最大値：").appendDecimal(maxLevel).append("\n");
        line.append("保護対象世代：")
            .appendDecimal(previousGeneration)
            .append(", ")
            .appendDecimal(generation);
        line.append("\n");
        console->write(line.view());
    }

    // Target: back to retainFraction of the table.
    int64_t toFree = kindCounts.used - static_cast<int64_t>(static_cast<double>(tableSize) * retainFraction);
    int64_t freed = 0;
    auto markFree = [&](auto chosen) {
        for (uint64_t i = 0; i < tableSize && freed < toFree; ++i) {
            TableEntry& e = entries[i];
            if (!chosen(e)) continue;
            e.flags |= TableEntry::FREE;
            --usedCount;
            ++freed;
        }
    };

    // First choice: the smallest open work, if there is enough of it.
    int threshold = thresholdLevel(levelHistogram, maxLevel, toFree);
    if (threshold >= 0) {
        markFree([&](const TableEntry& e) {
            return eligible(e) && e.isOpen() && !e.isProtected() && e.level <= threshold;
        });
    } else {
        // Second choice: every kind, a proof weighing 8 levels and a non-proof 2 more than open work.
        levelHistogram.fill(0);
        int maxWeighted = 0;
        for (uint64_t i = 0; i < tableSize; ++i) {
            const TableEntry& e = entries[i];
            if (!eligible(e) || e.isProtected()) continue;
            int weighted = weightedLevel(e);
            ++levelHistogram[bucketOf(weighted)];
            maxWeighted = std::max(maxWeighted, weighted);
        }
        threshold = thresholdLevel(levelHistogram, maxWeighted, toFree);
        if (threshold < 0) threshold = maxWeighted;
        markFree([&](const TableEntry& e) {
            return eligible(e) && !e.isProtected() && weightedLevel(e) <= threshold;
        });
    }

    // Report.
    line.clear();
    line.appendFixed1(percentOf(freed, tableSize))
        .append("％の非保護データ（探索レベル")
        .appendDecimal(threshold);
    line.append("以下）を破棄して再利用します\n");
    console->write(line.view());

    // Reset: the purge window opens fully again.
    finalDepthBound = NO_PLY;
    openPlyBound = 0;
    recount();
    return static_cast<uint64_t>(freed);
}

}  // namespace nagare
