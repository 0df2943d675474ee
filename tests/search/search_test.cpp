// The search: exact mate scores on real puzzles, mate and stalemate at the
// root, draws inside the tree, the mate-threat flag, the single-move stop,
// the thinking line, and the bench signature.
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include "board/makemove.h"
#include "board/position.h"
#include "board/rules.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "search/hashtable.h"
#include "search/search.h"
#include "search/searchdata.h"
#include "search/thinking.h"
#include "tests/test_support.h"
#include "tools/bench.h"
#include "tools/perft.h"

namespace {

void setUpSearch(const std::string& fen) {
    setUpFen(fen);
    resetSearchState();
}

struct MatePuzzle {
    std::string       fen;
    std::vector<std::string> best;
    int               mateIn;
};

std::vector<MatePuzzle> readMates(int mateIn, int count) {
    std::ifstream           in(sharedPath("data/mates/mates.epd"));
    std::vector<MatePuzzle> puzzles;
    for (std::string line; std::getline(in, line) && int(puzzles.size()) < count;) {
        const auto dm = line.find("dm ");
        if (dm == std::string::npos || std::atoi(line.c_str() + dm + 3) != mateIn) continue;
        std::istringstream fields(line);
        std::string        a, b, c, d, op;
        fields >> a >> b >> c >> d >> op;
        MatePuzzle p{a + " " + b + " " + c + " " + d, {}, mateIn};
        for (std::string san; fields >> san && san != "dm";) {
            if (san.back() == ';') san.pop_back();
            p.best.push_back(san);
        }
        puzzles.push_back(p);
    }
    return puzzles;
}

void expectMatesFound(int mateIn, int count, int depth) {
    const auto puzzles = readMates(mateIn, count);
    ASSERT_EQ(int(puzzles.size()), count);
    for (const MatePuzzle& p : puzzles) {
        setUpSearch(p.fen);
        runSearch(depth, 0);
        // The score is exact: 10000 minus the plies to mate.
        EXPECT_EQ(lastScore, MATE_SCORE - (2 * mateIn - 1)) << p.fen;
        bool matched = false;
        for (const std::string& san : p.best) matched |= findSanMove(san) == pvTable[0][0];
        EXPECT_TRUE(matched) << p.fen << " played " << std::hex << pvTable[0][0];
    }
}

TEST(Search, FindsMatesWithExactScores) {
    expectMatesFound(2, SANITIZED ? 8 : 40, 4);
    expectMatesFound(3, SANITIZED ? 4 : 20, 6);
    if (!SANITIZED) expectMatesFound(4, 6, 8);
}

TEST(Search, MatedAndStalematedRoots) {
    setUpSearch("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    runSearch(5, 0);
    EXPECT_EQ(lastScore, -MATE_SCORE);
    EXPECT_TRUE(rootFinished);
    setUpSearch("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    runSearch(5, 0);
    EXPECT_EQ(lastScore, 0);
    EXPECT_TRUE(rootFinished);
}

TEST(Search, RepetitionAndFiftyMoveDraws) {
    // A position seen four plies earlier is a draw before anything else.
    setUpSearch("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (const char* san : {"Nf3", "Nf6", "Ng1", "Ng8", "Nf3"}) ASSERT_TRUE(playSan(san));
    ply                = 1;  // as if searched from the root one ply up
    iterationDepth     = 3;
    nodeCount          = 0;
    EXPECT_EQ(repetitionCount(), 1);
    EXPECT_EQ(search(-100, 100, 3, 0, NODE_NULL_OK), 0);
    EXPECT_EQ(nodeCount, 1u);

    // Fifty moves: a won position with legal moves scores 0; a mate still counts.
    setUpSearch("7k/8/8/8/8/8/R7/1R4K1 b - - 0 1");
    ASSERT_TRUE(playSan("Kg8"));
    ply        = 1;
    fiftyCount = 100;
    EXPECT_EQ(search(-10000, 10000, 2, 0, NODE_NULL_OK), 0);
    setUpSearch("6k1/R7/8/8/8/8/8/1R4K1 w - - 0 1");
    ASSERT_TRUE(playSan("Rb8"));  // mate
    ply        = 1;
    fiftyCount = 100;
    EXPECT_EQ(search(-10000, 10000, 2, 0, NODE_NULL_OK), 1 - MATE_SCORE);
}

// The threat is seen when the null-move search returns the mate score
// itself, i.e. when only a mate reaches its window: a window far below zero.
TEST(Search, NullMoveDetectsMateThreat) {
    // White to move; if white passed, Re1 would mate.
    setUpSearch("4r1k1/5ppp/8/8/8/8/R4PPP/6K1 b - - 0 1");
    ASSERT_TRUE(playSan("h6"));
    ply            = 1;
    iterationDepth = 3;
    search(-9000, -8000, 3, 0, NODE_NULL_OK);
    HashHit entry;
    ASSERT_TRUE(probeMainTable(&entry));
    EXPECT_TRUE(entry.flags & HASH_MATE_THREAT);
    // Without the threat (no black rook) the flag stays clear.
    setUpSearch("6k1/5ppp/8/8/8/8/R4PPP/6K1 b - - 0 1");
    ASSERT_TRUE(playSan("h6"));
    ply            = 1;
    iterationDepth = 3;
    search(-9000, -8000, 3, 0, NODE_NULL_OK);
    ASSERT_TRUE(probeMainTable(&entry));
    EXPECT_FALSE(entry.flags & HASH_MATE_THREAT);
}

TEST(Search, SingleLegalMoveStopsAfterIterationThree) {
    setUpSearch("7k/8/8/8/8/8/6q1/7K w - - 0 1");
    runSearch(30, 0);
    EXPECT_EQ(lastIterationDepth, 3);
    EXPECT_EQ(legalRootMoves, 1);
}

TEST(Search, ThinkingLineFormatAndLengthening) {
    setUpSearch("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const Move e4 = findSanMove("e4");
    ASSERT_TRUE(makeMove(e4));
    const Move e5 = findSanMove("e5");
    ASSERT_TRUE(makeMove(e5));
    const Move nf3 = findSanMove("Nf3");
    ASSERT_TRUE(makeMove(nf3));
    // The hash table knows a reply after 1.e4 e5 2.Nf3: Nc6.
    const Move nc6 = findSanMove("Nc6");
    storeMainTable(3, 0, HASH_EXACT, nc6, false);
    unmakeMove();
    unmakeMove();
    unmakeMove();
    pvTable[0][0] = e4 & 0xFFFFFF;
    pvTable[0][1] = e5 & 0xFFFFFF;
    pvTable[0][2] = nf3 & 0xFFFFFF;
    pvLength[0]   = 3;
    nodeCount     = 1234;
    printThinking(6, 25);
    const std::string line = thinkingLine;
    EXPECT_EQ(line.substr(0, 9), " 6    25 ");
    EXPECT_NE(line.find(" 1234   e4 e5 Nf3 Nc6"), std::string::npos) << line;
    EXPECT_EQ(pvLength[0], 4);
    EXPECT_EQ(ply, 0);
    // After Nf3 Nf6 Ng1 Ng8 the position is the initial one again: a stored
    // e4 lengthens the line, a stored Nf3 would repeat its first pair.
    const char* shuffle[] = {"Nf3", "Nf6", "Ng1", "Ng8"};
    for (const bool repeats : {false, true}) {
        setUpSearch("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        for (int i = 0; i < 4; ++i) {
            const Move m  = findSanMove(shuffle[i]);
            pvTable[0][i] = m;
            ASSERT_TRUE(makeMove(m));
        }
        storeMainTable(3, 0, HASH_EXACT, findSanMove(repeats ? "Nf3" : "e4"), false);
        for (int i = 0; i < 4; ++i) unmakeMove();
        pvLength[0] = 4;
        printThinking(6, 0);
        EXPECT_EQ(pvLength[0], repeats ? 4 : 5);
        EXPECT_EQ(std::string(thinkingLine).find(" e4") != std::string::npos, !repeats) << thinkingLine;
    }
    // No lengthening beyond the depth.
    setUpSearch("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (int i = 0; i < 4; ++i) {
        const Move m  = findSanMove(shuffle[i]);
        pvTable[0][i] = m;
        ASSERT_TRUE(makeMove(m));
    }
    storeMainTable(3, 0, HASH_EXACT, findSanMove("e4"), false);
    for (int i = 0; i < 4; ++i) unmakeMove();
    pvLength[0] = 4;
    printThinking(4, 0);
    EXPECT_EQ(pvLength[0], 4);
}

TEST(Search, BenchSignatureIsFixed) {
    // Any change to what the search does changes this count; a commit that
    // changes it says why.
    EXPECT_EQ(runBench(5, nullptr), 983598u);
}

}  // namespace
