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

// Whether the second side to move numbers the kings with the board turned
// (XOR 56), so that its last king pair is the turned image of the last pair:
// every 3- and 4-man record with a pawn, and the five-man records whose last
// man is a pawn and that have no en-passant positions.
bool pairsTurned(const TbMaterial& m, int side) {
    if (side != 1 || !recordHasPawns(m)) return false;
    return m.men <= 2 || (m.men == 3 && m.type[2] == 1 && !recordHasEnPassant(m));
}

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
            // Under the sanitizers every 23rd king pair and the last one (in the
            // order of the numbering).
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                if (SANITIZED && k % 23 != 0 && k + 1 != pairs.size()) continue;
                auto pair = pairs[k];
                if (pairsTurned(m, side)) pair = {pair.first ^ 56, pair.second ^ 56};
                forEachPlacement(m, side, side == 0 ? pair.first : pair.second,
                                 side == 0 ? pair.second : pair.first, all, [&](const TbPlacement& p) {
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

namespace {

// The pair numbered 'which' (0 first, -1 last) of the record's kind, as (reference, other).
std::pair<std::uint32_t, std::uint32_t> kingPairAt(int kind, int which) {
    const auto pairs = kingPairs(kind);
    return which < 0 ? pairs.back() : pairs[std::size_t(which)];
}

// Squares a piece may use: the n highest (top) or lowest squares.
void squareBand(bool allowed[64], int n, bool top) {
    for (int s = 0; s < 64; ++s) allowed[s] = top ? s >= 64 - n : s < n;
}

}  // namespace

// Five- and six-man records: every legal position of the first and the last
// king pair with the pieces among the highest or lowest squares (pawns go
// everywhere). The last pair holds the largest index, which must reach the count.
TEST_F(TablebaseIndexTest, LargeTablesReachTheirCountsInTheOuterKingPairs) {
    for (int ordinal = 36; ordinal < TB_RECORDS; ++ordinal) {
        const TbMaterial m = materialOf(ordinal);
        const int band = m.men == 4 ? (SANITIZED ? 10 : 16) : (SANITIZED ? 16 : 32);
        for (int side = 0; side < 2; ++side) {
            const std::uint32_t count = tablebaseCatalogue[ordinal].positionCount[side];
            for (int which : {-1, 0}) {
                if (SANITIZED && which == 0) continue;
                bool allowed[64];
                squareBand(allowed, band, which < 0);
                auto pair = kingPairAt(kindOf(m), which);
                if (pairsTurned(m, side)) pair = {pair.first ^ 56, pair.second ^ 56};
                std::vector<std::uint32_t> indices;
                Range range;
                forEachPlacement(m, side, side == 0 ? pair.first : pair.second, side == 0 ? pair.second : pair.first,
                                 allowed, [&](const TbPlacement& p) {
                                     const std::uint32_t i = indexOf(m, p, side);
                                     indices.push_back(i);
                                     range.add(i);
                                 });
                ASSERT_TRUE(range.any) << label(ordinal, side);
                EXPECT_LT(range.highest, count) << label(ordinal, side);
                if (which < 0) {
                    EXPECT_EQ(range.highest + 1, count) << label(ordinal, side);
                }
                std::sort(indices.begin(), indices.end());
                EXPECT_TRUE(std::adjacent_find(indices.begin(), indices.end()) == indices.end())
                    << label(ordinal, side) << ": two positions share an index";
            }
        }
    }
}

namespace {

// A random legal placement of the record with the given side to move; where
// the record has a pawn on each side, one in four is an en-passant position
// when the placement allows one.
TbPlacement randomPlacement(const TbMaterial& m, int side, std::mt19937& rng) {
    std::uniform_int_distribution<std::uint32_t> square(0, 63), pawnSquare(8, 55);
    for (;;) {
        TbPlacement p{};
        p.king[0] = square(rng);
        p.king[1] = square(rng);
        p.ep = TB_NO_EP;
        for (int i = 0; i < m.men; ++i) p.square[i] = m.type[i] == 1 ? pawnSquare(rng) : square(rng);
        if (recordHasEnPassant(m) && rng() % 4 == 0) {
            // A pawn of the side not to move has just gone two squares and a
            // pawn of the side to move stands beside it.
            const int mover = side ^ 1;
            int pushed = -1, capturer = -1;
            for (int i = 0; i < m.men; ++i)
                if (m.type[i] == 1) ((i < m.firstMen ? 0 : 1) == mover ? pushed : capturer) = i;
            const std::uint32_t file = rng() % 8;
            const std::uint32_t s = (mover == 0 ? 24 : 32) + file;
            p.square[pushed] = s;
            p.square[capturer] = file == 0 || (file < 7 && rng() % 2) ? s + 1 : s - 1;
            p.ep = mover == 0 ? s - 8 : s + 8;
        }
        if (isLegal(m, p, side)) return p;
    }
}

TbPlacement mapped(const TbPlacement& p, const TbMaterial& m, const std::uint8_t* map) {
    TbPlacement q = p;
    q.king[0] = map[p.king[0]];
    q.king[1] = map[p.king[1]];
    for (int i = 0; i < m.men; ++i) q.square[i] = map[p.square[i]];
    if (p.ep != TB_NO_EP) q.ep = map[p.ep];
    return q;
}

}  // namespace

// Random legal positions of every record: one index below the count whatever
// way the position is presented.
TEST_F(TablebaseIndexTest, OnePositionHasOneIndexHoweverItIsPresented) {
    std::mt19937 rng(20261209);
    const int samples = SANITIZED ? 100 : 2000;
    std::uint8_t turned[64], fileMirror[64];
    for (std::uint8_t s = 0; s < 64; ++s) turned[s] = s ^ 56, fileMirror[s] = s ^ 7;
    for (int ordinal = 1; ordinal < TB_RECORDS; ++ordinal) {
        const TbMaterial m = materialOf(ordinal);
        const TablebaseRecord& r = tablebaseCatalogue[ordinal];
        for (int side = 0; side < 2; ++side) {
            const std::uint32_t count = r.positionCount[side];
            for (int n = 0; n < samples; ++n) {
                const TbPlacement p = randomPlacement(m, side, rng);
                const std::uint32_t index = indexOf(m, p, side);
                ASSERT_LT(index, count) << label(ordinal, side);

                // Two men of one type on one side exchanged.
                for (int i = 0; i + 1 < m.men; ++i)
                    if (m.type[i] == m.type[i + 1] && i + 1 != m.firstMen) {
                        TbPlacement q = p;
                        std::swap(q.square[i], q.square[i + 1]);
                        ASSERT_EQ(indexOf(m, q, side), index) << label(ordinal, side) << ": like men exchanged";
                    }

                // Colours exchanged: the board turned and the table read inverted.
                std::uint32_t first[16], second[16];
                fillLists(m, mapped(p, m, turned), first, second);
                const std::uint32_t ep = p.ep == TB_NO_EP ? TB_NO_EP : p.ep ^ 56;
                ASSERT_EQ(r.indexRoutine[side](first, second, ep, 1), index) << label(ordinal, side) << ": inverted";

                // Alike sides share one file: the other side to move reads it
                // with the lists exchanged (kpkp too, with the board turned).
                if ((r.flags & TB_SYMMETRIC) || std::strcmp(r.name, "kpkp") == 0) {
                    fillLists(m, p, first, second);
                    ASSERT_EQ(r.indexRoutine[side ^ 1](second, first, p.ep, 1), index) << label(ordinal, side);
                }

                // Board symmetries: with pawns only the file mirror.
                if (recordHasPawns(m)) {
                    ASSERT_EQ(indexOf(m, mapped(p, m, fileMirror), side), index) << label(ordinal, side) << ": mirror";
                    continue;
                }
                // Without pawns all eight, except that with both kings on the
                // a1-h8 diagonal after normalising, the reflection in it is a
                // different position for the index.
                const std::uint32_t ref = p.king[side], other = p.king[side ^ 1];
                const std::uint8_t* toNormal =
                    indexGeometry.symmetricSquare[indexGeometry.pieceSymmetry[ref][other]];
                const bool onDiagonal = toNormal[ref] % 9 == 0 && toNormal[other] % 9 == 0;
                const TbPlacement reflected = mapped(mapped(p, m, toNormal), m, indexGeometry.symmetricSquare[4]);
                const std::uint32_t reflectedIndex = indexOf(m, reflected, side);
                if (onDiagonal) {
                    const TbPlacement normal = mapped(p, m, toNormal);
                    // The same position when every man has a like man on its square.
                    bool same = true;
                    for (int i = 0; i < m.men; ++i) {
                        bool found = false;
                        for (int j = 0; j < m.men; ++j)
                            found |= m.type[j] == m.type[i] && (j < m.firstMen) == (i < m.firstMen) &&
                                     reflected.square[j] == normal.square[i];
                        same &= found;
                    }
                    if (!same) {
                        EXPECT_NE(reflectedIndex, index) << label(ordinal, side);
                    }
                }
                for (int sym = 0; sym < 8; ++sym) {
                    const std::uint32_t i = indexOf(m, mapped(p, m, indexGeometry.symmetricSquare[sym]), side);
                    if (onDiagonal) {
                        ASSERT_TRUE(i == index || i == reflectedIndex) << label(ordinal, side);
                    } else {
                        ASSERT_EQ(i, index) << label(ordinal, side) << ": symmetry " << sym;
                    }
                }
            }
        }
    }
}

// kppkp with the first side to move: positions with an en-passant capture come
// after all others, 616 indices to a king pair.
TEST_F(TablebaseIndexTest, KppkpEnPassantPositionsFollowAllOthers) {
    const TbMaterial m = materialOf(findTablebaseRecord("kppkp"));
    const std::uint32_t base = twoManTotal[TB_PAWN_KIND][1][1] * 46;
    // The very last slot stays unused: in the last pair (d8, h8) it needs the
    // pawn that does not capture on g7, where it checks the king.
    EXPECT_EQ(base + TB_PAWN_PAIRS * 616u - 1, tablebaseCatalogue[m.ordinal].positionCount[0]);
    bool all[64];
    std::fill(all, all + 64, true);
    const auto pairs = kingPairs(TB_PAWN_KIND);
    std::uint32_t highestColumn = 0, enPassant = 0;
    for (std::size_t k = 0; k < pairs.size(); k += SANITIZED ? 301 : 37) {
        std::vector<std::uint32_t> seen;
        forEachPlacement(m, 0, pairs[k].first, pairs[k].second, all, [&](const TbPlacement& p) {
            const std::uint32_t i = indexOf(m, p, 0);
            if (p.ep == TB_NO_EP) {
                EXPECT_LT(i, base);
                return;
            }
            ++enPassant;
            ASSERT_GE(i, base);
            EXPECT_EQ((i - base) / 616, k);
            highestColumn = std::max(highestColumn, (i - base) % 616);
            seen.push_back(i);
        });
        std::sort(seen.begin(), seen.end());
        EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
    }
    EXPECT_GT(enPassant, 0u);
    EXPECT_EQ(highestColumn, 615u);
}

// kqqkq: the queens of one side are interchangeable; the second side's queen
// is numbered last with the first side to move, first with the second.
TEST_F(TablebaseIndexTest, KqqkqQueenMoves) {
    const int ordinal = findTablebaseRecord("kqqkq");
    const TbMaterial m = materialOf(ordinal);
    // White king b1, white queens a1 and c1, black king d3; the black queen on
    // a6 or f6 (above every other man) checks neither king.
    TbPlacement p{};
    p.king[0] = 1;
    p.king[1] = 19;
    p.square[0] = 0;
    p.square[1] = 2;
    p.ep = TB_NO_EP;
    TbPlacement q = p;
    p.square[2] = 40;
    q.square[2] = 45;
    for (int side = 0; side < 2; ++side) {
        ASSERT_TRUE(isLegal(m, p, side));
        ASSERT_TRUE(isLegal(m, q, side));
        TbPlacement swapped = p;
        std::swap(swapped.square[0], swapped.square[1]);
        EXPECT_EQ(indexOf(m, swapped, side), indexOf(m, p, side));
    }
    EXPECT_EQ(indexOf(m, q, 0) - indexOf(m, p, 0), 5u);
    const std::uint32_t a = indexOf(m, p, 1), b = indexOf(m, q, 1);
    EXPECT_NE(a, b);
    EXPECT_EQ((std::max(a, b) - std::min(a, b)) % 1830, 0u);
}

// Set-ups outside the rules (kings on or beside each other, men on squares no
// enumeration numbers, any en-passant square) still get an index without a
// read outside the tables: the sanitizer build turns any such read into a failure.
TEST_F(TablebaseIndexTest, SetUpsOutsideTheRulesStayInsideTheTables) {
    std::mt19937 rng(7);
    std::uint32_t calls = 0;
    for (int ordinal = 1; ordinal < TB_RECORDS; ++ordinal) {
        const TbMaterial m = materialOf(ordinal);
        for (int side = 0; side < 2; ++side)
            for (int n = 0; n < (SANITIZED ? 40 : 200); ++n) {
                TbPlacement p{};
                p.king[0] = rng() % 64;
                // On the other king, beside it, or anywhere.
                const std::uint32_t near = (p.king[0] + (rng() % 2 ? 1 : 8)) % 64;
                p.king[1] = n % 3 == 0 ? p.king[0] : n % 3 == 1 ? near : rng() % 64;
                for (int i = 0; i < m.men; ++i) p.square[i] = rng() % 64;
                p.ep = rng() % 2 ? TB_NO_EP : rng() % 64;
                for (std::uint32_t inverted = 0; inverted < 2; ++inverted) {
                    std::uint32_t first[16], second[16];
                    fillLists(m, p, first, second);
                    (void)tablebaseCatalogue[ordinal].indexRoutine[side](first, second, p.ep, inverted);
                    ++calls;
                }
            }
    }
    EXPECT_EQ(calls, std::uint32_t(178 * 2 * 2 * (SANITIZED ? 40 : 200)));
}
