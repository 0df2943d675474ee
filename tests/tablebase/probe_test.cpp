// Tablebase start-up, probe and block cache on table files written here, byte
// by byte, at the indices the catalogue's own index routines give.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include "board/position.h"
#include "board/setup.h"
#include "io/system.h"
#include "search/searchdata.h"
#include "tools/bench.h"
#include "tools/pgn.h"
#include "tablebase/catalogue.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbfiles.h"
#include "tests/tablebase/tablebase_test.h"
#include "tests/test_support.h"

namespace {

constexpr std::uint32_t QUEEN_ENTRY = 12, PAWN_ENTRY = 0;

struct Lists {
    std::uint32_t first[16] = {}, second[16] = {};
};

// Piece lists built by hand: one man of the first side (or none) and the kings.
Lists lists(const char* firstKing, std::uint32_t entry, const char* man, const char* secondKing,
            const char* secondMan = nullptr) {
    Lists l;
    l.first[TB_KING_ENTRY]  = tbSquare(firstKing);
    l.second[TB_KING_ENTRY] = tbSquare(secondKing);
    if (man) l.first[entry] = tbSquare(man);
    if (secondMan) l.second[entry] = tbSquare(secondMan);
    return l;
}

std::uint32_t indexOf(const char* name, int side, const Lists& l, std::uint32_t ep = TB_NO_EP, std::uint32_t inverted = 0) {
    return tablebaseCatalogue[findTablebaseRecord(name)].indexRoutine[side](l.first, l.second, ep, inverted);
}

bool probe(const std::string& fen, std::int16_t& score) {
    setUpFen(fen);
    score = -1;
    return probeTablebase(&score);
}

class Tablebase : public ::testing::Test {
protected:
    void       SetUp() override { stopTablebases(); }
    void       TearDown() override { stopTablebases(); }
    ScratchDir dir;
    std::string file(const char* name) const { return dir.path + "/" + name; }
};

TEST_F(Tablebase, EveryStoredByteGetsItsScore) {
    // The mapping from the side to move's view: wins just below the search's
    // mate scores, losses above its mated scores, the far classes at the edge.
    setUpFen("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1");
    for (int b = -128; b <= 127; ++b) {
        writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), std::int8_t(b));
        startTablebases(dir.path, 5);
        ASSERT_EQ(egtbMaxPieces, 3);
        std::int16_t score = -1;
        const bool   found = probeTablebase(&score);
        if (b == 127) {
            EXPECT_FALSE(found) << "127 marks indices without a position";
            continue;
        }
        ASSERT_TRUE(found) << b;
        const int expected = b == 0 ? 0 : b == -128 ? 9746 : b == -127 ? -9748 : b > 0 ? 9746 + 2 * b : 2 * b - 9748;
        EXPECT_EQ(score, expected) << "byte " << b;
    }
}

TEST_F(Tablebase, SideToMoveAndColoursPickTheFileAndTheLists) {
    // kqk: white's queen, white to move reads .nbw; black to move reads .nbb;
    // the queen on black's side with white to move reads .nbb with the lists
    // exchanged and inverted = 1.
    const Lists whiteQueen = lists("e1", QUEEN_ENTRY, "a2", "e5");
    const Lists blackToMove = lists("e1", QUEEN_ENTRY, "a2", "d5");
    const Lists blackQueen = lists("e8", QUEEN_ENTRY, "a7", "e4");
    const std::uint32_t wtm = indexOf("kqk", 0, whiteQueen), btm = indexOf("kqk", 1, blackToMove),
                        inverted = indexOf("kqk", 1, blackQueen, TB_NO_EP, 1);
    ASSERT_NE(btm, inverted);
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 0, {{wtm, 120}});
    writeTableFile(file("kqk.nbb"), tableSize("kqk", 1), 0, {{btm, -5}, {inverted, -7}});
    startTablebases(dir.path);
    std::int16_t score;
    ASSERT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_EQ(score, 9746 + 240);
    ASSERT_TRUE(probe("8/8/8/3k4/8/8/Q7/4K3 b - - 0 1", score));
    EXPECT_EQ(score, -10 - 9748);
    ASSERT_TRUE(probe("4k3/q7/8/8/4K3/8/8/8 w - - 0 1", score));
    EXPECT_EQ(score, -14 - 9748);
    // Without the .nbb, black to move and the inverted reading find nothing.
    stopTablebases();
    std::remove(file("kqk.nbb").c_str());
    startTablebases(dir.path);
    EXPECT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/Q7/4K3 b - - 0 1", score));
    EXPECT_FALSE(probe("4k3/q7/8/8/4K3/8/8/8 w - - 0 1", score));
}

TEST_F(Tablebase, KpkpReadsItsOwnSideUninverted) {
    // kpkp is its own colour exchange: white to move reads kpkp.nbw and black
    // to move kpkp.nbb, with white's men as the first list.
    const Lists l = lists("e1", PAWN_ENTRY, "e2", "e8", "d7");
    writeTableFile(file("kpkp.nbw"), tableSize("kpkp", 0), 0, {{indexOf("kpkp", 0, l), 3}});
    writeTableFile(file("kpkp.nbb"), tableSize("kpkp", 1), 0, {{indexOf("kpkp", 1, l), -9}});
    startTablebases(dir.path);
    ASSERT_EQ(egtbMaxPieces, 4);
    std::int16_t score;
    ASSERT_TRUE(probe("4k3/3p4/8/8/8/8/4P3/4K3 w - - 0 1", score));
    EXPECT_EQ(score, 9746 + 6);
    ASSERT_TRUE(probe("4k3/3p4/8/8/8/8/4P3/4K3 b - - 0 1", score));
    EXPECT_EQ(score, -18 - 9748);
}

TEST_F(Tablebase, EnPassantSquareOnlyWithACapturerBesideThePawn) {
    // Black has just played d7-d5. With a white pawn on e5 the capture is
    // there and the en-passant index is read.
    const Lists beside = lists("e1", PAWN_ENTRY, "e5", "e8", "d5");
    const Lists apart  = lists("e1", PAWN_ENTRY, "g5", "e8", "d5");
    const std::uint32_t withEp = indexOf("kpkp", 0, beside, tbSquare("d6")), noEp = indexOf("kpkp", 0, apart),
                        wrongEp = indexOf("kpkp", 0, apart, tbSquare("d6"));
    std::map<std::uint64_t, std::int8_t> bytes = {{withEp, 11}, {noEp, 22}};
    if (wrongEp < tableSize("kpkp", 0) && wrongEp != noEp) bytes[wrongEp] = 33;
    writeTableFile(file("kpkp.nbw"), tableSize("kpkp", 0), 0, bytes);
    startTablebases(dir.path);
    std::int16_t score;
    ASSERT_TRUE(probe("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", score));
    EXPECT_EQ(score, 9746 + 22);
    // No pawn beside d5. The board keeps the square (the double push itself
    // was possible), but the tables' en-passant indices assume a capturer.
    setUpFen("4k3/8/8/3p2P1/8/8/8/4K3 w - d6 0 1");
    ASSERT_EQ(epSquare, 19);  // d6
    ASSERT_TRUE(probeTablebase(&score));
    EXPECT_EQ(score, 9746 + 44);
}

TEST_F(Tablebase, KingsAloneAndSevenMenAreNeverLookedUp) {
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 1);
    startTablebases(dir.path);
    const std::uint64_t reads = tableBlockReads;
    std::int16_t        score;
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/8/4K3 w - - 0 1", score));
    EXPECT_FALSE(probe("4k3/8/8/8/8/8/PPPPP3/4K3 w - - 0 1", score));  // 7 men
    EXPECT_FALSE(probe("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1", score));
    EXPECT_FALSE(probe("4k3/8/8/8/8/8/PPPP4/4K3 w - - 0 1", score));  // four of a type: no record
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/R7/4K3 w - - 0 1", score));    // krk: no file
    EXPECT_EQ(tableBlockReads, reads);
    EXPECT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_EQ(tableBlockReads, reads + 1);
}

// White to move with the men placed through the board's own set-up tables,
// which check nothing, as no FEN would be accepted: "Ke1", "qd8" (black).
void placeUnchecked(std::initializer_list<const char*> men) {
    for (int s = 0; s < 64; ++s) setupColour[s] = setupType[s] = NO_TYPE;
    for (const char* man : men) {
        const char c = man[0];
        const int  s = (man[1] - 'a') + 8 * ('8' - man[2]);
        setupColour[s] = c >= 'a' ? BLACK : WHITE;
        setupType[s]   = std::uint8_t(std::string("PNBRQK").find(char(c >= 'a' ? c - 32 : c)));
    }
    resetPosition();
}

TEST_F(Tablebase, SetUpsNoGameReachesAreNotLookedUp) {
    // A compressed table holds anything at their indices.
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 1);
    startTablebases(dir.path);
    std::uint8_t savedColour[64], savedType[64];
    std::memcpy(savedColour, setupColour, sizeof savedColour);
    std::memcpy(savedType, setupType, sizeof savedType);
    const std::uint64_t reads = tableBlockReads;
    std::int16_t        score;
    placeUnchecked({"Ka1", "Qe4", "ke8"});  // black, not to move, in check
    EXPECT_FALSE(probeTablebase(&score));
    placeUnchecked({"Ke6", "Qa1", "ke7"});  // the kings side by side
    EXPECT_FALSE(probeTablebase(&score));
    EXPECT_EQ(tableBlockReads, reads);
    placeUnchecked({"Ka1", "Qd4", "ke8"});
    EXPECT_TRUE(probeTablebase(&score));
    // The set-up tables back as they were (the initial position).
    std::memcpy(setupColour, savedColour, sizeof savedColour);
    std::memcpy(setupType, savedType, sizeof savedType);
    resetPosition();
}

TEST_F(Tablebase, CacheOfThirtyTwoKilobytesHoldsThreeBlocks) {
    // kqk.nbw has four blocks; block b holds the byte b + 1 everywhere.
    writeBlockPattern(file("kqk.nbw"), tableSize("kqk", 0), 1);
    startTablebases(dir.path, 5);
    ASSERT_EQ(cacheSlotCount, 3u);
    const int kqk = findTablebaseRecord("kqk");
    const std::uint64_t base = tableBlockReads;
    auto value = [&](std::uint32_t block) { return lookupTableValue(kqk, 0, block * 8192 + 17) - 32640; };
    EXPECT_EQ(value(0), 1);
    EXPECT_EQ(value(1), 2);
    EXPECT_EQ(value(2), 3);
    EXPECT_EQ(tableBlockReads, base + 3);
    // From now on the file holds other bytes: a cached block still answers
    // with the old ones, a block read again with the new ones.
    writeBlockPattern(file("kqk.nbw"), tableSize("kqk", 0), 11);
    EXPECT_EQ(value(0), 1);  // hit: block 0 is now the most recently used
    EXPECT_EQ(value(3), 14);  // miss: evicts block 1, the least recently used
    EXPECT_EQ(tableBlockReads, base + 4);
    EXPECT_EQ(value(2), 3);
    EXPECT_EQ(value(0), 1);
    EXPECT_EQ(tableBlockReads, base + 4);
    EXPECT_EQ(value(1), 12);  // read again; evicts block 3
    EXPECT_EQ(value(3), 14);  // read again; evicts block 2
    EXPECT_EQ(tableBlockReads, base + 6);
    EXPECT_EQ(value(0), 1);
    EXPECT_EQ(value(2), 13);
    EXPECT_EQ(tableBlockReads, base + 7);

    startTablebases(dir.path, 11);
    EXPECT_EQ(cacheSlotCount, 2097152u / 8260);
}

TEST_F(Tablebase, ATableThatGoesAwayIsDroppedForTheRun) {
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 5);
    writeTableFile(file("kqk.nbb"), tableSize("kqk", 1), -5);
    writeTableFile(file("krk.nbw"), tableSize("krk", 0), 7);
    startTablebases(dir.path);
    ASSERT_EQ(std::remove(file("kqk.nbw").c_str()), 0);
    testing::internal::CaptureStderr();  // one note a dropped side, naming the file and why
    std::int16_t score;
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_FALSE(isTableSideRegistered(findTablebaseRecord("kqk"), 0));
    // Back on disk, it stays dropped; the other side and other tables still answer.
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 5);
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 b - - 0 1", score));
    EXPECT_EQ(score, -9758);
    // A file cut short after registration: the missing block is not served
    // from whatever the slot held before, and the side is dropped.
    const int krk = findTablebaseRecord("krk");
    ASSERT_EQ(truncate(file("krk.nbw").c_str(), 9000), 0);
    EXPECT_EQ(lookupTableValue(krk, 0, 100), 32640 + 7);
    EXPECT_EQ(lookupTableValue(krk, 0, 20000), TB_VALUE_UNKNOWN);
    EXPECT_FALSE(isTableSideRegistered(krk, 0));
    EXPECT_EQ(lookupTableValue(krk, 0, 100), TB_VALUE_UNKNOWN);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tablebase: " + file("kqk.nbw") + " is no longer used: the file cannot be opened\n" +
                  "tablebase: " + file("krk.nbw") +
                  " is no longer used: a block past the end of the file (cut short?) or unreadable\n");
}

TEST_F(Tablebase, PathListFirstDirectoryWins) {
    ScratchDir other;
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 100);
    writeTableFile(other.path + "/kqk.nbw", tableSize("kqk", 0), 50);
    writeTableFile(other.path + "/kqk.nbb", tableSize("kqk", 1), -50);
    writeTableFile(other.path + "/krkr.nbw", tableSize("krkr", 0), 9);
    testing::internal::CaptureStderr();
    startTablebases("/nonexistent/brix;" + dir.path + "," + other.path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "tablebase: /nonexistent/brix: no such directory\n");
    EXPECT_EQ(egtbMaxPieces, 4);
    std::int16_t score;
    ASSERT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
    EXPECT_EQ(score, 9746 + 200);
    ASSERT_TRUE(probe("8/8/8/4k3/8/8/Q7/4K3 b - - 0 1", score));
    EXPECT_EQ(score, -100 - 9748);
    // krkr is symmetric: both sides to move read krkr.nbw.
    ASSERT_TRUE(probe("8/8/r7/4k3/8/8/R7/4K3 w - - 0 1", score));
    EXPECT_EQ(score, 9746 + 18);
    ASSERT_TRUE(probe("8/8/r7/4k3/8/8/R7/4K3 b - - 0 1", score));
    EXPECT_EQ(score, 9746 + 18);
    // Nothing on the path: egtbMaxPieces 0, every probe misses.
    startTablebases("/nonexistent/brix");
    EXPECT_EQ(egtbMaxPieces, 0);
    EXPECT_FALSE(probe("8/8/8/4k3/8/8/Q7/4K3 w - - 0 1", score));
}

// Directories as Windows users write them (C:\tables\;D:\more) may end in
// a separator: the file's name follows it without a second one.
TEST_F(Tablebase, DirectoryEndingInASeparator) {
    for (const char* path : {"C:\\tables\\", "C:/tables/", "/tables/"}) EXPECT_TRUE(endsInSeparator(path, "/\\")) << path;
    for (const char* path : {"C:\\tables", "D:\\more\\five", "C:", ""}) EXPECT_FALSE(endsInSeparator(path, "/\\")) << path;
    EXPECT_FALSE(endsInSeparator("C:\\tables\\", "/"));  // a POSIX name may end in a back slash
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 100);
    testing::internal::CaptureStderr();
    startTablebases(dir.path + "/;/nonexistent/");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "tablebase: /nonexistent/: no such directory\n");
    EXPECT_EQ(std::string(tableFileName(findTablebaseRecord("kqk"), 0)), dir.path + "/kqk.nbw");
}

TEST_F(Tablebase, TwoByteValuesAndTheirScores) {
    // krnknn keeps two bytes per position, low byte first; its table is
    // several gigabytes, so the file is sparse apart from the bytes written.
    const std::uint64_t bytes = tableSize("krnknn", 0);
    Lists l;
    l.first[TB_KING_ENTRY]  = tbSquare("e1");
    l.first[3 * 3]          = tbSquare("a1");  // rook
    l.first[1 * 3]          = tbSquare("b1");  // knight
    l.second[TB_KING_ENTRY] = tbSquare("e8");
    l.second[1 * 3]         = tbSquare("a8");
    l.second[1 * 3 + 1]     = tbSquare("b8");
    const std::uint64_t at = 2 * std::uint64_t(indexOf("krnknn", 0, l));
    const std::uint64_t at2 = 2 * std::uint64_t(indexOf("krnknn", 0, [&] { Lists m = l; std::swap(m.second[3], m.second[4]); return m; }()));
    ASSERT_EQ(at, at2) << "two knights exchanged keep their index";
    writeTableFile(file("krnknn.nbw"), bytes, 0, {{at, std::int8_t(0x34)}, {at + 1, std::int8_t(0xC2)}});
    startTablebases(dir.path);
    ASSERT_EQ(egtbMaxPieces, 6);
    std::int16_t score;
    ASSERT_TRUE(probe("nn2k3/8/8/8/8/8/8/RN2K3 w - - 0 1", score));
    // v = -62 * 256 + 0x34 = -15820; 2v - 10004 = -41644, which wraps to 23892.
    EXPECT_EQ(score, 23892);
}

TEST_F(Tablebase, DrawnRootKeepsToDrawingMoves) {
    // The root (KQK, white to move) is a table draw; of white's moves only
    // Qa2-a1 leads to a position the tables also call a draw. The search must
    // play it, whatever its own evaluation prefers.
    const Lists child = lists("e1", QUEEN_ENTRY, "a1", "e5");
    writeTableFile(file("kqk.nbw"), tableSize("kqk", 0), 0);
    writeTableFile(file("kqk.nbb"), tableSize("kqk", 1), -100, {{indexOf("kqk", 1, child), 0}});
    const char* root = "8/8/8/4k3/8/8/Q7/4K3 w - - 0 1";
    setUpFen(root);
    resetSearchState();
    runSearch(4, 0);
    const Move own = pvTable[0][0];
    startTablebases(dir.path);
    setUpFen(root);
    resetSearchState();
    runSearch(4, 0);
    EXPECT_EQ(tbPieceLimit, -2);
    EXPECT_EQ(pvTable[0][0], findSanMove("Qa1"));
    EXPECT_NE(own, findSanMove("Qa1")) << "the search alone would play it anyway";
}

}  // namespace
