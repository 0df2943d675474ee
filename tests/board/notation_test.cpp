// Move text: coordinate and SAN output, and the SAN reader on its variants
// and on real game scores.
#include <gtest/gtest.h>
#include <cstring>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {

int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

Move parsed(const char* text) {
    Move m = 0;
    EXPECT_TRUE(parseSan(text, &m)) << text;
    return m;
}

TEST(Notation, CoordinateAndSanOutput) {
    EXPECT_STREQ(moveToCoord(makeMoveWord(sq("a2"), sq("b1"), GEN_PAWN | GEN_CAPTURE | GEN_PROMOTION) |
                             Move(KNIGHT) << 16),
                 "a2b1N");
    EXPECT_STREQ(moveToCoord(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)), "e1g1");
    EXPECT_STREQ(moveToCoord(0), "a8a8");

    setUpFen("r3k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("e1"), sq("c1"), GEN_CASTLE)), "0-0-0");
    setUpFen("4k3/8/8/8/3N4/5p2/3N4/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("d2"), sq("f3"), GEN_CAPTURE)), "N2xf3");
    setUpFen("4k3/8/8/8/8/5p2/3N3N/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("d2"), sq("f3"), GEN_CAPTURE)), "Ndxf3");
    setUpFen("3rk3/4P3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("e7"), sq("d8"), GEN_PAWN | GEN_CAPTURE | GEN_PROMOTION) |
                           Move(QUEEN) << 16),
                 "exd8=Q");
    // A pinned second rook still adds its character.
    setUpFen("4k2r/8/8/8/8/8/7R/R6K w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("a1"), sq("a2"), 0)), "Raa2");
}

TEST(Notation, SanReaderVariants) {
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Move shortCastle = MOVE_CASTLE | Move(62) << 6 | 60;
    EXPECT_EQ(parsed("O-O"), shortCastle);
    EXPECT_EQ(parsed("0-0"), shortCastle);
    EXPECT_EQ(parsed("o-o"), shortCastle);
    EXPECT_EQ(parsed("O-O-O"), MOVE_CASTLE | Move(58) << 6 | 60);

    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const Move nf3 = parsed("Nf3");
    EXPECT_EQ(nf3, makeMoveWord(sq("g1"), sq("f3"), 0));
    EXPECT_EQ(parsed("Nf3+"), nf3);
    EXPECT_EQ(parsed("Nf3!"), nf3);
    EXPECT_EQ(parsed("N-f3"), nf3);
    EXPECT_EQ(parsed("Ng1f3"), nf3);
    EXPECT_EQ(parsed("e4"), makeMoveWord(sq("e2"), sq("e4"), GEN_PAWN | GEN_DOUBLE_PUSH));
    setUpFen("4k3/8/8/8/8/4P3/8/4K3 w - - 0 1");
    EXPECT_EQ(parsed("e4"), makeMoveWord(sq("e3"), sq("e4"), GEN_PAWN));

    setUpFen("2k5/4P3/8/8/8/8/8/4K3 w - - 0 1");
    const Move promote = parsed("e8=Q");
    EXPECT_EQ(promote, makeMoveWord(sq("e7"), sq("e8"), GEN_PAWN | GEN_PROMOTION) | Move(QUEEN) << 16);
    EXPECT_EQ(parsed("e8Q"), promote);
    EXPECT_EQ(parsed("e8/Q"), promote);

    setUpFen("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    ASSERT_TRUE(makeMove(parsed("d5")));
    EXPECT_EQ(parsed("exd6"), 0x15000000u | Move(sq("d6")) << 6 | Move(sq("e5")));

    // Nbd7 ignores the knight on f6; Nd7 skips a pinned candidate.
    setUpFen("rn2k3/8/5n2/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nbd7")), sq("b8"));
    setUpFen("1n6/8/3k4/4n3/8/8/7B/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nd7")), sq("b8"));  // e5 is pinned against the king
    setUpFen("1n6/8/3k4/4n3/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nd7")), sq("e5"));  // unpinned, e5 comes first

    Move m;
    EXPECT_FALSE(parseSan("Nz9", &m));
    EXPECT_FALSE(parseSan("", &m));
    EXPECT_FALSE(parseSan("Q", &m));
    EXPECT_FALSE(parseSan("Qd4", &m));  // no queen can get there
}

// Every legal move written in SAN reads back as the same word, except where
// the writer, counting pinned candidates too, adds two characters.
TEST(Notation, SanRoundTripOnRealPositions) {
    int checked = 0;
    for (const std::string& fen : realGamePositions(SANITIZED ? 60 : 300, 5)) {
        setUpFen(fen);
        generateLegalCandidates();
        for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i) {
            const Move move = moveStack[i].move;
            if (!makeMove(move)) continue;
            unmakeMove();
            const std::string san = moveToSan(move);
            const int type = codeType(board[moveFrom(move)]);
            const std::size_t plain = (type == PAWN ? 0 : 1) + ((move & MOVE_CAPTURE) ? (type == PAWN ? 2 : 1) : 0) + 2 +
                                      ((move & MOVE_PROMOTION) ? 2 : 0);
            if (!(move & MOVE_CASTLE) && san.size() > plain + 1) continue;
            Move back = 0;
            ASSERT_TRUE(parseSan(san.c_str(), &back)) << fen << " " << san;
            EXPECT_EQ(back, move) << fen << " " << san;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(Notation, RealGameScoresReplay) {
    const auto games  = readPgnGames(sharedPath("data/games/masters-wch.pgn"), SANITIZED ? 300 : 2000);
    int        failed = 0;
    for (const auto& game : games) {
        setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        for (std::size_t i = 0; i < game.size() && i < 700; ++i)
            if (!playSan(game[i])) {
                ++failed;
                ADD_FAILURE() << "game of " << game.size() << " plies stops at ply " << i << ": " << game[i];
                break;
            }
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(games.size(), 250u);
}

}  // namespace
