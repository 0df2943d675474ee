// Incremental state against state rebuilt from scratch, over long random
// move sequences with null moves, and unmaking back bit for bit.
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "tests/board/random_positions.h"
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {

// Everything a set-up derives from the placement and the side to move.
struct Derived {
    std::uint8_t  board[65];
    std::uint8_t  links[64][8];  // nearestPiece of occupied squares, 0 elsewhere
    Bitboard      occupied, occupiedBy[2];
    std::uint8_t  kingSquare[2], pieceCount[2][6], pawnFileRanks[2][10];
    std::uint16_t material[2], menCount;
    std::uint8_t  side, xside, castleRights, epSquare;
    std::uint64_t hashKey;
    std::uint32_t pawnKey;
};

Derived derive() {
    Derived d;
    std::memset(&d, 0, sizeof d);
    std::memcpy(d.board, board, sizeof d.board);
    for (int s = 0; s < 64; ++s)
        if (board[s] != EMPTY) std::memcpy(d.links[s], nearestPiece[s], 8);
    d.occupied      = occupied;
    d.occupiedBy[0] = occupiedBy[0];
    d.occupiedBy[1] = occupiedBy[1];
    std::memcpy(d.kingSquare, kingSquare, sizeof d.kingSquare);
    std::memcpy(d.pieceCount, pieceCount, sizeof d.pieceCount);
    std::memcpy(d.pawnFileRanks, pawnFileRanks, sizeof d.pawnFileRanks);
    std::memcpy(d.material, material, sizeof d.material);
    d.menCount     = menCount;
    d.side         = side;
    d.xside        = xside;
    d.castleRights = castleRights;
    d.epSquare     = epSquare;
    d.hashKey      = hashKey;
    d.pawnKey      = pawnKey;
    return d;
}

// Full copy of the global position, for putting it back after a rebuild.
struct Saved {
    Derived       derived;
    std::uint8_t  nearest[65][8], fifty, plyNow;
    std::int16_t  gamePlyNow;
    HistoryRecord history[MAX_GAME_PLIES];
    std::uint16_t checks[MAX_GAME_PLIES];
};

void save(Saved& s) {
    s.derived = derive();
    std::memcpy(s.nearest, nearestPiece, sizeof s.nearest);
    s.fifty      = fiftyCount;
    s.plyNow     = ply;
    s.gamePlyNow = gamePly;
    std::memcpy(s.history, gameHistory, sizeof s.history);
    std::memcpy(s.checks, checkState, sizeof s.checks);
}

void restore(const Saved& s) {
    const Derived& d = s.derived;
    std::memcpy(board, d.board, sizeof d.board);
    std::memcpy(nearestPiece, s.nearest, sizeof s.nearest);
    occupied      = d.occupied;
    occupiedBy[0] = d.occupiedBy[0];
    occupiedBy[1] = d.occupiedBy[1];
    std::memcpy(kingSquare, d.kingSquare, sizeof d.kingSquare);
    std::memcpy(pieceCount, d.pieceCount, sizeof d.pieceCount);
    std::memcpy(pawnFileRanks, d.pawnFileRanks, sizeof d.pawnFileRanks);
    std::memcpy(material, d.material, sizeof d.material);
    menCount     = d.menCount;
    side         = d.side;
    xside        = d.xside;
    castleRights = d.castleRights;
    epSquare     = d.epSquare;
    hashKey      = d.hashKey;
    pawnKey      = d.pawnKey;
    fiftyCount   = s.fifty;
    ply          = s.plyNow;
    gamePly      = s.gamePlyNow;
    std::memcpy(gameHistory, s.history, sizeof s.history);
    std::memcpy(checkState, s.checks, sizeof s.checks);
}

void expectSameDerived(const Derived& a, const Derived& b, const std::string& where) {
    EXPECT_EQ(0, std::memcmp(a.board, b.board, sizeof a.board)) << where;
    for (int s = 0; s < 64; ++s)
        EXPECT_EQ(0, std::memcmp(a.links[s], b.links[s], 8)) << where << " links of square " << s;
    EXPECT_EQ(a.occupied, b.occupied) << where;
    EXPECT_EQ(a.occupiedBy[0], b.occupiedBy[0]) << where;
    EXPECT_EQ(a.occupiedBy[1], b.occupiedBy[1]) << where;
    EXPECT_EQ(0, std::memcmp(a.kingSquare, b.kingSquare, 2)) << where;
    EXPECT_EQ(0, std::memcmp(a.pieceCount, b.pieceCount, sizeof a.pieceCount)) << where;
    EXPECT_EQ(0, std::memcmp(a.pawnFileRanks, b.pawnFileRanks, sizeof a.pawnFileRanks)) << where;
    EXPECT_EQ(a.material[0], b.material[0]) << where;
    EXPECT_EQ(a.material[1], b.material[1]) << where;
    EXPECT_EQ(a.menCount, b.menCount) << where;
    EXPECT_EQ(a.side, b.side) << where;
    EXPECT_EQ(a.xside, b.xside) << where;
    EXPECT_EQ(a.castleRights, b.castleRights) << where;
    EXPECT_EQ(a.epSquare, b.epSquare) << where;
    EXPECT_EQ(a.hashKey, b.hashKey) << where;
    EXPECT_EQ(a.pawnKey, b.pawnKey) << where;
}

// Rebuilds the current position from its FEN and compares everything the
// rebuild derives, including what the check descriptors must agree on.
void checkAgainstRebuild(const std::string& where) {
    const Derived       incremental = derive();
    const std::uint16_t check       = checkState[gamePly];
    Saved               saved;
    save(saved);
    ASSERT_TRUE(setPositionFromFen(currentFen().c_str())) << where << " " << currentFen();
    const Derived       rebuilt      = derive();
    const std::uint16_t freshCheck   = computeCheckState();
    restore(saved);
    expectSameDerived(incremental, rebuilt, where);
    const bool inCheckNow = (check & 0xFF) < 64, inCheckFresh = (freshCheck & 0xFF) < 64;
    ASSERT_EQ(inCheckNow, inCheckFresh) << where;
    if (!inCheckNow) return;
    EXPECT_EQ(bool(check & CHECK_DOUBLE), bool(freshCheck & CHECK_DOUBLE)) << where;
    if (!(check & CHECK_DOUBLE)) {
        EXPECT_EQ(check & 0xFF, freshCheck & 0xFF) << where;
    }
}

const char* const STARTS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
};

TEST(IncrementalState, MatchesRebuildAlongRandomGamesAndUnmakesBitForBit) {
    std::mt19937 random(12345);
    const int    walks  = SANITIZED ? 10 : 60;
    const int    length = MAX_PLY - 4;  // the search's ply limit bounds a walk
    for (int walk = 0; walk < walks; ++walk) {
        setUpFen(STARTS[walk % 5]);
        Saved start;
        save(start);
        int made = 0;
        for (; made < length; ++made) {
            const std::string where = "walk " + std::to_string(walk) + " ply " + std::to_string(made);
            if (!inCheck() && random() % 8 == 0) {
                makeNullMove();
            } else {
                generateLegalCandidates();
                std::vector<Move> legal;
                for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
                    if (makeMove(moveStack[i].move)) {
                        legal.push_back(moveStack[i].move);
                        unmakeMove();
                    }
                if (legal.empty()) break;
                ASSERT_TRUE(makeMove(legal[random() % legal.size()]));
            }
            checkAgainstRebuild(where);
            if (HasFatalFailure()) return;
        }
        ASSERT_EQ(ply, made);
        while (ply > 0) unmakeMove();
        Saved end;
        save(end);
        expectSameDerived(start.derived, end.derived, "after unmaking walk " + std::to_string(walk));
        EXPECT_EQ(start.fifty, end.fifty);
        EXPECT_EQ(start.checks[0], end.checks[0]);
    }
}

// One move from positions built around en passant, discoveries, promotions
// and castling: what makeMove leaves, check descriptor included, equals a
// rebuild from the resulting FEN.
TEST(IncrementalState, EveryMoveFromRandomPositionsMatchesRebuild) {
    std::vector<std::string> starts = enPassantPositions(SANITIZED ? 150 : 800, 21);
    for (const std::string& fen : lineRichPositions(SANITIZED ? 150 : 800, 22)) starts.push_back(fen);
    for (const std::string& fen : starts) {
        setUpFen(fen);
        generateLegalCandidates();
        const std::uint32_t end = firstMove[1];
        for (std::uint32_t i = firstMove[0]; i < end; ++i) {
            if (!makeMove(moveStack[i].move)) continue;
            checkAgainstRebuild(fen + " after " + moveToCoord(moveStack[i].move));
            unmakeMove();
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
