// makeMove's legality verdict and check descriptor against the plain
// definitions, computed on a naive reference board.
#include <gtest/gtest.h>
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/position.h"
#include "tests/board/random_positions.h"
#include "tests/board/reference_board.h"
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {

bool referenceLegal(Move m) {
    ReferenceBoard b     = referenceFromPosition();
    const int      mover = side, enemy = xside;
    if (m & MOVE_CASTLE) {
        const int from = moveFrom(m), to = moveTo(m), passed = (from + to) / 2;
        if (referenceAttacked(b, from, enemy) || referenceAttacked(b, passed, enemy)) return false;
    }
    referenceApply(b, m);
    return !referenceAttacked(b, referenceKing(b, mover), enemy);
}

int referenceCheckers(const ReferenceBoard& b, int colour) {
    const int king = referenceKing(b, colour);
    int       n    = 0;
    for (int s = 0; s < 64; ++s)
        if (b.colour[s] == (colour ^ 1) && referenceManAttacks(b, s, king)) ++n;
    return n;
}

// What a batch of positions exercised, so that a test can tell that its
// generator still reaches the cases it is meant for.
struct Coverage {
    int enPassantRefused = 0, enPassantChecks = 0, doubleChecks = 0, castlingChecks = 0, promotionChecks = 0;
};

void checkEveryCandidate(const std::string& fen, Coverage* coverage = nullptr) {
    setUpFen(fen);
    generateLegalCandidates();
    for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i) {
        const Move m        = moveStack[i].move;
        const bool expected = referenceLegal(m);
        ASSERT_EQ(makeMove(m), expected) << fen << " move " << std::hex << m;
        if (coverage && !expected && (m & MOVE_EN_PASSANT)) ++coverage->enPassantRefused;
        if (!expected) continue;
        const ReferenceBoard after    = referenceFromPosition();
        const int            checkers = referenceCheckers(after, side);
        const std::uint16_t  check    = checkState[gamePly];
        if (coverage && checkers > 0) {
            coverage->enPassantChecks += (m & MOVE_EN_PASSANT) != 0;
            coverage->doubleChecks += checkers > 1;
            coverage->castlingChecks += (m & MOVE_CASTLE) != 0;
            coverage->promotionChecks += (m & MOVE_PROMOTION) != 0;
        }
        EXPECT_EQ((check & 0xFF) < 64, checkers > 0) << fen << " after " << std::hex << m;
        EXPECT_EQ(bool(check & CHECK_DOUBLE), checkers > 1) << fen << " after " << std::hex << m;
        if (checkers >= 1 && (check & 0xFF) < 64) {
            EXPECT_TRUE(referenceManAttacks(after, check & 0xFF, kingSquare[side])) << fen;
        }
        unmakeMove();
    }
}

const char* const SPECIAL[] = {
    // En passant along the rank with king and rook (refused), and allowed.
    "8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 1",
    "8/8/8/K2pP3/8/8/8/4k2r w - d6 0 1",
    // Diagonal pins, captures of the pinner, double checks, castling through
    // attacked squares and while in check.
    "4k3/8/8/8/1b6/8/3N4/R3K2R w KQ - 0 1",
    "4k3/8/8/8/8/5n2/8/4K2r w - - 0 1",
    "r3k2r/8/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K1rR w KQkq - 0 1",
    "4k3/8/8/1b6/8/3B4/8/5K2 w - - 0 1",
    "rnb1kbnr/pppp1ppp/8/4p3/5PPq/8/PPPPP2P/RNBQKBNR w KQkq - 1 3",
    // Discovered and double checks from castling and promotions.
    "8/8/8/8/8/8/8/R3K2k w Q - 0 1",
    "5k2/8/8/8/8/8/8/4K2R w K - 0 1",
    "2k5/4P3/8/8/8/8/8/4K3 w - - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    // En passant uncovering a check along the capture rank: the rook behind
    // both pawns is one checker, not two (white and black capturing).
    "8/1n6/6pp/R2pP2k/6pp/8/8/K7 w - d6 0 1",
    "k7/8/8/8/K2pP2r/8/1N6/8 b - e3 0 1",
    // ... along a diagonal through the captured pawn, alone and together
    // with a discovery through the capturer's square (a real double check).
    "6k1/8/8/3pP3/8/8/B7/4K3 w - d6 0 1",
    "B3R3/8/8/3pP3/4k3/8/8/K7 w - d6 0 1",
    "k7/8/8/4K3/3Pp3/8/8/b3r3 b - d3 0 1",
    // En passant by a pinned pawn: off the pin line (refused), along it.
    "4k2b/8/8/3pP3/8/8/8/K7 w - d6 0 1",
    "1b2k3/8/8/3pP3/8/8/7K/8 w - d6 0 1",
    "k3r3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
};

TEST(Legality, VerdictAndCheckDescriptorMatchPlainDefinition) {
    for (const char* fen : SPECIAL) {
        checkEveryCandidate(fen);
        if (HasFatalFailure()) return;
    }
    for (const std::string& fen : realGamePositions(SANITIZED ? 80 : 400, 99)) {
        checkEveryCandidate(fen);
        if (HasFatalFailure()) return;
    }
}

// Random positions built around en-passant captures, discovered checks,
// promotions and castling.
TEST(Legality, RandomPositionsAroundEnPassantAndDiscoveries) {
    const int count = SANITIZED ? 400 : 3000;
    Coverage  seen;
    for (const std::string& fen : enPassantPositions(count, 11)) {
        checkEveryCandidate(fen, &seen);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(seen.enPassantRefused, count / 50);
    EXPECT_GT(seen.enPassantChecks, count / 20);
    for (const std::string& fen : lineRichPositions(count, 12)) {
        checkEveryCandidate(fen, &seen);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(seen.doubleChecks, count / 50);
    EXPECT_GT(seen.castlingChecks, count / 100);
    EXPECT_GT(seen.promotionChecks, count / 50);
}

// Every reply, two plies deep, from positions rich in checks and pins.
TEST(Legality, TwoPlyTreesFromSpecialPositions) {
    for (const char* fen : SPECIAL) {
        setUpFen(fen);
        generateLegalCandidates();
        const std::uint32_t end = firstMove[1];
        for (std::uint32_t i = firstMove[0]; i < end; ++i) {
            if (!makeMove(moveStack[i].move)) continue;
            std::string next = currentFen();
            // Positions reached by a move keep their en-passant square in the FEN.
            unmakeMove();
            checkEveryCandidate(next);
            if (HasFatalFailure()) return;
            setUpFen(fen);
            generateLegalCandidates();
        }
    }
}

}  // namespace
