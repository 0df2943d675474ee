// Sizing of the transposition table from TT_SIZE, and clearing it when the
// evaluation's phase changes.
#include <gtest/gtest.h>
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "search/hashtable.h"
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
    hashTable[5].score   = 77;
    qsHashTable[9].score = 55;
    updateEvaluationPhase();  // same phase: the tables stay
    EXPECT_EQ(hashTable[5].score, 77);
    EXPECT_EQ(qsHashTable[9].score, 55);
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    updateEvaluationPhase();
    EXPECT_EQ(evaluationPhase, 1);
    EXPECT_EQ(hashTable[5].score, 0);
    EXPECT_EQ(qsHashTable[9].score, 0);
    freeHashTables();
}

}  // namespace
