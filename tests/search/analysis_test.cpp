// What analysts and testers set: several best lines, a restricted root, a
// node limit, and a weakened engine that still never hangs a mate in one.
#include <gtest/gtest.h>
#include <fstream>
#include <set>
#include <sstream>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/rules.h"
#include "search/rootmoves.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/strength.h"
#include "search/thinking.h"
#include "search/threads.h"
#include "tests/test_support.h"
#include "tools/bench.h"

namespace {

struct Printed {
    int  depth, line, score;
    Move move;
};
std::vector<Printed> printed;

void capture(int depth, int score) { printed.push_back({depth, thinkingLineNumber, score, pvTable[0][0] & 0x70FFF}); }

class Analysis : public ::testing::Test {
  protected:
    void TearDown() override {
        setMultiPvLines(1);
        setStrength(0);
        clearRootFilter();
        nodeLimit    = 0;
        thinkingHook = nullptr;
    }
    void search(const std::string& fen, int depth, std::int32_t centiseconds = 0) {
        setUpFen(fen);
        resetSearchState();
        printed.clear();
        thinkingHook = capture;
        runSearch(depth, centiseconds);
    }
};

// Positions from real games: the start, open middlegames, an endgame.
const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "2r3k1/pp3pp1/4p2p/3pP3/3P1P2/P3Q3/1q4PP/4R1K1 b - - 0 28",
    "8/5pk1/6p1/3R4/5P1P/6P1/r7/6K1 w - - 0 45",
};

std::vector<std::string> mateInOnePositions(int count) {
    std::ifstream            in(sharedPath("data/mates/mates.epd"));
    std::vector<std::string> fens;
    for (std::string line; std::getline(in, line) && int(fens.size()) < count;) {
        const auto dm = line.find("dm ");
        if (dm == std::string::npos || std::atoi(line.c_str() + dm + 3) != 1) continue;
        std::istringstream f(line);
        std::string        a, b, c, d;
        f >> a >> b >> c >> d;
        fens.push_back(a + " " + b + " " + c + " " + d + " 0 1");
    }
    return fens;
}

// Whether the side to move can mate at once.
bool hasMateInOne() {
    generateAllMoves();
    std::vector<Move> moves;
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) moves.push_back(moveStack[i].move);
    for (const Move m : moves) {
        if (!makeMove(m)) continue;
        const bool mate = !firstLegalMove() && (checkState[gamePly] & 0xFF) < 64;
        unmakeMove();
        if (mate) return true;
    }
    return false;
}

TEST_F(Analysis, EveryDepthShowsItsBestLinesBestFirst) {
    setMultiPvLines(4);
    for (const char* fen : POSITIONS) {
        search(fen, 6);
        for (int depth = 1; depth <= 6; ++depth) {
            std::vector<Printed> lines;
            for (const Printed& p : printed)
                if (p.depth == depth) lines.push_back(p);
            ASSERT_EQ(lines.size(), 4u) << fen << " depth " << depth;
            std::set<Move> moves;
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(lines[i].line, i + 1);
                if (i > 0) {
                    EXPECT_LE(lines[i].score, lines[i - 1].score) << fen;
                }
                moves.insert(lines[i].move);
            }
            EXPECT_EQ(moves.size(), 4u) << fen << " depth " << depth;
        }
        EXPECT_EQ(pvTable[0][0] & 0x70FFF, printed[printed.size() - 4].move) << fen;  // line 1 is played
    }
    // Fewer legal moves than lines: as many lines as moves.
    search("7k/8/8/8/8/8/6q1/6K1 w - - 0 1", 4);
    for (const Printed& p : printed) EXPECT_LE(p.line, 1);
}

TEST_F(Analysis, ARestrictedRootNeverPlaysAnOtherMove) {
    // Mates in one with every mating move left out: another move is played,
    // and it does not mate at once.
    for (const std::string& fen : mateInOnePositions(12)) {
        setUpFen(fen);
        std::vector<Move> mates;
        generateAllMoves();
        for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i) {
            const Move m = moveStack[i].move;
            if (!makeMove(m)) continue;
            if (!firstLegalMove() && (checkState[gamePly] & 0xFF) < 64) mates.push_back(m);
            unmakeMove();
        }
        ASSERT_FALSE(mates.empty()) << fen;
        for (const Move m : mates) excludeRootMove(m);
        search(fen, 5);
        for (const Move m : mates) EXPECT_NE(pvTable[0][0] & 0x70FFF, m & 0x70FFF) << fen;
        EXPECT_LT(lastScore, 9000) << fen;
        // Only the mates: one of them.
        excludeAllRootMoves();
        for (const Move m : mates) includeRootMove(m);
        search(fen, 5);
        EXPECT_GT(lastScore, 9000) << fen;
        clearRootFilter();
    }
    // A restriction holds only for its own position.
    setUpFen(POSITIONS[0]);
    excludeAllRootMoves();
    includeRootMove(findSanMove("h4"));
    EXPECT_FALSE(rootMoveSearched(findSanMove("e4")));
    ASSERT_TRUE(makeMove(findSanMove("e4")));
    EXPECT_TRUE(rootMoveSearched(findSanMove("e5")));
}

TEST_F(Analysis, ANodeLimitStopsWithinSixtyFourNodes) {
    for (const char* fen : POSITIONS) {
        for (const std::uint64_t limit : {5000u, 60000u, 400000u}) {
            nodeLimit = limit;
            search(fen, 64);
            EXPECT_GE(searchNodes(), limit) << fen;
            EXPECT_LT(searchNodes(), limit + 64) << fen;
            EXPECT_NE(pvTable[0][0], 0u);
        }
    }
}

TEST_F(Analysis, TheWeakestSettingStillMatesAndNeverHangsAMateInOne) {
    setStrength(STRENGTH_MIN);
    for (const std::string& fen : mateInOnePositions(10)) {
        search(fen, 64, 100);
        EXPECT_GT(lastScore, 9000) << fen;
    }
    // Middlegame positions, each searched a few times: the move is legal,
    // and it leaves the opponent no mate in one unless every move does.
    int weaker = 0;
    for (int round = 0; round < 4; ++round)
        for (const char* fen : POSITIONS) {
            search(fen, 64, 100);
            const Move m = pvTable[0][0];
            ASSERT_TRUE(isGeneratedMove(m) && makeMove(m)) << fen;
            const bool hangs = hasMateInOne();
            unmakeMove();
            EXPECT_FALSE(hangs) << fen;
            weaker += printed.empty() || (m & 0x70FFF) != printed.back().move;
        }
    // It is weaker on purpose: some choices are not the searched best.
    EXPECT_GT(weaker, 0);
}

}  // namespace
