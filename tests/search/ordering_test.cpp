// Move ordering: selection with exclusions, marking, and the tests that
// guard killers and hash moves.
#include <gtest/gtest.h>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "search/ordering.h"
#include "search/searchdata.h"
#include "tests/test_support.h"

namespace {

int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

TEST(Ordering, SelectionExclusionAndMarking) {
    setUpFen("4k3/8/8/3q4/4P3/8/8/R3K3 w Q - 0 1");
    generateCaptures();
    ASSERT_EQ(firstMove[1] - firstMove[0], 1u);  // exd5 only
    const Move capture = moveStack[0].move;
    // A capture list holding only the hash move: nothing left after it.
    EXPECT_EQ(pickNextMove(0, capture, 0), 0u);
    EXPECT_EQ(firstMove[1], 0u);

    generateMoves();
    const std::uint32_t count = firstMove[1];
    Move quiet = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (!(moveStack[i].move & MOVE_CAPTURE)) quiet = moveStack[i].move;
    // Excluding two moves shrinks the list by two; the capture still comes first.
    const Move first = pickNextMove(0, quiet, makeMoveWord(sq("a1"), sq("a2"), 0));
    EXPECT_EQ(first, capture);
    EXPECT_EQ(firstMove[1], count - 2);
    for (std::uint32_t i = 1; i < firstMove[1]; ++i) EXPECT_NE(moveStack[i].move, quiet);

    // The hash move outranks captures; the PV move outranks everything.
    generateMoves();
    markHashMove(quiet & 0xFFFFFF);
    EXPECT_EQ(pickBestMove(0), quiet);
    generateMoves();
    pvTable[0][0] = makeMoveWord(sq("e1"), sq("d1"), 0);
    pvLength[0]   = 1;
    markPvMove();
    EXPECT_EQ(followPv, 1);
    EXPECT_EQ(pickBestMove(0), pvTable[0][0]);
    pvTable[0][0] = makeMoveWord(sq("h1"), sq("h2"), 0);  // not in the list
    generateMoves();
    markPvMove();
    EXPECT_EQ(followPv, 0);
}

TEST(Ordering, KillerAndHashMoveGuards) {
    setUpFen("r3k3/8/8/8/8/4p3/4P3/R3K2R w KQq - 0 1");
    // A pawn push whose square is now occupied; a double push through a man.
    EXPECT_FALSE(isKillerPlayable(makeMoveWord(sq("e2"), sq("e3"), GEN_PAWN)));
    EXPECT_FALSE(isKillerPlayable(makeMoveWord(sq("e2"), sq("e4"), GEN_PAWN | GEN_DOUBLE_PUSH)));
    EXPECT_TRUE(isKillerPlayable(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)));
    EXPECT_TRUE(isKillerPlayable(makeMoveWord(sq("a1"), sq("a7"), 0)));
    EXPECT_FALSE(isKillerPlayable(makeMoveWord(sq("a1"), sq("a8"), 0)));  // a capture is never a killer
    EXPECT_FALSE(isKillerPlayable(makeMoveWord(sq("a1"), sq("f1"), 0)));  // through the king
    EXPECT_TRUE(isKillerPlayable(makeMoveWord(sq("h1"), sq("h4"), 0)));
    // Once the right is gone the castling killer is refused.
    ASSERT_TRUE(makeMove(makeMoveWord(sq("h1"), sq("h2"), 0)));
    ASSERT_TRUE(makeMove(makeMoveWord(sq("a8"), sq("a7"), 0)));
    ply = 0;
    EXPECT_FALSE(isKillerPlayable(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)));
    EXPECT_TRUE(isKillerPlayable(makeMoveWord(sq("e1"), sq("c1"), GEN_CASTLE)));
    // Hash moves: own man on the from-square, not on the to-square, no
    // sideways pawn onto an empty square, castling only with the right.
    EXPECT_TRUE(isHashMovePlayable(makeMoveWord(sq("a1"), sq("a7"), 0)));
    EXPECT_FALSE(isHashMovePlayable(makeMoveWord(sq("a1"), sq("e1"), 0)));
    EXPECT_FALSE(isHashMovePlayable(makeMoveWord(sq("e8"), sq("d8"), 0)));
    EXPECT_FALSE(isHashMovePlayable(makeMoveWord(sq("e2"), sq("d3"), 0)));
    EXPECT_FALSE(isHashMovePlayable(makeMoveWord(sq("e1"), sq("g1"), 0)));
    EXPECT_TRUE(isHashMovePlayable(makeMoveWord(sq("e1"), sq("c1"), 0)));
}

TEST(Ordering, ClassifyMoveRebuildsTheGeneratorsFlags) {
    for (const std::string& fen : realGamePositions(SANITIZED ? 30 : 150, 8)) {
        setUpFen(fen);
        generateMoves();
        for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i) {
            Move bare = moveStack[i].move & 0x70FFF;
            classifyMove(&bare);
            EXPECT_EQ(bare, moveStack[i].move) << fen;
        }
    }
}

}  // namespace
