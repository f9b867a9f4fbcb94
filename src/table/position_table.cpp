#include "table/position_table.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <limits>

#include "platform/console.h"
#include "platform/large_memory.h"
#include "rules/attacks.h"

namespace nagare {

namespace {

class SystemTableConsole final : public TableConsole {
  public:
    void write(std::string_view sjis) override { platform::consoleWrite(sjis); }
    bool atLineStart() override { return platform::consoleAtLineStart(); }
};

constexpr TableEntry FRESH_ENTRY = {0, 0, 0, 0, 0, NO_PLY, 0, 0};

// A proof stands for more than a disproof of the same size, a disproof for more than the rest.
constexpr uint8_t PROVED_LEVEL_BONUS = 2;
constexpr uint8_t DISPROVED_LEVEL_BONUS = 1;

// The hash-monitor dump is shown only for a store that walked this far.
constexpr int MONITOR_SHOW_INDEX = 99;
constexpr int NOTHING_WRITTEN = -1;

constexpr size_t HAND_TABLE_FRACTION = 8;  // the hand table's bytes, as a part of the position table's

}  // namespace

TableConsole& systemTableConsole() {
    static SystemTableConsole instance;
    return instance;
}

// Probe i of key K looks at slot (K + i * step) mod tableSize, the sum wrapping in 64 bits. The
// residue is carried along instead of divided out at every probe.
class PositionTable::ProbeSequence {
  public:
    ProbeSequence(uint64_t key, uint64_t tableSize, uint64_t wrapCorrection, const FastModulo& modulo)
        : sum_(key), size_(tableSize), wrapCorrection_(wrapCorrection) {
        uint64_t step = (key >> KEY_HIGH_SHIFT) & STEP_MASK;
        if (step == 0) step = 1;
        step_ = step;
        stepResidue_ = step < tableSize ? step : step % tableSize;
        slot_ = modulo(key);
    }

    uint64_t slot() const { return slot_; }

    void advance() {
        uint64_t before = sum_;
        sum_ += step_;
        slot_ += stepResidue_;
        if (slot_ >= size_) slot_ -= size_;
        if (sum_ < before) {
            // The sum passed 2^64 and lost it, so its residue falls by 2^64 mod tableSize.
            slot_ += wrapCorrection_;
            if (slot_ >= size_) slot_ -= size_;
        }
    }

  private:
    uint64_t sum_;
    uint64_t size_;
    uint64_t wrapCorrection_;
    uint64_t step_;
    uint64_t stepResidue_;
    uint64_t slot_;
};

void EntryBlockDeleter::operator()(TableEntry* block) const {
    platform::releaseLargeBlock(block, bytes);
}

uint64_t PositionTable::slotCountFor(uint64_t megabytes) {
    megabytes = std::max(megabytes, TABLE_MIN_MEGABYTES);
    return megabytes / TABLE_MEGABYTES_PER_BLOCK * TABLE_SLOTS_PER_BLOCK - 1;
}

uint64_t PositionTable::bytesFor(uint64_t megabytes) {
    const uint64_t entryBytes = (slotCountFor(megabytes) + 1) * sizeof(TableEntry);
    const uint64_t handBytes = entryBytes / HAND_TABLE_FRACTION;
    const uint64_t usedSlotBytes =
        entryBytes >= FILL_MIN_BYTES ? UsedSlots::bytesFor(slotCountFor(megabytes)) : 0;
    return entryBytes + handBytes + usedSlotBytes + LOOP_FILTER_BYTES +
           PurgeIndex::bytesFor(slotCountFor(megabytes)) + WrittenPages::bytesFor(entryBytes) +
           WrittenPages::bytesFor(handBytes) + HandTable::BOARD_FILTER_BYTES;
}

bool PositionTable::create(uint64_t megabytes) {
    return createSlots(slotCountFor(megabytes));
}

bool PositionTable::createSlots(uint64_t slots) {
    release();
    if (slots == 0 || slots >= SIZE_MAX / sizeof(TableEntry)) return false;
    const size_t bytes = (slots + 1) * sizeof(TableEntry);
    entries = std::unique_ptr<TableEntry[], EntryBlockDeleter>(
        static_cast<TableEntry*>(platform::allocateLargeBlock(bytes)), EntryBlockDeleter{bytes});
    if (!entries) return false;
    tableSize = slots;
    recoveryLimit = static_cast<uint64_t>(static_cast<double>(tableSize) * recoveryFraction);
    generationPeriod = tableSize / TABLE_GENERATIONS;
    generationTicks = 0;
    generation = 1;
    previousGeneration = 0;
    openProbeMax = provenProbeMax = nonProofProbeMax = 0;
    usedCount = peakCount = 0;
    wrapCorrection_ = (tableSize - (0 - tableSize) % tableSize) % tableSize;
    slotOf_ = FastModulo(tableSize);
    entries[tableSize] = FRESH_ENTRY;
    // What is kept beside the table; the hand table, an eighth of its size, is empty as a fresh block.
    if (!loopFilter_.create(size_t(1) << LOOP_FILTER_BITS) || !purgeIndex_.create(tableSize) ||
        !written_.create(entries.get(), bytes) || !hands.create(bytes / HAND_TABLE_FRACTION)) {
        release();
        return false;
    }
    // A new block reads as zero, which is a virgin slot: writing every page before use would only
    // cost the time of touching gigabytes.
    pagesWritten_ = 0;
    fillTrigger_ = bytes >= FILL_MIN_BYTES ? (bytes >> WrittenPages::PAGE_SHIFT) / 8 : 0;
    // Without memory for the bits every slot is simply read.
    if (fillTrigger_ != 0) usedSlots_.create(slots);
    finalDepthBound = NO_PLY;
    openPlyBound = 0;
    return true;
}

void PositionTable::release() {
    stopFilling();
    entries.reset();
    hands.release();
    purgeIndex_.release();
    written_.release();
    usedSlots_.release();
    loopFilter_.release();
    tableSize = 0;
}

void PositionTable::startFilling() {
    struct Block {
        char* start;
        size_t bytes;
    };
    const std::array<Block, 2> blocks = {
        Block{reinterpret_cast<char*>(entries.get()), (tableSize + 1) * sizeof(TableEntry)},
        Block{static_cast<char*>(hands.block()), hands.blockBytes()}};
    // The system gives a page once, whoever asks first; what the search has written stays as it is.
    filler_.start([this, blocks] {
        for (const Block& b : blocks)
            for (size_t done = 0; done < b.bytes; done += FILL_CHUNK_BYTES) {
                if (stopFilling_.load(std::memory_order_relaxed)) return;
                if (!platform::populateLargeBlock(b.start + done, std::min(FILL_CHUNK_BYTES, b.bytes - done)))
                    return;
            }
    });
}

void PositionTable::stopFilling() {
    stopFilling_.store(true, std::memory_order_relaxed);
    filler_.join();
    stopFilling_.store(false, std::memory_order_relaxed);
}

void PositionTable::clear() {
    hands.clear();
    loopFilter_.clear();
    clearEntries();
}

void PositionTable::clearEntries() {
    std::fill(entries.get(), entries.get() + tableSize, FRESH_ENTRY);
    usedSlots_.clear();
    purgeIndex_.clear();
    finalDepthBound = NO_PLY;
    openPlyBound = 0;
    recount();
}

uint64_t PositionTable::recount() {
    // The pass reads every slot, and entries may have been written from outside.
    written_.markAll();
    // One pass counts the used slots and sums up every block for the purges.
    uint64_t used = 0;
    for (uint64_t b = 0; b < purgeIndex_.blockCount(); ++b)
        used += purgeIndex_.resum(b, entries.get(), tableSize);
    usedCount = used;
    peakCount = std::max(peakCount, usedCount);
    return usedCount;
}

double PositionTable::usage() const {
    return tableSize == 0 ? 0.0 : static_cast<double>(usedCount) * PERCENT / static_cast<double>(tableSize);
}

// --- building and placing entries ---

uint8_t PositionTable::levelOf(uint64_t count) {
    return count <= 1 ? 0 : static_cast<uint8_t>(std::bit_width(count) - 1);
}

PositionTable::NewEntry PositionTable::buildEntry(const Position& node, int16_t value) const {
    NewEntry e{};
    e.pn = static_cast<uint32_t>(node.pn);
    e.dn = static_cast<uint32_t>(node.dn);
    e.loopPly = NO_PLY;
    bool open = node.pn != 0 && node.dn != 0;
    e.level = levelOf(open ? node.effort : node.treeSize);
    if (node.pn == 0) {
        e.level += PROVED_LEVEL_BONUS;
        e.key = node.key;
        e.depth = value;
    } else if (open) {
        e.key = node.key;
        e.depth = node.ply;
    } else if (node.loopTainted) {
        e.key = node.pathKey;
        e.depth = node.ply;
        e.loopPly = node.loopPly;
    } else {
        bool disproved = node.pn == PN_INFINITE;
        if (disproved) e.level += DISPROVED_LEVEL_BONUS;
        e.key = node.key;
        e.depth = disproved ? NO_PLY : value;
    }
    e.keyMid = static_cast<uint32_t>(e.key >> KEY_MID_SHIFT);
    e.keyHigh = static_cast<uint16_t>(e.key >> KEY_HIGH_SHIFT);
    return e;
}

void PositionTable::takeSlot(TableEntry& slot, const NewEntry& e) {
    const uint64_t index = slotIndex(slot);
    if (unwritten(slot)) {
        // Written before anything reads it, so that the page faults in once.
        written_.mark(&slot, sizeof(TableEntry));
        slot = TableEntry{};
        if (++pagesWritten_ == fillTrigger_) {
            turnOnUsedSlots();
            startFilling();
        }
    } else if (!usedSlots_.mayBeUsed(index)) {
        // Virgin: written whole before it is read, so that the reads below wait for no cache miss.
        slot = TableEntry{};
    }
    usedSlots_.note(index);
    if (slot.isEmpty() || slot.isFree()) {
        slot.flags &= ~TableEntry::FREE;
        ++usedCount;
    }
    slot.level = slot.pn == 0 && e.pn == 0 ? std::max(slot.level, e.level) : e.level;
    slot.pn = e.pn;
    slot.dn = e.dn;
    slot.keyMid = e.keyMid;
    slot.keyHigh = e.keyHigh;
    slot.depth = e.depth;
    slot.loopPly = e.loopPly;
}

void PositionTable::stamp(TableEntry& slot) {
    slot.flags = static_cast<uint8_t>((slot.flags & TableEntry::STATE_BITS) |
                                      generation << TableEntry::GENERATION_SHIFT);
    if (++generationTicks >= generationPeriod) {
        previousGeneration = generation;
        generation = generation == TABLE_GENERATIONS ? 1 : generation + 1;
        generationTicks = 0;
    }
}

TableEntry* PositionTable::store(const Position& node, int16_t value) {
    if (!handDominance || (node.pn != 0 && node.dn != 0) || node.loopTainted)
        return store(node, value, HandBounds{});
    return store(node, value, exactBounds(node));
}

TableEntry* PositionTable::store(const Position& node, int16_t value, const HandBounds& bounds) {
    if (tableSize == 0) return nullptr;
    peakCount = std::max(peakCount, usedCount);
    if (usedCount > recoveryLimit) recover();
    NewEntry e = buildEntry(node, value);
    if (!isStorableKey(e.key)) return nullptr;
    const bool final = e.pn == 0 || e.dn == 0;
    if (e.pn == 0)
        ++provedStores;
    else if (e.dn == 0)
        ++nonProofStores;
    if (handDominance && final && !node.loopTainted) storeHands(node, e, bounds);
    TableEntry* written = nullptr;
    if (e.pn == 0) {
        written = storeProved(e);
    } else if (e.dn != 0) {
        written = storeOpen(e);
    } else if (node.loopTainted) {
        noteLoop(e.key);
        written = storeLoop(e);
    } else {
        written = storeNonProof(e);
    }
    if (written != nullptr) purgeIndex_.note(slotIndex(*written), *written);
    return written;
}

void PositionTable::restoredEntries() {
    written_.markAll();
    purgeIndex_.forgetAll();
    // The loop entries read back are found again: a loop entry's key is its path key, whose filter
    // bit is the low part of the key's middle word.
    loopFilter_.clear();
    usedSlots_.clear();
    usedSlots_.turnOn();
    for (uint64_t i = 0; i < tableSize; ++i) {
        const TableEntry& e = entries[i];
        if (!e.isVirgin()) usedSlots_.note(i);
        if (!e.isUsed() || !e.isLoop()) continue;
        noteLoop(uint64_t{e.keyMid} << KEY_MID_SHIFT);
    }
}

void PositionTable::turnOnUsedSlots() {
    if (!usedSlots_.exists()) return;
    usedSlots_.turnOn();
    // The slots used so far lie on the pages written so far.
    written_.forEachWritten([this](size_t offset, size_t length) {
        const uint64_t first = offset / sizeof(TableEntry);
        const uint64_t end = std::min<uint64_t>((offset + length) / sizeof(TableEntry) + 1, tableSize);
        for (uint64_t i = first; i < end; ++i)
            if (!unwritten(entries[i]) && !entries[i].isVirgin()) usedSlots_.note(i);
    });
}

// A proof displaces the first non-proof or open entry it meets; proofs of other positions are never
// displaced by a store, and a proof of the same position keeps the shorter length.
TableEntry* PositionTable::storeProved(const NewEntry& e) {
    ProbeSequence probe(e.key, tableSize, wrapCorrection_, slotOf_);
    for (int i = 0; i < TABLE_STORE_PROBES; ++i, probe.advance()) {
        TableEntry& slot = entries[probe.slot()];
        if (knownVirgin(probe.slot()) || slot.isEmpty() || slot.isFree() || slot.pn != 0) {
            takeSlot(slot, e);
        } else if (e.matches(slot)) {
            slot.depth = std::min(slot.depth, e.depth);
            slot.level = std::max(slot.level, e.level);
        } else {
            continue;
        }
        slot.loopPly = NO_PLY;
        slot.flags &= ~(TableEntry::LOOP | TableEntry::REFERENCED | TableEntry::PROTECTED);
        stamp(slot);
        provenProbeMax = std::max(provenProbeMax, i);
        return &slot;
    }
    return nullptr;
}

// The same position may sit in the table as open at several plies; a store at a shallower ply
// replaces the entry of a deeper one. Only open entries of older generations are ever displaced.
TableEntry* PositionTable::storeOpen(const NewEntry& e) {
    ProbeSequence probe(e.key, tableSize, wrapCorrection_, slotOf_);
    if (hashMonitor) monitorHeader(e, probe.slot());
    TableEntry* victim = nullptr;
    int victimIndex = 0;
    TableEntry* written = nullptr;
    int reached = TABLE_STORE_PROBES;
    for (int i = 0; i < TABLE_STORE_PROBES; ++i, probe.advance()) {
        TableEntry& slot = entries[probe.slot()];
        if (hashMonitor) monitorLine(e, slot, i);
        if (knownVirgin(probe.slot()) || slot.isEmpty() || slot.isFree() ||
            (slot.isOpen() && e.matches(slot) && slot.depth >= e.depth)) {
            written = &slot;
            reached = i;
            break;
        }
        if (slot.isOpen() && !inProtectedGeneration(slot) &&
            (victim == nullptr || slot.level < victim->level)) {
            victim = &slot;
            victimIndex = i;
        }
    }
    int writtenIndex = reached;
    if (written == nullptr && victim != nullptr) {
        written = victim;
        writtenIndex = victimIndex;
    }
    openProbeMax = std::max(openProbeMax, reached);
    if (hashMonitor) monitorFlush(reached, written != nullptr ? writtenIndex : NOTHING_WRITTEN);
    if (written == nullptr) return nullptr;
    takeSlot(*written, e);
    written->flags &= ~(TableEntry::LOOP | TableEntry::REFERENCED);
    stamp(*written);
    return written;
}

// A loop entry belongs to one move sequence. It displaces open entries of other positions at once and
// otherwise the non-proof of least work; proofs stay.
TableEntry* PositionTable::storeLoop(const NewEntry& e) {
    ProbeSequence probe(e.key, tableSize, wrapCorrection_, slotOf_);
    TableEntry* victim = nullptr;
    for (int i = 0; i < TABLE_STORE_PROBES; ++i, probe.advance()) {
        TableEntry& slot = entries[probe.slot()];
        const bool fresh = knownVirgin(probe.slot());
        const bool same = !fresh && e.matches(slot);
        if (fresh || slot.isEmpty() || slot.isFree() || (!same && slot.isOpen())) {
            takeSlot(slot, e);
        } else if (same && slot.isLoop()) {
            // Already known for this sequence: only the flags are refreshed.
        } else {
            if (slot.pn != 0 && (victim == nullptr || slot.level < victim->level)) victim = &slot;
            continue;
        }
        nonProofProbeMax = std::max(nonProofProbeMax, i);
        slot.flags = static_cast<uint8_t>((slot.flags & ~TableEntry::REFERENCED) | TableEntry::LOOP);
        stamp(slot);
        return &slot;
    }
    nonProofProbeMax = std::max(nonProofProbeMax, TABLE_STORE_PROBES);
    if (victim == nullptr) return nullptr;
    takeSlot(*victim, e);
    victim->flags = static_cast<uint8_t>((victim->flags & ~TableEntry::REFERENCED) | TableEntry::LOOP);
    stamp(*victim);
    return victim;
}

// A disproof or bounded non-proof. A bounded entry of the same position is deepened in place, and
// turned into a disproof when this one is.
TableEntry* PositionTable::storeNonProof(const NewEntry& e) {
    ProbeSequence probe(e.key, tableSize, wrapCorrection_, slotOf_);
    TableEntry* victim = nullptr;
    TableEntry* written = nullptr;
    int reached = TABLE_STORE_PROBES;
    for (int i = 0; i < TABLE_STORE_PROBES; ++i, probe.advance()) {
        TableEntry& slot = entries[probe.slot()];
        const bool fresh = knownVirgin(probe.slot());
        const bool same = !fresh && e.matches(slot);
        if (fresh || slot.isEmpty() || slot.isFree() || (!same && slot.isOpen())) {
            takeSlot(slot, e);
        } else if (same && !slot.isLoop() && slot.isDisproved()) {
            slot.level = std::max(slot.level, e.level);
        } else if (same && !slot.isLoop() && slot.isNonProof()) {
            slot.depth = std::max(slot.depth, e.depth);
            if (e.pn == static_cast<uint32_t>(PN_INFINITE)) {
                slot.pn = e.pn;
                slot.depth = NO_PLY;
            }
            slot.level = std::max(slot.level, e.level);
        } else {
            if (slot.pn != 0 && (victim == nullptr || slot.level < victim->level)) victim = &slot;
            continue;
        }
        written = &slot;
        reached = i;
        break;
    }
    nonProofProbeMax = std::max(nonProofProbeMax, reached);
    if (written == nullptr) {
        if (victim == nullptr) return nullptr;
        takeSlot(*victim, e);
        written = victim;
    }
    written->loopPly = NO_PLY;
    written->flags &= ~(TableEntry::LOOP | TableEntry::REFERENCED);
    stamp(*written);
    return written;
}

void PositionTable::storeHands(const Position& node, const NewEntry& e, const HandBounds& bounds) {
    if (handsNeedCheck && node.sideToMove == GOTE) {
        assert(!node.unbuilt && "a child's board is read before it is built");
        if (!inCheck(node, GOTE)) return;
    }
    hands.store(node, bounds, e.depth, e.level);
}

// --- probes ---

TableEntry* PositionTable::handHit(const Position& node, const HandEntry* hit) {
    if (hit == nullptr) return nullptr;
    handHit_ = FRESH_ENTRY;
    handHit_.pn = hit->isProof() ? 0 : hit->result == HandResult::DISPROVED ? PN_INFINITE : PN_CAP;
    handHit_.dn = hit->isProof() ? PN_INFINITE : 0;
    handHit_.keyMid = static_cast<uint32_t>(node.key >> KEY_MID_SHIFT);
    handHit_.keyHigh = static_cast<uint16_t>(node.key >> KEY_HIGH_SHIFT);
    handHit_.depth = hit->depth;
    handHit_.level = hit->level;
    return &handHit_;
}

void PositionTable::touch(TableEntry& slot) {
    if (slot.isFree()) {
        // Discarded by recovery but never overwritten: the entry comes back.
        slot.flags &= ~TableEntry::FREE;
        ++usedCount;
        purgeIndex_.note(slotIndex(slot), slot);
    }
    slot.flags |= TableEntry::REFERENCED;
    stamp(slot);
}

template <typename Accept>
TableEntry* PositionTable::walk(uint64_t key, int limit, Accept accept) {
    if (!isStorableKey(key) || tableSize == 0) return nullptr;
    const uint32_t keyMid = static_cast<uint32_t>(key >> KEY_MID_SHIFT);
    const uint16_t keyHigh = static_cast<uint16_t>(key >> KEY_HIGH_SHIFT);
    ProbeSequence probe(key, tableSize, wrapCorrection_, slotOf_);
    for (int i = 0; i <= limit; ++i, probe.advance()) {
        if (knownVirgin(probe.slot())) return nullptr;
        TableEntry& slot = entries[probe.slot()];
        if (slot.isVirgin()) return nullptr;
        if (slot.keyMid == keyMid && slot.keyHigh == keyHigh && accept(slot)) {
            touch(slot);
            return &slot;
        }
    }
    return nullptr;
}

TableEntry* PositionTable::probeFinal(const Position& node, int d) {
    TableEntry* e = walk(node.key, std::max(provenProbeMax, nonProofProbeMax), [d](const TableEntry& slot) {
        if (slot.isLoop()) return false;
        if (slot.isProved()) return slot.depth <= d;
        return slot.isDisproved() || (slot.dn == 0 && slot.depth >= d);
    });
    if (e != nullptr || !handDominance) return e;
    return handHit(node, hands.findFinal(node, d));
}

TableEntry* PositionTable::probeProvenExact(const Position& node) {
    return walk(node.key, provenProbeMax, [](const TableEntry& slot) { return slot.isProved(); });
}

TableEntry* PositionTable::probeProven(const Position& node) {
    TableEntry* e = probeProvenExact(node);
    if (!handDominance) return e;
    // A proof lent across hands may be shorter than the one kept for the exact position.
    const HandEntry* lent = hands.findProof(node, e != nullptr ? e->depth - 1 : NO_PLY);
    return lent != nullptr ? handHit(node, lent) : e;
}

bool PositionTable::protectProof(const Position& node, int minLength) {
    TableEntry* e = probeProvenExact(node);
    if (e == nullptr || e->depth < minLength) return false;
    protect(*e);
    return true;
}

TableEntry* PositionTable::probeOpen(Position& node) {
    return walk(node.key, openProbeMax, [&node](const TableEntry& slot) {
        if (!slot.isOpen()) return false;
        if (slot.depth == node.ply) return true;
        // The position is also open nearer the root.
        if (slot.depth < node.ply && slot.depth < node.openPly) node.openPly = slot.depth;
        return false;
    });
}

TableEntry* PositionTable::probeLoop(const Position& node) {
    if (tableSize == 0 || !mayHoldLoop(node.pathKey)) return nullptr;
    return walk(node.pathKey, nonProofProbeMax, [](const TableEntry& slot) { return slot.isLoop(); });
}

TableEntry* PositionTable::probeNonProof(const Position& node) {
    TableEntry* e = walk(node.key, nonProofProbeMax,
                         [](const TableEntry& slot) { return !slot.isLoop() && slot.isNonProof(); });
    if (e != nullptr || !handDominance) return e;
    return handHit(node, hands.findNonProof(node, std::numeric_limits<int>::min()));
}

// --- purges ---

void PositionTable::makeTombstone(TableEntry& slot) {
    --usedCount;
    slot = FRESH_ENTRY;
    slot.flags = TableEntry::FREE;
}

template <typename Discard>
void PositionTable::purgeBlock(uint64_t block, Discard discard) {
    const uint64_t first = block << PurgeIndex::BLOCK_SHIFT;
    const uint64_t end = std::min(first + PurgeIndex::BLOCK_SLOTS, tableSize);
    for (uint64_t i = first; i < end; ++i) {
        TableEntry& slot = entries[i];
        if (slot.isUsed() && discard(slot)) makeTombstone(slot);
    }
    purgeIndex_.resum(block, entries.get(), tableSize);
}

void PositionTable::purgeLoopEntries() {
    for (uint64_t b = 0; b < purgeIndex_.blockCount(); ++b)
        if (purgeIndex_.mayHoldLoop(b)) purgeBlock(b, [](const TableEntry& slot) { return slot.isLoop(); });
}

void PositionTable::purgeOutsideWindow() {
    auto outside = [this](const TableEntry& slot) {
        if (slot.isProtected()) return false;
        const bool stillAtPly = slot.isOpen() || slot.isLoop();
        return stillAtPly ? slot.depth < openPlyBound : slot.depth > finalDepthBound;
    };
    for (uint64_t b = 0; b < purgeIndex_.blockCount(); ++b)
        if (purgeIndex_.mayHoldOutside(b, openPlyBound, finalDepthBound)) purgeBlock(b, outside);
}

void PositionTable::purgeNonProofs() {
    for (uint64_t i = 0; i < tableSize; ++i) {
        TableEntry& slot = entries[i];
        if (slot.isUsed() && !slot.isProtected() && slot.pn != 0) makeTombstone(slot);
    }
}

// --- the hash-monitor dump of an open store ---

void PositionTable::monitorHeader(const NewEntry& e, uint64_t startSlot) {
    monitorText_.clear();
    monitorText_.append("\n登録データ：\n")
        .append("ハッシュ値：")
        .appendHex(static_cast<uint64_t>(e.keyHigh) << TableEntry::KEY_HIGH_POSITION | e.keyMid);
    monitorText_.append("　インデックス：").appendHex(startSlot);
    monitorText_.append("　手数：").appendDecimal(e.depth);
    monitorText_.append(" (").appendUnsigned(e.pn).append(", ").appendUnsigned(e.dn).append(")");
    monitorText_.append(", Level").appendUnsigned(e.level).append("\n");
}

void PositionTable::monitorLine(const NewEntry& e, const TableEntry& slot, int index) {
    if (e.matches(slot)) monitorText_.append("***");
    monitorText_.appendDecimal(index + 1).append("：").appendHex(slot.storedKey());
    monitorText_.append("　手数：").appendDecimal(slot.depth);
    monitorText_.append(" (").appendUnsigned(slot.pn).append(", ").appendUnsigned(slot.dn).append(")");
    monitorText_.append(", Level").appendUnsigned(slot.level);
    if (slot.isProtected()) monitorText_.append(", Protected");
    if (slot.loopPly != NO_PLY) monitorText_.append(", Loop:").appendDecimal(slot.loopPly);
    monitorText_.append("\n");
}

void PositionTable::monitorFlush(int reached, int writtenIndex) {
    if (reached < MONITOR_SHOW_INDEX) return;
    monitorText_.append("\n");
    if (writtenIndex != NOTHING_WRITTEN)
        monitorText_.appendDecimal(writtenIndex + 1).append("番のデータを上書き\n");
    console->write(monitorText_.view());
}

}  // namespace nagare
