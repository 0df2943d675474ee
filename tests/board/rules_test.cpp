// The rules of the position core, case by case: keys, geometry, attack
// queries, generation order and scores, make/unmake details and FEN.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <set>
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "tests/test_support.h"
#include "tools/keygen.h"
#include "tools/perft.h"

namespace {

constexpr const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

// Finds a generated candidate by its squares (and promotion type).
Move findMove(const char* from, const char* to, int promotion = 0) {
    generateLegalCandidates();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) {
        const Move m = moveStack[i].move;
        if (moveFrom(m) == sq(from) && moveTo(m) == sq(to) && movePromotion(m) == promotion) return m;
    }
    return 0;
}

std::vector<MoveEntry> currentList() {
    return std::vector<MoveEntry>(moveStack + firstMove[ply], moveStack + firstMove[ply + 1]);
}

TEST(Keys, FixedEntriesDistinctValuesAndTheGeneratorReproducesTheTable) {
    EXPECT_EQ(pieceKeys[0], 0x6C23F4B8C0DD617Eull);
    EXPECT_EQ(pieceKeys[1], 0x2322E329222108AFull);
    EXPECT_EQ(pieceKeys[2], 0xB9FC2BA9248AFC98ull);
    EXPECT_EQ(pieceKeys[384], 0x1A4D582A8439BCFBull);
    EXPECT_EQ(pieceKeys[767], 0xA156FE313515BA7Dull);
    std::set<std::uint64_t> full(pieceKeys, pieceKeys + 768);
    std::set<std::uint32_t> low;
    for (std::uint64_t k : pieceKeys) low.insert(std::uint32_t(k));
    EXPECT_EQ(full.size(), 768u);
    EXPECT_EQ(low.size(), 768u);
    std::uint64_t regenerated[768];
    generatePieceKeys(regenerated);
    EXPECT_EQ(0, std::memcmp(regenerated, pieceKeys, sizeof regenerated));
}

TEST(Keys, KeySchemeOnTheInitialPositionAndAfterMoves) {
    setUpFen(START);
    std::uint64_t expected = sideKey;
    std::uint32_t pawns    = std::uint32_t(sideKey);
    for (int s = 0; s < 64; ++s) {
        if (board[s] == EMPTY) continue;
        expected ^= pieceKey(codeColour(board[s]), codeType(board[s]), s);
        if (codeType(board[s]) == PAWN) pawns ^= std::uint32_t(pieceKey(codeColour(board[s]), PAWN, s));
    }
    EXPECT_EQ(hashKey, expected);
    EXPECT_EQ(pawnKey, pawns);

    const std::uint64_t before = hashKey;
    ASSERT_TRUE(makeMove(findMove("e2", "e4")));
    EXPECT_EQ(epSquare, NO_EP);  // no black pawn beside e4
    EXPECT_EQ(hashKey, before ^ pieceKey(WHITE, PAWN, sq("e2")) ^ pieceKey(WHITE, PAWN, sq("e4")) ^ sideKey);

    const std::uint64_t key = hashKey;
    const std::uint32_t pk  = pawnKey;
    makeNullMove();
    EXPECT_EQ(hashKey, key ^ sideKey);
    EXPECT_EQ(pawnKey, pk);
    EXPECT_EQ(fiftyCount, 0);
    unmakeMove();
    EXPECT_EQ(hashKey, key);

    // Castling rights and en passant are not part of the key.
    setUpFen("r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1");
    const std::uint64_t withRights = hashKey;
    EXPECT_EQ(epSquare, sq("d6"));
    setUpFen("r3k2r/8/8/3pP3/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(hashKey, withRights);
}

TEST(Geometry, KnightTargetsLinesAndRaysOnChosenSquares) {
    const std::uint8_t a8[] = {std::uint8_t(sq("b6")), std::uint8_t(sq("c7")), 255};
    EXPECT_EQ(0, std::memcmp(knightTargets[sq("a8")], a8, 3));
    const std::uint8_t h1[] = {std::uint8_t(sq("g3")), std::uint8_t(sq("f2")), 255};
    EXPECT_EQ(0, std::memcmp(knightTargets[sq("h1")], h1, 3));
    const char* d5[] = {"e7", "c3", "f6", "b4", "c7", "e3", "b6", "f4"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(knightTargets[sq("d5")][i], sq(d5[i])) << i;
    EXPECT_EQ(knightTargets[sq("d5")][8], 255);
    EXPECT_EQ(lineDirection[sq("e1")][sq("e8")], NORTH);
    EXPECT_EQ(lineDirection[sq("e1")][sq("h4")], NORTH_EAST);
    EXPECT_EQ(lineDirection[sq("e1")][sq("f3")], -1);
    EXPECT_EQ(lineDirection[sq("e1")][sq("e1")], -1);
    EXPECT_EQ(nextSquare[sq("a4")][WEST], NO_SQUARE);
    EXPECT_EQ(nextSquare[sq("h4")][NORTH_EAST], NO_SQUARE);
    EXPECT_EQ(rayMask[sq("a1")][NORTH_EAST], squareBit[sq("b2")] | squareBit[sq("c3")] | squareBit[sq("d4")] |
                                                 squareBit[sq("e5")] | squareBit[sq("f6")] | squareBit[sq("g7")] |
                                                 squareBit[sq("h8")]);
    EXPECT_EQ(squareBit[0], 0x8000000000000000ull);
    EXPECT_EQ(squareBit[63], 1ull);
}

TEST(Attacks, QueriesFollowTheirOrderAndCountBatteries) {
    // Two kings on one file: each names the other in that direction only.
    setUpFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(board[64], EMPTY);
    for (int d = 0; d < 8; ++d) {
        EXPECT_EQ(nearestPiece[sq("e1")][d], d == NORTH ? sq("e8") : NO_SQUARE) << d;
        EXPECT_EQ(nearestPiece[sq("e8")][d], d == SOUTH ? sq("e1") : NO_SQUARE) << d;
    }
    // Pawns are tried first.
    setUpFen("4k3/8/8/8/8/8/3p4/r3K3 w - - 0 1");
    EXPECT_EQ(findAttacker(sq("e1"), BLACK), sq("d2"));
    EXPECT_EQ(checkState[0] & 0xFF, sq("d2"));
    // Rook with queen and rook behind on the file: 3; a white man between
    // them ends the count after the first.
    setUpFen("3rk3/3q4/3r4/8/8/8/3N4/4K3 w - - 0 1");
    EXPECT_EQ(countAttackers(sq("d2"), BLACK), 3);
    setUpFen("3rk3/3q4/3B4/3r4/8/8/3N4/4K3 w - - 0 1");
    EXPECT_EQ(countAttackers(sq("d2"), BLACK), 1);
    // A pawn counts with the bishops behind it on its diagonal.
    setUpFen("4k3/8/8/8/8/2b5/3p4/4K3 w - - 0 1");
    EXPECT_EQ(countAttackers(sq("e1"), BLACK), 2);
    // Battery behind the checker is not a second checker; knight plus bishop is.
    setUpFen("4r3/4q3/8/8/8/8/8/k3K3 w - - 0 1");
    EXPECT_EQ(checkState[0], sq("e7"));
    setUpFen("k7/8/8/8/7b/5n2/8/4K3 w - - 0 1");
    EXPECT_TRUE(checkState[0] & CHECK_DOUBLE);
    EXPECT_LT(checkState[0] & 0xFF, 64);
    // Attack balance.
    setUpFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(attackBalanceScan(sq("d4"), WHITE), 0);
    // A white pawn attacked by one black knight only.
    setUpFen("4k3/8/8/8/5n2/3P4/8/7K w - - 0 1");
    EXPECT_EQ(attackBalance(sq("d3"), WHITE), -1);
    EXPECT_EQ(attackBalance(sq("d3"), BLACK), 1);
}

TEST(Generation, OrderScoresAndSpecialMoves) {
    setUpFen(START);
    generateMoves();
    auto list = currentList();
    ASSERT_EQ(list.size(), 20u);
    EXPECT_EQ(list[0].move, makeMoveWord(sq("a2"), sq("a3"), GEN_PAWN));
    EXPECT_EQ(list[1].move, makeMoveWord(sq("a2"), sq("a4"), GEN_PAWN | GEN_DOUBLE_PUSH));
    generateQuietMoves();
    EXPECT_EQ(currentList().size(), 20u);
    generateCaptures();
    EXPECT_EQ(currentList().size(), 0u);

    // A pawn capturing onto the last row: four promotions, queen first.
    setUpFen("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    generateCaptures();
    list = currentList();
    std::vector<MoveEntry> captures;
    for (const auto& e : list)
        if (e.move & MOVE_CAPTURE) captures.push_back(e);
    ASSERT_EQ(captures.size(), 4u);
    const int rookVictim = ROOK;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(movePromotion(captures[i].move), QUEEN - i);
        EXPECT_EQ(captures[i].score, 0x2000000 + 8 * (QUEEN - i) + 8 + rookVictim);
        EXPECT_EQ(captures[i].move & 0xFF000000u, MOVE_PAWN | MOVE_CAPTURE | MOVE_PROMOTION);
    }

    // En passant: d5xe6 first, then f5xe6.
    setUpFen("4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1");
    generateCaptures();
    list = currentList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].move, 0x15000000u | Move(sq("e6")) << 6 | Move(sq("d5")));
    EXPECT_EQ(list[1].move, 0x15000000u | Move(sq("e6")) << 6 | Move(sq("f5")));
    EXPECT_EQ(list[0].score, 0x2000008);

    // MVV/LVA.
    setUpFen("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
    generateCaptures();
    ASSERT_EQ(currentList().size(), 1u);
    EXPECT_EQ(currentList()[0].score, 0x2000000 + 40);

    // Castling is generated in check; makeMove refuses it.
    setUpFen("4k3/8/8/8/8/8/8/4K2r w K - 0 1");
    EXPECT_EQ(castleRights, 0);  // no rook on h1: the right cannot exist
    setUpFen("4k3/8/8/8/8/8/4r3/4K2R w K - 0 1");
    generateMoves();
    bool castles = false;
    for (const auto& e : currentList()) castles |= (e.move & MOVE_CASTLE) != 0;
    EXPECT_TRUE(castles);
    EXPECT_FALSE(makeMove(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)));

    // Double check: only king moves and captures of the recorded checker.
    setUpFen("4k3/8/8/8/8/5n2/1Q6/4K2r w - - 0 1");
    ASSERT_TRUE(checkState[0] & CHECK_DOUBLE);
    generateEvasions();
    for (const auto& e : currentList())
        EXPECT_TRUE(moveFrom(e.move) == sq("e1") || moveTo(e.move) == (checkState[0] & 0xFF)) << std::hex << e.move;
}

TEST(MakeMove, RefusalsCountersAndCheckDescriptors) {
    // Castling through an attacked square, and to a non-castling square.
    setUpFen("4k3/8/8/8/8/8/5r2/4K2R w K - 0 1");
    EXPECT_FALSE(makeMove(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)));
    setUpFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_FALSE(makeMove(makeMoveWord(sq("e1"), sq("f1"), GEN_CASTLE)));
    const std::uint8_t fifty = fiftyCount;
    ASSERT_TRUE(makeMove(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)));
    EXPECT_EQ(fiftyCount, fifty + 1);
    EXPECT_EQ(board[sq("f1")], pieceCode(WHITE, ROOK));
    unmakeMove();

    // A diagonal pin: the bishop may only stay on the diagonal.
    setUpFen("4k3/8/8/8/1b6/8/3B4/4K3 w - - 0 1");
    EXPECT_FALSE(makeMove(findMove("d2", "e3")));
    EXPECT_TRUE(makeMove(findMove("d2", "c3")));
    unmakeMove();
    EXPECT_TRUE(makeMove(findMove("d2", "b4")));
    EXPECT_EQ(fiftyCount, 0);
    unmakeMove();

    // En passant along the fifth rank toward the king is refused.
    setUpFen("4k3/3p4/8/K3P2r/8/8/8/8 b - - 0 1");
    ASSERT_TRUE(makeMove(findMove("d7", "d5")));
    EXPECT_EQ(epSquare, sq("d6"));
    EXPECT_FALSE(makeMove(findMove("e5", "d6")));

    // Discovered check by a rook; double check when the bishop also checks.
    setUpFen("4k3/8/8/8/8/8/4B3/4RK2 w - - 0 1");
    ASSERT_TRUE(makeMove(findMove("e2", "f3")));
    EXPECT_EQ(checkState[gamePly], sq("e1"));
    unmakeMove();
    setUpFen("4k3/8/8/8/8/8/4B3/4RK2 w - - 0 1");
    ASSERT_TRUE(makeMove(findMove("e2", "b5")));
    EXPECT_EQ(checkState[gamePly], sq("b5") | CHECK_DOUBLE);
    unmakeMove();

    // Castling that gives check along the file, and through the vacated e1.
    setUpFen("8/8/8/8/5k2/8/8/4K2R w K - 0 1");
    ASSERT_TRUE(makeMove(findMove("e1", "g1")));
    EXPECT_EQ(checkState[gamePly], sq("f1"));
    setUpFen("8/8/8/8/8/8/8/2k1K2R w K - 0 1");
    ASSERT_TRUE(makeMove(findMove("e1", "g1")));
    EXPECT_EQ(checkState[gamePly], sq("f1"));

    // A double push sets epSquare only with an enemy pawn beside it.
    setUpFen("4k3/8/8/8/1p6/8/P7/4K3 w - - 0 1");
    ASSERT_TRUE(makeMove(findMove("a2", "a4")));
    EXPECT_EQ(epSquare, sq("a3"));
    setUpFen("4k3/8/8/8/7p/8/P7/4K3 w - - 0 1");
    ASSERT_TRUE(makeMove(findMove("a2", "a4")));
    EXPECT_EQ(epSquare, NO_EP);

    // In double check after a set-up, only the king may move.
    setUpFen("4k3/8/8/8/8/5n2/1Q6/4K2r w - - 0 1");
    EXPECT_FALSE(makeMove(findMove("b2", "h8")));
}

TEST(Fen, ReadingWritingAndRefusals) {
    setUpFen(START);
    EXPECT_EQ(menCount, 32);
    EXPECT_EQ(material[WHITE], 3100);
    EXPECT_EQ(material[BLACK], 3100);
    EXPECT_EQ(pieceCount[WHITE][PAWN], 8);
    EXPECT_EQ(kingSquare[WHITE], 60);
    EXPECT_EQ(kingSquare[BLACK], 4);
    EXPECT_EQ(castleRights, 15);
    EXPECT_EQ(checkState[0], CHECK_NONE);
    EXPECT_EQ(currentFen(), START);
    const std::uint64_t whiteKey = hashKey;
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_EQ(hashKey, whiteKey ^ sideKey);

    // A board field of seven rows leaves the position unchanged.
    const std::string before = currentFen();
    EXPECT_FALSE(setPositionFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1"));
    EXPECT_FALSE(setPositionFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN9 w - - 0 1"));
    EXPECT_EQ(currentFen(), before);

    // Castling letters in any order; hyphen; missing fields.
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w qkQK - 0 1");
    EXPECT_EQ(castleRights, 15);
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(castleRights, 0);
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R");
    EXPECT_EQ(castleRights, 15);
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w");
    EXPECT_EQ(castleRights, 0);

    // En-passant square: kept when the pushed pawn is there, else dropped.
    setUpFen("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    EXPECT_EQ(epSquare, 44);
    setUpFen("4k3/8/8/8/4P3/8/8/4K3 b - - 0 1");
    EXPECT_EQ(epSquare, NO_EP);
    setUpFen("4k3/8/8/8/8/8/8/4K3 b - e3 0 1");
    EXPECT_EQ(epSquare, NO_EP);
    // The push could not have been played: the white king stood in check.
    setUpFen("8/5bk1/8/2Pp4/8/1K6/8/8 w - d6 0 1");
    EXPECT_EQ(epSquare, NO_EP);

    // Positions the engine cannot play are refused.
    EXPECT_FALSE(setPositionFromFen("8/8/8/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_FALSE(setPositionFromFen("4k3/8/8/8/8/8/8/3KK3 w - - 0 1"));
    EXPECT_FALSE(setPositionFromFen("4k3/8/8/8/8/8/8/P3K3 w - - 0 1"));
    EXPECT_FALSE(setPositionFromFen("3Pk3/8/8/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_FALSE(setPositionFromFen("4k3/8/8/8/8/8/8/r3K3 b - - 0 1"));  // white in check, black to move
    EXPECT_FALSE(setPositionFromFen("4k3/8/8/8/8/QQQQQQQQ/QQQQQQQQ/4K3 w - - 0 1"));
    EXPECT_EQ(currentFen(), "8/5bk1/8/2Pp4/8/1K6/8/8 w - - 0 1");

    // The placement tables hold the initial position again afterwards.
    resetPosition();
    EXPECT_EQ(currentFen(), START);
}

}  // namespace
