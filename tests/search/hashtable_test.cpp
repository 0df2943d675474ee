// Sizing of the transposition table from TT_SIZE, clearing it when the
// evaluation's phase changes, and entries that stay whole when two threads
// store and probe at once.
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "search/hashtable.h"
#include "search/searchdata.h"
#include "tests/test_support.h"

namespace {

TEST(HashTable, SizingFromTheConfiguredKilobytes) {
    EXPECT_EQ(ttShiftForSize(3100), 16);  // 65536 buckets, 3 MB
    EXPECT_EQ(ttShiftForSize(10), 16);    // below 48: the default
    EXPECT_EQ(ttShiftForSize(100000), 11);  // 2^21 buckets
    EXPECT_EQ(ttShiftForSize(48), 22);    // 1024 buckets at least
}

TEST(HashTable, PhaseChangeClearsBothTables) {
    ASSERT_TRUE(allocateHashTables(100));
    ASSERT_TRUE(allocatePawnHashTable());
    setUpFen("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");  // endgame phase
    updateEvaluationPhase();
    hashTable[5].data   = 77;
    qsHashTable[9].data = 55;
    updateEvaluationPhase();  // same phase: the tables stay
    EXPECT_EQ(hashTable[5].data, 77u);
    EXPECT_EQ(qsHashTable[9].data, 55u);
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    updateEvaluationPhase();
    EXPECT_EQ(evaluationPhase, 1);
    EXPECT_EQ(hashTable[5].data, 0u);
    EXPECT_EQ(qsHashTable[9].data, 0u);
    freeHashTables();
}

// Everything stored for a key is a function of the key, so a hit carrying
// another write's score, depth, flags or move is caught.
struct KeyedEntry {
    int           score, depth;
    std::uint8_t  flags;
    std::uint16_t move;
};
KeyedEntry keyedEntry(std::uint64_t key) {
    const std::uint64_t h = key * 0x9E3779B97F4A7C15;
    return {int(h >> 50) - 8192, int((h >> 40) & 31), std::uint8_t(1u << ((h >> 36) % 3)),
            packMove(Move((h >> 20) & 0xFFF) | Move((h >> 17) & 7) << 16)};
}
bool matches(const HashHit& hit, const KeyedEntry& want, bool withDepth) {
    return hit.score == want.score && hit.flags == want.flags && hit.move == want.move &&
           (!withDepth || hit.depth == want.depth);
}

// Distinct keys (the splitmix64 finaliser) with bits 25-31 cleared: they
// share 8 of the 1024 main buckets, so the two threads write the same
// entries at the same moments. The cleared bits are not lock bits.
std::uint64_t testKey(int i) {
    std::uint64_t z = std::uint64_t(i + 1) * 0x9E3779B97F4A7C15;
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return (z ^ (z >> 31)) & ~std::uint64_t(0xFE000000);
}

TEST(HashTable, RacingStoresNeverPairAKeyWithAnotherWritesData) {
    ASSERT_TRUE(allocateHashTables(48));  // the smallest table, 1024 buckets
    searchGamePly        = 0;
    constexpr int KEYS   = 256;
    constexpr int ROUNDS = SANITIZED ? 200000 : 1000000;
    long             hits[2] = {0, 0}, wrong[2] = {0, 0};
    std::atomic<int> started{0};
    auto             hammer = [&](int t) {
        // Neither starts before both are running (a whole run is shorter
        // than a time slice).
        started.fetch_add(1);
        while (started.load() < 2) std::this_thread::yield();
        for (int i = 0; i < ROUNDS; ++i) {
            // Each thread walks the keys at its own stride and has its own
            // hashKey; it stores one key and probes another.
            hashKey               = testKey(i * (t ? 7 : 3) % KEYS);
            const KeyedEntry mine = keyedEntry(hashKey);
            storeMainTable(mine.depth, mine.score, mine.flags, unpackMove(mine.move), mine.flags == HASH_UPPER);
            storeQuiescenceTable(mine.score, mine.flags, unpackMove(mine.move));
            hashKey               = testKey((i * 5 + 11) % KEYS);
            const KeyedEntry want = keyedEntry(hashKey);
            HashHit          hit;
            if (probeMainTable(&hit)) {
                ++hits[t];
                wrong[t] += !matches(hit, want, true);
            }
            if (probeQuiescenceTable(&hit)) {
                ++hits[t];
                wrong[t] += !matches(hit, want, false);
            }
        }
    };
    std::thread other(hammer, 1);
    hammer(0);
    other.join();
    EXPECT_EQ(wrong[0] + wrong[1], 0);
    EXPECT_GT(hits[0], ROUNDS / 10);
    EXPECT_GT(hits[1], ROUNDS / 10);
    freeHashTables();
}

}  // namespace
