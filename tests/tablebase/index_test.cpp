// Tablebase catalogue and index routines: every record and side to move must
// number its legal positions densely (largest index + 1 = the position count),
// never give two positions one index, and give one position one index however
// it is presented (board symmetries, like men exchanged, colours exchanged).
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "tablebase/catalogue.h"
#include "tablebase/indexing.h"
#include "tests/tablebase/index_support.h"
#include "tests/test_support.h"

namespace {

class TablebaseIndexTest : public ::testing::Test {
protected:
    void SetUp() override { initIndexTables(); }
};

std::string label(int ordinal, int side) {
    return std::string(tablebaseCatalogue[ordinal].name) + (side == 0 ? " first side to move" : " second side to move");
}

int kindOf(const TbMaterial& m) { return recordHasPawns(m) ? TB_PAWN_KIND : TB_PIECE_KIND; }

// Pairs of (reference king, other king) in pair-number order.
std::vector<std::pair<std::uint32_t, std::uint32_t>> kingPairs(int kind) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::uint32_t ref = 0; ref < 64; ++ref)
        for (std::uint32_t other = 0; other < 64; ++other)
            if (indexGeometry.kingPair[kind][ref][other] != TB_NO_PAIR) pairs.emplace_back(ref, other);
    return pairs;
}

struct Range {
    std::uint32_t lowest = 0xFFFFFFFFu, highest = 0;
    bool any = false;
    void add(std::uint32_t i) {
        lowest = std::min(lowest, i);
        highest = std::max(highest, i);
        any = true;
    }
};

}  // namespace

TEST_F(TablebaseIndexTest, CatalogueRecordsAreInOrderAndFindable) {
    const char* symmetric[] = {"kk", "knkn", "kbkb", "krkr", "kqkq", "knnknn", "kbbkbb", "krrkrr", "kqqkqq"};
    const char* twoByte[] = {"krnknn", "krnkbb", "krbknn", "kqnkrr"};
    int symmetricSeen = 0, twoByteSeen = 0;
    for (int i = 0; i < TB_RECORDS; ++i) {
        const TablebaseRecord& r = tablebaseCatalogue[i];
        EXPECT_EQ(r.ordinal, std::uint32_t(i));
        EXPECT_EQ(findTablebaseRecord(r.name), i) << r.name;
        symmetricSeen += (r.flags & TB_SYMMETRIC) != 0;
        twoByteSeen += (r.flags & TB_TWO_BYTE) != 0;
        EXPECT_EQ(r.indexRoutine[0] == nullptr, i == 0) << r.name;
        EXPECT_EQ(r.indexRoutine[1] == nullptr, i == 0) << r.name;
        // Men per side: 3-man records 1-5, 4-man 6-35, 5-man 36-145, 6-man 146-178.
        const int men = int(std::strlen(r.name));
        EXPECT_EQ(men, i == 0 ? 2 : i <= 5 ? 3 : i <= 35 ? 4 : i <= 145 ? 5 : 6) << r.name;
    }
    for (const char* name : symmetric) {
        const int i = findTablebaseRecord(name);
        ASSERT_GE(i, 0) << name;
        EXPECT_TRUE(tablebaseCatalogue[i].flags & TB_SYMMETRIC) << name;
    }
    for (const char* name : twoByte) {
        const int i = findTablebaseRecord(name);
        ASSERT_GE(i, 0) << name;
        EXPECT_TRUE(tablebaseCatalogue[i].flags & TB_TWO_BYTE) << name;
    }
    EXPECT_EQ(symmetricSeen, 9);
    EXPECT_EQ(twoByteSeen, 4);
    EXPECT_EQ(findTablebaseRecord("kpkp"), 6);
    EXPECT_EQ(findTablebaseRecord("kppkp"), 36);
    EXPECT_EQ(findTablebaseRecord("kqqkq"), 110);
    EXPECT_EQ(findTablebaseRecord("kpppk"), 111);
    EXPECT_EQ(findTablebaseRecord("kqqqk"), 145);
    EXPECT_EQ(findTablebaseRecord("knnknn"), 146);
    EXPECT_EQ(findTablebaseRecord("kqqkqq"), 178);
    EXPECT_EQ(findTablebaseRecord("kpkn"), -1);  // the piece side is always named first
    EXPECT_EQ(findTablebaseRecord(""), -1);

    std::uint8_t first[5], second[5];
    recordMaterial(findTablebaseRecord("krpkn"), first, second);
    const std::uint8_t krp[5] = {1, 0, 0, 1, 0}, kn[5] = {0, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(first, krp, 5), 0);
    EXPECT_EQ(std::memcmp(second, kn, 5), 0);
    recordMaterial(findTablebaseRecord("kqqkqr"), first, second);
    const std::uint8_t kqq[5] = {0, 0, 0, 0, 2}, kqr[5] = {0, 0, 0, 1, 1};
    EXPECT_EQ(std::memcmp(first, kqq, 5), 0);
    EXPECT_EQ(std::memcmp(second, kqr, 5), 0);
    recordMaterial(0, first, second);
    for (int t = 0; t < 5; ++t) EXPECT_EQ(first[t] + second[t], 0);
}

TEST_F(TablebaseIndexTest, KingPairTablesAndEnumerations) {
    EXPECT_EQ(kingPairs(TB_PAWN_KIND).size(), std::size_t(TB_PAWN_PAIRS));
    EXPECT_EQ(kingPairs(TB_PIECE_KIND).size(), std::size_t(TB_PIECE_PAIRS));
    // In kqk a queen beside the bare king has no rank: h8's three neighbours and
    // the king's own square are left out.
    const std::uint32_t h8 = 63, g8 = 62, g7 = 54, h7 = 55, f8 = 61;
    for (std::uint32_t s : {h8, g8, g7, h7}) EXPECT_EQ(indexGeometry.rank[5][h8][s], TB_NO_RANK) << s;
    EXPECT_EQ(indexGeometry.count[5][h8], 60);
    EXPECT_EQ(indexGeometry.rank[5][h8][f8], 59);
    // A pawn that would attack the king is left out; a free pawn only leaves out the king.
    const std::uint32_t e4 = 28, d3 = 19, f3 = 21, e3 = 20;
    EXPECT_EQ(indexGeometry.rank[1][e4][d3], TB_NO_RANK);
    EXPECT_EQ(indexGeometry.rank[1][e4][f3], TB_NO_RANK);
    EXPECT_NE(indexGeometry.rank[1][e4][e3], TB_NO_RANK);
    EXPECT_EQ(indexGeometry.count[1][e4], 45);
    EXPECT_EQ(indexGeometry.count[0][e4], 47);
    // The one-man totals are the kpk position counts. In kqk the count stops
    // 6 short of the total: in the last pair (d4, h8) a queen on a8-f8 gives check.
    EXPECT_EQ(oneManTotal[TB_PAWN_KIND][1], tablebaseCatalogue[1].positionCount[0]);
    EXPECT_EQ(oneManTotal[TB_PAWN_KIND][0], tablebaseCatalogue[1].positionCount[1]);
    EXPECT_EQ(oneManTotal[TB_PIECE_KIND][5], tablebaseCatalogue[5].positionCount[0] + 6);
}

// Every legal position of every 3- and 4-man record, one per class of
// symmetric images: the indices are distinct, below the count, and reach it.
TEST_F(TablebaseIndexTest, SmallTablesNumberTheirPositionsDensely) {
    bool all[64];
    std::fill(all, all + 64, true);
    for (int ordinal = 1; ordinal <= 35; ++ordinal) {
        const TbMaterial m = materialOf(ordinal);
        const auto pairs = kingPairs(kindOf(m));
        for (int side = 0; side < 2; ++side) {
            const std::uint32_t count = tablebaseCatalogue[ordinal].positionCount[side];
            std::vector<bool> seen(count);
            Range range;
            std::uint32_t outside = 0, twice = 0;
            // Under the sanitizers every 23rd king pair and the last one.
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                if (SANITIZED && k % 23 != 0 && k + 1 != pairs.size()) continue;
                forEachPlacement(m, side, side == 0 ? pairs[k].first : pairs[k].second,
                                 side == 0 ? pairs[k].second : pairs[k].first, all, [&](const TbPlacement& p) {
                                     const std::uint32_t i = indexOf(m, p, side);
                                     range.add(i);
                                     if (i >= count) ++outside;
                                     else if (seen[i]) ++twice;
                                     else seen[i] = true;
                                 });
            }
            EXPECT_EQ(outside, 0u) << label(ordinal, side);
            EXPECT_EQ(twice, 0u) << label(ordinal, side);
            EXPECT_EQ(range.highest + 1, count) << label(ordinal, side);
        }
    }
}
