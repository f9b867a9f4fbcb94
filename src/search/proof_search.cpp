#include "search/proof_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <span>

#include "rules/attacks.h"
#include "rules/move_generation.h"
#include "rules/notation.h"
#include "search/monitor.h"
#include "search/node_expansion.h"
#include "search/proof_pieces.h"
#include "search/search_resume.h"
#include "table/position_table.h"

namespace nagare {

namespace {

constexpr uint16_t VISITS_SATURATED = 0xffff;
constexpr uint64_t COUNT_SATURATED = std::numeric_limits<uint64_t>::max();

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > COUNT_SATURATED - b ? COUNT_SATURATED : a + b;
}

// Proof-number sums saturate at the largest term once they reach PN_CAP.
int32_t saturatingPnAdd(int32_t total, int32_t value) {
    int64_t sum = int64_t(total) + value;
    return sum >= PN_CAP ? std::max(total, value) : static_cast<int32_t>(sum);
}

// The deciding number is the pn of an OR node and the dn of an AND node; the other is the other one.
void setNumbers(Position& n, bool orNode, int32_t deciding, int32_t other) {
    n.pn = orNode ? deciding : other;
    n.dn = orNode ? other : deciding;
}

// The other number of a node from its children's: at least the largest, plus one for every further
// open child; the largest alone when that would reach PN_CAP. The proof number of an AND node is the
// plain sum where that is safe and the first player must check: every defence has to be refuted on
// its own. The disproof number of an OR node is never the sum: the attacker's checks are seldom
// refuted independently (one escape or one interposition often answers several of them), and the sum
// made an attacker's node with many checks look much harder to refute than it is.
struct OtherNumbers {
    int32_t largest = 0;
    int32_t sum = 0;
    int openCount = 0;

    void add(const Position& c, int32_t other) {
        largest = std::max(largest, other);
        if (isOpen(c)) ++openCount;
        sum = saturatingPnAdd(sum, other);
    }
    bool sumSafe() const { return openCount < 2 || sum < PN_CAP / openCount; }
    int32_t combined(int32_t minimum, bool sumSafe, bool sumsProofs) const {
        if (minimum <= 0 || largest <= 0) return largest;
        const int64_t v = sumSafe && sumsProofs ? sum : int64_t(largest) + openCount - 1;
        return v >= PN_CAP ? largest : static_cast<int32_t>(v);
    }
};

// Futile interpositions (無駄合) on one square wait for each other: while one such drop on a square is
// open, the later ones on that square are left out of the node's numbers and of the selection. Once
// the first is proved, its proof usually holds for the others with the other piece taken (the hand
// table lends it), so a defence of seven drops on a square costs about one proof instead of seven, and
// the proof number of the node is not seven times too large. Only a child still open waits; a decided
// one always counts. A drop the defence backs up is as a rule a real defence and does not wait: its
// proof seldom carries to another piece, and hiding it would only let the attacker come back to it
// again and again (a backed-up drop that leaves the attacker's last capture unanswered is still
// marked futile, and waits).
class DropQueue {
  public:
    explicit DropQueue(bool active) : active_(active) {}
    // Whether `c`, the next child in list order, waits behind an earlier open drop on its square.
    bool waits(const Position& c) const { return queued(c) && openDrops_.contains(c.lastMove.to); }
    // Notes `c`, which did not wait, once it has been looked at: an open drop heads its square.
    void passed(const Position& c) {
        if (queued(c)) openDrops_.insert(c.lastMove.to);
    }
    static DropQueue of(const SearchContext& ctx, bool orNode) {
        return DropQueue(!orNode && ctx.table != nullptr && ctx.table->handDominance);
    }

  private:
    bool queued(const Position& c) const {
        return active_ && c.futileDrop && c.lastMove.isDrop() && isOpen(c);
    }
    bool active_;
    SquareSet openDrops_;
};

void setProved(Position& n) {
    n.pn = 0;
    n.dn = PN_INFINITE;
}
void setDisproved(Position& n) {
    n.pn = PN_INFINITE;
    n.dn = 0;
}
void setBoundedNonProof(Position& n) {
    n.pn = PN_CAP;
    n.dn = 0;
}

// Decided for the side that moved into the node: a proof where the AND side is to move, a non-proof
// where the OR side is to move.
bool decidedForMover(const SearchContext& ctx, const Position& n) {
    return ctx.isOrNode(n) ? n.dn == 0 : n.pn == 0;
}
// Decided against the side that moved into it.
bool decidedAgainstMover(const SearchContext& ctx, const Position& n) {
    return ctx.isOrNode(n) ? n.pn == 0 : n.dn == 0;
}

uint64_t sizeOfLevel(int level) {
    return level >= 63 ? uint64_t(1) << 63 : uint64_t(1) << level;
}

std::span<Position> childrenOf(Position& n) {
    return std::span<Position>(n.children, n.childCount);
}

// Stores a final result; under hand dominance with the hands that `bounds` gives it.
template <typename Bounds>
void storeFinal(SearchContext& ctx, const Position& n, int16_t value, Bounds bounds) {
    if (ctx.table->handDominance)
        ctx.table->store(n, value, bounds());
    else
        ctx.table->store(n, value);
}

// Stores the proof of a node whose children are decided, under hand dominance with the length and
// the hands its children's proofs give it.
void storeProvedWithBounds(SearchContext& ctx, Position& n, int d) {
    HandBounds bounds;
    const int16_t length = provedBounds(ctx, n, d, bounds);
    ctx.table->store(n, length, bounds);
}

// A position searched as open nearer the root: returns true when N was left for later.
[[gnu::noinline]] bool deferToShallowerOpenEntry(SearchContext& ctx, Position& n) {
    Position probe = n;
    probe.ply = n.openPly;
    TableEntry* e = ctx.table->probeOpen(probe);
    if (e == nullptr || e->pn == 0 || e->dn == 0) return false;
    n.pn = std::max<int32_t>(n.pn, static_cast<int32_t>(e->pn));
    return true;
}

// The same position elsewhere in the current tree, at an AND node reached again on a side path:
// siblings of the path's nodes two, four, ... plies up that hold the same position (or, under
// 持駒節約, the same board with a hand no smaller than N's).
[[gnu::noinline]] bool borrowFromTwinInTree(SearchContext& ctx, Position& n) {
    if (n.ply < 3 || n.parent == nullptr || n.parent->parent == nullptr ||
        n.parent->parent->parent == nullptr)
        return false;
    const Side owner = economisedHand(ctx.rules.genre);
    const Position* twin = nullptr;
    const Position* a = n.parent->parent;
    const Position* b = a->parent;
    while (b != nullptr && b->ply >= n.openPly - 1) {
        if (b->childCount >= 2) {
            for (int i = 0; i < b->childCount; ++i) {
                const Position& y = b->children[i];
                if (&y == a) continue;
                bool same = y.key == n.key;
                if (!same && ctx.nodeRules.handEconomy && y.boardKey == n.boardKey &&
                    y.sideToMove == n.sideToMove && n.ply >= y.ply && handCovers(y, n, owner))
                    same = true;
                if (same) twin = &y;
            }
        }
        a = b->parent;
        if (a == nullptr) break;
        b = a->parent;
    }
    if (twin == nullptr || !isOpen(*twin)) return false;
    n.pn = std::max(n.pn, twin->pn);
    n.dn = std::min(n.dn, twin->dn);
    n.loopTainted = 1;
    n.loopPly = std::min(twin->ply, twin->loopPly);
    n.openPly = std::min(n.openPly, twin->openPly);
    ctx.table->store(n, 0);
    return true;
}

// How many replies a check leaves when interpositions on one square count once: where the table
// lends proofs across hands, the drops of other pieces on a square wait for the first one and are
// then mostly proved by its proof with the other piece taken, so a check from afar with five kinds
// in the defender's hand is about as hard as one with a single kind, not five times harder.
int repliesBySquare(const Move* moves, int count) {
    SquareSet dropSquares;
    int replies = 0;
    for (int i = 0; i < count; ++i)
        if (!moves[i].isDrop() || dropSquares.insert(moves[i].to)) ++replies;
    return replies;
}

// The replies of the second player in `child` (0 when mated, NO_MOVES_GOTE when it cannot move out
// of check), counted by square where the table lends proofs across hands. A check's replies are
// counted from the attack maps; only a position out of check is generated in full.
int countReplies(SearchContext& ctx, const Position& child) {
    const bool bySquare = ctx.table->handDominance;
    if (inCheck(child, GOTE)) return countEvasions(child, bySquare, ctx.generation);
    const int replies = generateAllMoves(child, ctx.moveBuffer, ctx.generation);
    return replies > 0 && bySquare ? repliesBySquare(ctx.moveBuffer, replies) : replies;
}

// Step 8: at the first visit of a first-player node under 最善詰 or 最善勝, look one ply ahead for
// a mate (or, under 最善勝, a stalemate) before searching. Returns true when N was proved.
[[gnu::noinline]] bool mateInOnePrecheck(SearchContext& ctx, Position& n, int d) {
    const int genre = ctx.rules.genre;
    if (!((genre == GENRE_BEST_MATE || genre == GENRE_BEST_WIN) && n.sideToMove == SENTE)) return false;
    ++ctx.searchedNodes;
    int best = NO_PLY;
    bool proofSeen = false;
    for (Position& child : childrenOf(n)) {
        ++ctx.searchedNodes;
        TableEntry* e = probeChild(ctx, child, d - 1);
        if (e != nullptr && e->pn == 0) {
            proofSeen = true;
            best = std::min<int>(best, e->depth + 1);
            if (best == 1) break;
            continue;
        }
        if (e != nullptr || proofSeen) continue;
        const int replies = countReplies(ctx, child);
        const bool mated = replies == 0;
        const bool stalemated = replies == NO_MOVES_GOTE && genre == GENRE_BEST_WIN;
        if (mated || stalemated) {
            setProved(child);
            child.loopPly = NO_PLY;
            child.effort = 0;
            storeFinal(ctx, child, 0, [&] { return noMoveBounds(child, ctx.rules.checkRequired); });
            best = 1;
            proofSeen = true;
            break;
        }
        if (replies > 0) {
            child.pn = replies;
            child.dn = 1;
        }
    }
    if (proofSeen) setProved(n);
    if (n.visits != VISITS_SATURATED) ++n.visits;
    if (!isProved(n)) return false;
    updateTreeCounts(ctx, n);
    if (ctx.table->handDominance)
        storeProvedWithBounds(ctx, n, d);
    else
        ctx.table->store(n, static_cast<int16_t>(best));
    return true;
}

// Step 3: a repetition ends an OR node at once, and a position already open nearer the root, or
// elsewhere in the tree, is left for later.
bool firstVisitEndsSearch(SearchContext& ctx, Position& n, int d) {
    if (ctx.isOrNode(n)) {
        if (d > 0 && ctx.pathFilter.mayRepeat(n, ctx.nodeRules.handEconomy)) {
            if (const Position* ancestor = findAncestorRepeat(n, ctx.nodeRules)) {
                setBoundedNonProof(n);
                n.loopTainted = 1;
                n.loopPly = ancestor->ply;
                n.treeSize = 1;
                n.effort = 0;
                ctx.table->store(n, 0);
                return true;
            }
        }
        return n.visits == 0 && n.openPly < n.ply && deferToShallowerOpenEntry(ctx, n);
    }
    return n.openPly < n.ply && borrowFromTwinInTree(ctx, n);
}

bool driftedTowardDisproof(const Position& p) {
    return p.prevPn <= p.pn && p.prevDn >= p.dn && !(p.prevPn == p.pn && p.prevDn == p.dn);
}

}  // namespace

// Step 9d: the thresholds with which the chosen child is searched.
void setChildThresholds(const SearchContext& ctx, const Position& n, Position& child, const ChildSummary& s) {
    const int64_t P = n.pnThr, D = n.dnThr;
    const bool orNode = ctx.isOrNode(n);
    const bool laterPhase = ctx.phase == PHASE_SHORTER || ctx.verifyKind == VERIFY_ATTACKS;
    const Position* grand = n.parent != nullptr ? n.parent->parent : nullptr;
    const bool steered =
        ctx.givenLineMode && (n.onGivenLine || (laterPhase && grand != nullptr && grand->onGivenLine &&
                                                orNode && P == PN_CAP && D == PN_CAP));
    if (steered) {
        child.pnThr = PN_CAP;
        child.dnThr = PN_CAP;
        return;
    }
    // The chosen child is searched until its deciding number passes the second best child's (by a
    // little more, an eighth of the best, so that two close children do not take turns at every
    // step). At an OR node the second best decides alone while it is below the node's threshold, so
    // the child may go a little past that threshold; at an AND node the child stops at the node's
    // threshold, where the node returns anyway.
    int64_t pnThr, dnThr;
    const int64_t b = s.best, second = s.bestSecond;
    if (orNode) {
        pnThr = second < P ? second + b / 8 + 1 : P;
        dnThr = (D >= PN_CAP && child.dn < D) ? D : int64_t(child.dn) + D - n.dn;
    } else {
        dnThr = std::min(D, second + b / 8 + 1);
        pnThr = (P >= PN_CAP && child.pn < P) ? P : int64_t(child.pn) + P - n.pn;
    }
    if (laterPhase && n.parent != nullptr && driftedTowardDisproof(*n.parent) &&
        driftedTowardDisproof(child)) {
        pnThr = std::max(pnThr, P);
        dnThr = std::max(dnThr, D);
    }
    if (ctx.phase >= PHASE_SHORTER && driftedTowardDisproof(child)) {
        if (orNode)
            dnThr = std::max(dnThr, D);
        else
            pnThr = std::max(pnThr, P);
    }
    if (child.openPly < child.ply && n.openPly < n.ply && orNode) pnThr = std::max(pnThr, P);
    child.pnThr = static_cast<int32_t>(std::min<int64_t>(pnThr, PN_CAP));
    child.dnThr = static_cast<int32_t>(std::min<int64_t>(dnThr, PN_CAP));
}

namespace {

// Step 10: the value stored with a finished node, and the loop taint of a non-proof.
int16_t finishedValue(SearchContext& ctx, Position& n, int d) {
    if (isOpen(n)) return 0;
    if (n.pn == PN_INFINITE) {
        n.loopTainted = 0;
        return 0;
    }
    const bool orNode = ctx.isOrNode(n);
    if (n.dn == 0) {
        if (!orNode) {
            // A defence holds: the node is tainted only if every holding defence is.
            bool cleanHold = false;
            int m = std::numeric_limits<int>::min();
            for (const Position& c : childrenOf(n)) {
                if (c.dn != 0) continue;
                if (!c.loopTainted) cleanHold = true;
                m = std::max<int>(m, c.loopPly);
            }
            if (cleanHold || m >= n.ply) {
                n.loopPly = NO_PLY;
            } else {
                n.loopTainted = 1;
                n.loopPly = static_cast<int16_t>(std::min<int>(n.loopPly, m));
            }
        } else {
            int m = std::numeric_limits<int>::max();
            for (const Position& c : childrenOf(n))
                if (c.dn == 0 && c.loopTainted && c.loopPly < n.ply) m = std::min<int>(m, c.loopPly);
            if (m != std::numeric_limits<int>::max()) {
                n.loopTainted = 1;
                n.loopPly = static_cast<int16_t>(std::min<int>(n.loopPly, m));
            }
        }
        return static_cast<int16_t>(d);
    }
    // Proved: its length from the children's proofs in the table. Where the table cannot say how
    // long a defence holds, the remaining depth stands in for it: a stored length may be too long,
    // never too short, since a probe trusts it for any depth at least that long.
    int longest = 0, shortest = std::numeric_limits<int>::max();
    bool defenceUnknown = false;
    for (Position& c : childrenOf(n)) {
        if (!isProved(c)) continue;
        TableEntry* e = ctx.table->probeProven(c);
        if (e == nullptr || e->depth > d - 1) {
            defenceUnknown = true;
            continue;
        }
        longest = std::max<int>(longest, e->depth);
        shortest = std::min<int>(shortest, e->depth);
    }
    if (!orNode) return static_cast<int16_t>(defenceUnknown ? d : longest + 1);
    return static_cast<int16_t>(shortest != std::numeric_limits<int>::max() ? shortest + 1 : d);
}

void finishNode(SearchContext& ctx, Position& n, int d) {
    updateTreeCounts(ctx, n);
    if (ctx.table->handDominance && isProved(n)) {
        storeProvedWithBounds(ctx, n, d);
    } else {
        const int16_t value = finishedValue(ctx, n, d);
        const bool cleanNonProof = n.dn == 0 && !n.loopTainted;
        storeFinal(ctx, n, value, [&] {
            HandBounds bounds;
            if (cleanNonProof) nonProofBounds(ctx, n, d, bounds);
            return bounds;
        });
    }
    if (n.state == NODE_STATE_ABORTED)
        for (Position& c : childrenOf(n)) ctx.table->store(c, static_cast<int16_t>(d - 1));
    ctx.resuming = false;
    recordAbortedNode(ctx, n);
}

}  // namespace

int highestBit(uint64_t value) {
    return value <= 1 ? 0 : 63 - std::countl_zero(value);
}

void runSearch(SearchContext& ctx, Position& root, int depth) {
    if (depth < 0) return;
    // No move can be played beyond the last ply the path keys have a column for.
    depth = std::min(depth, MAX_PLY - 1 - root.ply);
    resetSearchFields(root, ctx.nodeRules);
    ctx.rootPly = root.ply;
    ctx.lineRequest.store(false, std::memory_order_relaxed);
    const bool monitorWasRunning = ctx.monitorRunning.load(std::memory_order_relaxed);
    if (!monitorWasRunning) startMonitor(ctx);
    ++ctx.searchedNodes;
    ctx.depthLimit = static_cast<int16_t>(depth);
    NodeArena::Mark mark = ctx.arena.mark();
    for (const Position* a = root.parent; a != nullptr; a = a->parent) ctx.pathFilter.add(*a);
    searchNode(ctx, root, depth);
    for (const Position* a = root.parent; a != nullptr; a = a->parent) ctx.pathFilter.remove(*a);
    ctx.arena.release(mark);
    root.children = nullptr;
    root.childCount = 0;
    ctx.monitorOn.store(false, std::memory_order_relaxed);
    ctx.maxTreeExp = std::max(ctx.maxTreeExp, highestBit(root.treeSize));
    stopMonitor(ctx);
}

void searchNode(SearchContext& ctx, Position& n, int d) {
    if (n.unbuilt) buildChild(n, ctx.nodeRules);
    // Step 1. The deepest ply entered; the node's children will live in this frame.
    ctx.maxPly = std::max<int16_t>(ctx.maxPly, static_cast<int16_t>(n.ply + 1));
    const NodeArena::Mark mark = ctx.arena.mark();
    // Leaving the node gives back its children list and takes it off the path.
    struct LeaveNode {
        SearchContext& ctx;
        Position& n;
        NodeArena::Mark mark;
        ~LeaveNode() {
            ctx.arena.release(mark);
            n.children = nullptr;
            n.childCount = 0;
            ctx.pathFilter.remove(n);
        }
    } leave{ctx, n, mark};
    ctx.pathFilter.add(n);
    const bool orNode = ctx.isOrNode(n);

    // Step 2. Resume replay of a stopped search.
    ResumeOutcome resumed = ctx.resuming ? replayResumePath(ctx, n, d) : ResumeOutcome::SEARCH;
    if (resumed == ResumeOutcome::RETURN) return;

    // Step 3. First visits: repetitions, and the same position open elsewhere.
    if (resumed == ResumeOutcome::SEARCH && n.visits <= 1 && firstVisitEndsSearch(ctx, n, d)) return;

    // Step 4. Interruption and the current-line display.
    if (checkInterrupt(ctx, n)) {
        n.state = NODE_STATE_ABORTED;
        return;
    }
    // A request that arrives while the line is being shown is kept for the next node.
    if (ctx.lineRequest.exchange(false, std::memory_order_relaxed)) showCurrentLine(ctx, n);

    // Step 5. Expansion; a node without usable moves is decided here.
    if (!ctx.resuming && n.childCount == 0) {
        if (ctx.expansionObserver) ctx.expansionObserver(n);
        int code = expandNode(ctx, n);
        Verdict v = judgeNoMoves(ctx, n, code);
        if (v != Verdict::HAS_MOVES) {
            if (v == Verdict::PROVED)
                setProved(n);
            else
                setDisproved(n);
            n.loopPly = NO_PLY;
            n.effort = 0;
            storeFinal(ctx, n, 0, [&] { return noMoveBounds(n, ctx.rules.checkRequired); });
            return;
        }
    }

    // Step 6. Depth limit.
    if (d == 0 && n.childCount > 0) {
        setBoundedNonProof(n);
        n.loopTainted = 0;
        n.loopPly = NO_PLY;
        n.effort = 0;
        storeFinal(ctx, n, 0, [&] { return depthLimitBounds(n); });
        return;
    }

    // Step 7. The given sequence steers the first descent.
    Position* forced = nullptr;
    bool skipPrecheck = false;
    if (ctx.givenLineMode && n.onGivenLine && n.ply >= 0 && size_t(n.ply) < ctx.workLine.size()) {
        const Move steer = ctx.workLine[n.ply];
        for (Position& c : childrenOf(n))
            if (c.lastMove == steer) {
                c.onGivenLine = 1;
                c.pnThr = n.pnThr;
                c.dnThr = n.dnThr;
                forced = &c;
            }
        if (steer.from != 0 || steer.to != 0) skipPrecheck = true;
    }

    // Step 8. Mate-in-one pre-check.
    const bool visitedWithNumbers = n.visits > 0 && !(n.pn == 1 && n.dn == 1);
    if (!skipPrecheck && !ctx.resuming && !ctx.rules.pawnDropMate && !visitedWithNumbers &&
        n.childCount > 0 && d > 0 && mateInOnePrecheck(ctx, n, d))
        return;

    // Step 9. Main loop.
    for (bool first = true;; first = false) {
        ChildSummary s;
        Position* selected = selectChild(ctx, n, d, s);
        if (n.dn >= n.dnThr || n.pn >= n.pnThr || n.state == NODE_STATE_ABORTED) break;
        Position* child = first && forced != nullptr ? forced : selected;
        if (child == nullptr) child = n.children;
        if (child == nullptr) break;
        setChildThresholds(ctx, n, *child, s);
        ++ctx.searchedNodes;
        if (ctx.traceOn || ctx.monitorOn.load(std::memory_order_relaxed)) traceDescend(ctx, n, *child);
        child->prevPn = child->pn;
        child->prevDn = child->dn;
        searchNode(ctx, *child, d - 1);
        if (ctx.phase <= PHASE_SOLVE && isOpen(*child)) {
            ctx.maxPn = std::max(ctx.maxPn, child->pn);
            ctx.maxDn = std::max(ctx.maxDn, child->dn);
        }
        n.lastChildKey = child->key;
        if (ctx.traceOn || ctx.monitorOn.load(std::memory_order_relaxed)) traceReturn(ctx, n, *child);
        if (child->visits != VISITS_SATURATED) ++child->visits;
        if (child->state == NODE_STATE_ABORTED) n.state = NODE_STATE_ABORTED;
        // The first refutation of the given sequence.
        if (ctx.phase <= PHASE_SOLVE && ctx.givenLineMode && !orNode && n.onGivenLine && child->dn == 0 &&
            ctx.givenLineFailure.key == 0)
            ctx.givenLineFailure = *child;
        // Killer move: the reply that just decided a sibling subtree is tried first next time.
        if (n.parent != nullptr) {
            if (decidedForMover(ctx, *child))
                n.parent->killer = child->lastMove.packed();
            else if (decidedAgainstMover(ctx, *child))
                n.parent->killer = 0;
        }
    }

    // Step 10. Finish: store the node and, when aborted, record it for the checkpoint.
    finishNode(ctx, n, d);
}

Position* selectChild(SearchContext& ctx, Position& n, int d, ChildSummary& s) {
    const bool orNode = ctx.isOrNode(n);
    auto deciding = [orNode](const Position& c) { return orNode ? c.pn : c.dn; };
    auto other = [orNode](const Position& c) { return orNode ? c.dn : c.pn; };
    std::span<Position> children = childrenOf(n);

    // 1. Fill fresh children from the table. A child the table did not know is looked up again only
    // when the table has since taken a result that would decide the node through it: a non-proof
    // below an AND node, a proof below an OR node. Otherwise the lookups nearly always miss again
    // (on No. 1, 9.1 M lookups after sibling searches that stored only proofs found nothing; the
    // 236 hits were all disproofs of a defence, each refuting the node at once).
    const uint32_t stamp = ctx.table == nullptr ? 0
                           : orNode             ? ctx.table->provedStores
                                                : ctx.table->nonProofStores;
    const bool news = stamp != n.fillStamp;
    n.fillStamp = stamp;
    // In the search for a shorter mate, which mostly refutes, a defence the table does not know starts with
    // the number of checks the attacker will have after it as its disproof number, estimated from the board
    // before it: the defence is refuted only by answering every one, so the defence that leaves the fewest is
    // tried first. Drops on one square leave the same board but for the kind of the dropped piece, and share
    // one estimate. A defence given more than one is not looked up again: on No. 99 the shorter search took
    // 35.6 s that way against 42.7 s with the repeated lookups; No. 1 and No. 100 took the same either way.
    const bool estimate = !orNode && ctx.phase == PHASE_SHORTER && ctx.rules.checkRequired && d > 1;
    Square estimatedDrop = 0;
    int32_t dropEstimate = 1;
    auto fill = [&](Position& c) {
        if (!(c.pn == 1 && c.dn == 1 && c.visits == 0 && d > 0 && (!c.tableMissed || news))) return;
        if (probeChild(ctx, c, d - 1) != nullptr) {
            c.visits = 1;
            return;
        }
        if (estimate && !c.tableMissed) {
            const bool sameDrop = c.lastMove.isDrop() && c.lastMove.to == estimatedDrop;
            c.dn = sameDrop ? dropEstimate : std::max(1, estimateChecksAfter(n, c.lastMove));
            if (c.lastMove.isDrop()) {
                estimatedDrop = c.lastMove.to;
                dropEstimate = c.dn;
            }
        }
        c.tableMissed = 1;
    };
    // A futile drop that waits behind an earlier open drop on its square is looked up only on its
    // turn: until then it counts for nothing, and its lookup nearly always misses. On No. 1 such drops
    // took 3.56 M of the 16.9 M lookups below AND nodes and found 3.5 % of them.
    DropQueue lookups = DropQueue::of(ctx, orNode);
    for (Position& c : children) {
        if (lookups.waits(c)) continue;
        fill(c);
        lookups.passed(c);
    }

    // 2. 無駄合: a defence by a futile interposition is looked at only after the real defences.
    if (ctx.futileDropTweak && children.size() >= 2 && !orNode) {
        int considered = 0;
        bool anyFutile = false, anyReal = false;
        int32_t largestReal = 0;
        for (const Position& c : children) {
            if (!(c.pn < c.pnThr && c.dn < c.dnThr)) continue;
            ++considered;
            if (c.futileDrop) {
                anyFutile = true;
            } else {
                anyReal = true;
                largestReal = std::max(largestReal, c.dn);
            }
        }
        if (considered > 1 && anyFutile && anyReal)
            for (Position& c : children)
                if (c.futileDrop && isOpen(c) && c.dn < largestReal) c.dn = largestReal;
    }

    // 3. Scan: the smallest deciding number wins; ties go by the rules below.
    Position* chosen = nullptr;
    int32_t best = PN_INFINITE, bestSecond = PN_INFINITE;
    int32_t largestSecond = 0;
    OtherNumbers others;
    const bool laterPhase = ctx.phase == PHASE_SHORTER || ctx.verifyKind == VERIFY_ATTACKS;
    const uint32_t killer = n.parent != nullptr ? n.parent->killer : 0;
    auto isKiller = [&](const Position& c) { return n.parent != nullptr && c.lastMove.packed() == killer; };
    DropQueue queue = DropQueue::of(ctx, orNode);
    for (Position& c : children) {
        if (queue.waits(c)) continue;
        queue.passed(c);
        const int32_t dec = deciding(c), oth = other(c);
        const int32_t largest = others.largest;
        if (chosen == nullptr || dec < best) {
            if (chosen != nullptr) bestSecond = best;
            best = dec;
            chosen = &c;
        } else {
            if (dec < bestSecond) bestSecond = dec;
            if (dec == best) {
                bool yWins;
                if (laterPhase && (oth > largest || (ctx.verifyKind == VERIFY_ATTACKS &&
                                                     ctx.phase != PHASE_SHORTER && oth < largest)))
                    yWins = true;
                else if (oth == largest && chosen->effort != c.effort)
                    yWins = chosen->effort > c.effort;
                else
                    yWins = !isKiller(*chosen) && isKiller(c);
                if (yWins) chosen = &c;
            }
        }
        if (oth > largest)
            largestSecond = largest;
        else if (oth > largestSecond)
            largestSecond = oth;
        others.add(c, oth);
    }

    // 4. Whether the children's numbers may be summed.
    n.sumSafe = others.sumSafe();

    // 5. The node's numbers.
    int32_t combined;
    if (children.empty()) {
        best = PN_INFINITE;
        combined = 0;
    } else {
        combined = others.combined(best, n.sumSafe, !orNode && ctx.rules.checkRequired);
    }
    setNumbers(n, orNode, best, combined);
    s.best = best;
    s.bestSecond = bestSecond;
    s.other = others.largest;
    s.otherSecond = largestSecond;
    s.combined = combined;
    return chosen;
}

void recomputeNode(SearchContext& ctx, Position& n) {
    const bool orNode = ctx.isOrNode(n);
    int32_t minimum = PN_INFINITE;
    OtherNumbers others;
    DropQueue queue = DropQueue::of(ctx, orNode);
    for (const Position& c : childrenOf(n)) {
        if (queue.waits(c)) continue;
        queue.passed(c);
        minimum = std::min(minimum, orNode ? c.pn : c.dn);
        others.add(c, orNode ? c.dn : c.pn);
    }
    const int32_t combined =
        n.childCount == 0 ? 0 : others.combined(minimum, n.sumSafe, !orNode && ctx.rules.checkRequired);
    setNumbers(n, orNode, minimum, combined);
    updateTreeCounts(ctx, n);
}

void updateTreeCounts(SearchContext& ctx, Position& n) {
    uint64_t tree = 1, effort = 1;
    for (const Position& c : childrenOf(n)) {
        tree = saturatingAdd(tree, c.treeSize);
        effort = saturatingAdd(effort, isOpen(c) && c.key != n.lastChildKey ? 1 : c.effort);
    }
    n.treeSize = tree;
    n.effort = effort;
    const bool decided = ctx.isOrNode(n) ? n.pn == 0 : n.dn == 0;
    if (decided) n.effort = 0;
}

TableEntry* probeChild(SearchContext& ctx, Position& node, int depth) {
    PositionTable& table = *ctx.table;
    if (TableEntry* e = table.probeFinal(node, depth)) {
        if (e->pn == 0)
            setProved(node);
        else if (e->pn == static_cast<uint32_t>(PN_INFINITE))
            setDisproved(node);
        else
            setBoundedNonProof(node);
        node.treeSize = sizeOfLevel(e->level);
        node.effort = 0;
        if (decidedForMover(ctx, node) && node.parent != nullptr && node.parent->parent != nullptr)
            node.parent->parent->killer = node.lastMove.packed();
        return e;
    }
    if (TableEntry* e = table.probeLoop(node)) {
        setBoundedNonProof(node);
        node.loopTainted = 1;
        node.loopPly = e->loopPly;
        node.treeSize = 1;
        node.effort = 0;
        return e;
    }
    if (TableEntry* e = table.probeOpen(node)) {
        node.pn = node.prevPn = static_cast<int32_t>(e->pn);
        node.dn = node.prevDn = static_cast<int32_t>(e->dn);
        node.treeSize = node.effort = sizeOfLevel(e->level);
        return e;
    }
    return nullptr;
}

void recordAbortedNode(SearchContext& ctx, Position& n) {
    if (n.state != NODE_STATE_ABORTED) return;
    ctx.resumePath.insert(ctx.resumePath.begin(), ResumeRecord{n.lastMove, n.pn, n.dn, n.pnThr, n.dnThr});
    if (n.childCount > 0) {
        // A checkpoint keeps whole records.
        for (Position& c : childrenOf(n))
            if (c.unbuilt) buildChild(c, ctx.nodeRules);
        ctx.savedChildren.insert(ctx.savedChildren.begin(),
                                 std::vector<Position>(n.children, n.children + n.childCount));
    }
}

}  // namespace nagare
