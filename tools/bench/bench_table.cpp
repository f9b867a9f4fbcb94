// nagare-bench table [--mb N]: stores and probes a deterministic pseudo-random mix of positions in a
// table of N MB and prints, per operation, how many were done, how many found or placed an entry,
// and how fast. The counts depend only on the table size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "bench_verbs.h"
#include "table/position_table.h"

namespace nagare::bench {

namespace {

constexpr uint64_t DEFAULT_MEGABYTES = 1024;
constexpr uint64_t PHASES = 8;         // each store kind fills 1/8 of the table
constexpr int PLY_SPAN = 32;           // plies of the open and loop entries
constexpr int SIZE_SPAN = 24;          // tree sizes and efforts up to 2^23
constexpr int PROOF_LENGTH_SPAN = 31;  // proof lengths and remaining depths
constexpr int FINAL_PROBE_DEPTH = 100;

// Wall-clock seconds. (<chrono> cannot be compiled with the program's execution character set.)
double now() {
    std::timespec ts{};
    std::timespec_get(&ts, TIME_UTC);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Each kind draws its positions from its own stream; a key always keeps some stored bits.
enum Stream : uint64_t { PROVED = 1, OPEN, NON_PROOF, LOOP, MISSING, MIXED };
constexpr int STREAM_SHIFT = 56;
constexpr uint64_t STORED_BIT = uint64_t{1} << 40;
uint64_t keyOf(Stream s, uint64_t i) {
    return mix(static_cast<uint64_t>(s) << STREAM_SHIFT | i) | STORED_BIT;
}

// A node with only the fields the table reads; everything else stays zero.
struct BenchNode {
    Position p{};
    Position& set(uint64_t key, uint64_t i, int32_t pn, int32_t dn) {
        uint64_t r = mix(key);
        p.key = key;
        p.pathKey = key;
        p.pn = pn;
        p.dn = dn;
        p.ply = static_cast<int16_t>(i % PLY_SPAN);
        p.effort = p.treeSize = uint64_t{1} << (r % SIZE_SPAN);
        p.loopTainted = 0;
        p.loopPly = NO_PLY;
        p.openPly = NO_PLY;
        return p;
    }
};

int16_t lengthOf(uint64_t i) {
    return static_cast<int16_t>(1 + i % PROOF_LENGTH_SPAN);
}

// Recovery writes an announcement when it starts and a report line when it ends: the bench keeps the
// text off the output and times what lies between.
class RecoveryTimer final : public TableConsole {
  public:
    void write(std::string_view sjis) override {
        if (sjis.find("メモリが不足気味です") != std::string_view::npos) start_ = now();
        if (sjis.find("を破棄して再利用します") != std::string_view::npos) {
            seconds += now() - start_;
            ++count;
        }
        lineStart_ = !sjis.empty() && sjis.back() == '\n';
    }
    bool atLineStart() override { return lineStart_; }

    uint64_t count = 0;
    double seconds = 0;

  private:
    double start_ = 0;
    bool lineStart_ = true;
};

void row(const char* operation, uint64_t count, uint64_t hits, double seconds) {
    double rate = seconds > 0 ? static_cast<double>(count) / seconds : 0;
    std::printf("%s\t%llu\t%llu\t%.3f\t%.0f\n", operation, static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(hits), seconds, rate);
}

// Runs `op(i)` for i in 0..count-1, counting the calls that returned an entry.
template <typename Op>
void timed(const char* operation, uint64_t count, Op op) {
    uint64_t hits = 0;
    double start = now();
    for (uint64_t i = 0; i < count; ++i) hits += op(i) != nullptr ? 1 : 0;
    row(operation, count, hits, now() - start);
}

bool parseMegabytes(int argc, char** argv, uint64_t& megabytes) {
    megabytes = DEFAULT_MEGABYTES;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") != 0 || i + 1 >= argc) return false;
        char* end = nullptr;
        megabytes = std::strtoull(argv[++i], &end, 10);
        if (end == argv[i] || *end != '\0' || megabytes == 0) return false;
    }
    return true;
}

}  // namespace

int table(int argc, char** argv) {
    uint64_t megabytes = 0;
    if (!parseMegabytes(argc, argv, megabytes)) {
        std::fprintf(stderr, "usage: nagare-bench table [--mb N]\n");
        return 2;
    }
    static PositionTable t;
    RecoveryTimer recovery;
    t.console = &recovery;

    std::printf("operation\tcount\thits\tseconds\tper_second\n");
    double start = now();
    if (!t.create(megabytes)) {
        std::fprintf(stderr, "nagare-bench table: cannot allocate %llu MB\n",
                     static_cast<unsigned long long>(megabytes));
        return 1;
    }
    row("create", t.tableSize, t.tableSize, now() - start);

    const uint64_t n = t.tableSize / PHASES;
    BenchNode node;

    // Half the table, a quarter each of proofs, open nodes, non-proofs and loop results.
    timed("store_proved", n, [&](uint64_t i) {
        Position& p = node.set(keyOf(PROVED, i), i, 0, PN_INFINITE);
        return t.store(p, lengthOf(i));
    });
    timed("store_open", n, [&](uint64_t i) {
        Position& p =
            node.set(keyOf(OPEN, i), i, 1 + static_cast<int32_t>(i % 7), 1 + static_cast<int32_t>(i % 5));
        return t.store(p, 0);
    });
    timed("store_nonproof", n, [&](uint64_t i) {
        Position& p = node.set(keyOf(NON_PROOF, i), i, i % 2 == 0 ? PN_INFINITE : PN_CAP, 0);
        return t.store(p, lengthOf(i));
    });
    timed("store_loop", n, [&](uint64_t i) {
        Position& p = node.set(keyOf(LOOP, i), i, PN_CAP, 0);
        p.loopTainted = 1;
        p.loopPly = static_cast<int16_t>(p.ply / 2);
        return t.store(p, 0);
    });

    timed("probe_final_hit", n,
          [&](uint64_t i) { return t.probeFinal(node.set(keyOf(PROVED, i), i, 1, 1), FINAL_PROBE_DEPTH); });
    timed("probe_final_miss", n,
          [&](uint64_t i) { return t.probeFinal(node.set(keyOf(MISSING, i), i, 1, 1), FINAL_PROBE_DEPTH); });
    timed("probe_proven", n, [&](uint64_t i) { return t.probeProven(node.set(keyOf(PROVED, i), i, 1, 1)); });
    timed("probe_open", n, [&](uint64_t i) { return t.probeOpen(node.set(keyOf(OPEN, i), i, 1, 1)); });
    timed("probe_nonproof", n,
          [&](uint64_t i) { return t.probeNonProof(node.set(keyOf(NON_PROOF, i), i, 1, 1)); });
    timed("probe_loop", n, [&](uint64_t i) { return t.probeLoop(node.set(keyOf(LOOP, i), i, 1, 1)); });

    // Past the size of the table: recovery runs whenever the table is more than 80 % full.
    timed("store_mixed", t.tableSize, [&](uint64_t i) {
        uint64_t key = keyOf(MIXED, i);
        switch (mix(key) % 5) {
            case 0:
                return t.store(node.set(key, i, 0, PN_INFINITE), lengthOf(i));
            case 1:
                return t.store(node.set(key, i, PN_INFINITE, 0), 0);
            case 2:
                return t.store(node.set(key, i, PN_CAP, 0), lengthOf(i));
            default:
                return t.store(node.set(key, i, 3, 3), 0);
        }
    });
    row("recover", recovery.count, recovery.count, recovery.seconds);
    return 0;
}

}  // namespace nagare::bench
