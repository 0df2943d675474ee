// Sizing of the transposition table from TT_SIZE.
#include <gtest/gtest.h>
#include "search/hashtable.h"

namespace {

TEST(HashTable, SizingFromTheConfiguredKilobytes) {
    EXPECT_EQ(ttShiftForSize(3100), 16);  // 65536 buckets, 3 MB
    EXPECT_EQ(ttShiftForSize(10), 16);    // below 48: the default
    EXPECT_EQ(ttShiftForSize(100000), 11);  // 2^21 buckets
    EXPECT_EQ(ttShiftForSize(48), 22);    // 1024 buckets at least
}

}  // namespace
