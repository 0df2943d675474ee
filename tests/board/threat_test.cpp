// checkThreat against a brute force over exactly the move kinds it counts:
// single pawn steps and pawn captures, knight moves, slider moves.
#include <gtest/gtest.h>
#include "board/attacks.h"
#include "board/position.h"
#include "board/threat.h"
#include "tests/board/reference_board.h"
#include "tests/test_support.h"

namespace {

bool bruteForceThreat(int colour) {
    const ReferenceBoard b     = referenceFromPosition();
    const int            enemy = colour ^ 1, king = referenceKing(b, colour);
    auto checksFrom = [&](int from, int to) {
        ReferenceBoard after = b;
        after.colour[to]     = enemy;
        after.type[to]       = b.type[from];
        after.colour[from] = after.type[from] = -1;
        return referenceManAttacks(after, to, king);
    };
    for (int from = 0; from < 64; ++from) {
        if (b.colour[from] != enemy) continue;
        const int type = b.type[from];
        for (int to = 0; to < 64; ++to) {
            if (to == king || to == from || b.colour[to] == enemy) continue;
            bool reachable;
            if (type == PAWN) {
                const int forward = enemy == WHITE ? -8 : 8;
                const int row     = to >> 3;
                if (row == 0 || row == 7) continue;  // promotions are not counted
                reachable = b.type[to] < 0 ? to == from + forward : referenceManAttacks(b, from, to);
            } else if (type == KING) {
                continue;
            } else {
                reachable = referenceManAttacks(b, from, to);
            }
            if (reachable && checksFrom(from, to)) return true;
        }
    }
    return false;
}

TEST(CheckThreat, MatchesBruteForceWhenNotOnlySafeChecks) {
    int threats = 0, total = 0;
    for (const std::string& fen : realGamePositions(SANITIZED ? 100 : 600, 31)) {
        setUpFen(fen);
        for (int colour = 0; colour < 2; ++colour) {
            // A king already in check makes "giving check" meaningless.
            if (findAttacker(kingSquare[colour], colour ^ 1) < 64) continue;
            const bool expected = bruteForceThreat(colour);
            EXPECT_EQ(checkThreat(colour, false), expected) << fen << " colour " << colour;
            threats += expected;
            ++total;
        }
    }
    // Both answers must occur often for the comparison to mean anything.
    EXPECT_GT(threats, total / 10);
    EXPECT_LT(threats, total - total / 10);
}

TEST(CheckThreat, PawnSliderAndKnightThreatsInSmallPositions) {
    setUpFen("3q3k/8/8/8/8/8/8/6K1 w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, false));  // Qd8-g5
    setUpFen("7k/8/8/8/8/8/b7/7K w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, false));  // Ba2-d5 on the long diagonal
    setUpFen("7k/8/8/8/8/8/r7/7K w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, false));  // Ra2-a1 or Ra2-h2
    setUpFen("7k/8/8/8/8/2p5/3P4/4K3 w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, false));  // c3xd2 would give check
    EXPECT_FALSE(checkThreat(WHITE, true));
    // Only a double step could check: not counted.
    setUpFen("7k/3p4/8/8/4K3/8/8/8 w - - 0 1");
    EXPECT_FALSE(checkThreat(WHITE, false));
    // Safe knight checks need a free square that black controls more.
    setUpFen("7k/8/8/8/8/4n3/8/4K3 w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, false));  // Ne3-c2 or Ne3-g2
    setUpFen("7k/8/8/8/8/4n3/2R5/4K3 w - - 0 1");
    EXPECT_FALSE(checkThreat(WHITE, true));  // c2 is taken, g2 is as much white's
    setUpFen("7k/8/8/8/8/4n3/2R4r/4K3 w - - 0 1");
    EXPECT_TRUE(checkThreat(WHITE, true));  // black now controls g2 (and h1)
}

}  // namespace
