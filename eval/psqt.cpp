// eval/psqt.cpp: the piece-square tables. Tables read rank 8 first.
#include "eval/psqt.h"
#include <cstring>
#include "board/types.h"

std::int8_t pieceSquareTable[12][64];

static constexpr std::int8_t PAWN_TABLE[64] = {
    0, 0,  0,  0,   0,   0,  0,  0,  //
    5, 10, 15, 20,  20,  15, 10, 5,  //
    4, 8,  12, 16,  16,  12, 8,  4,  //
    3, 6,  9,  12,  12,  9,  6,  3,  //
    2, 4,  6,  8,   8,   6,  4,  2,  //
    1, 2,  3,  -8,  -8,  3,  2,  1,  //
    0, 0,  0,  -20, -20, 0,  0,  0,  //
    0, 0,  0,  0,   0,   0,  0,  0,
};
static constexpr std::int8_t KNIGHT_TABLE[64] = {
    -7,  -6,  -5, -4, -4, -5, -6,  -7,   //
    -6,  -4,  0,  2,  2,  0,  -4,  -6,   //
    -5,  0,   10, 12, 12, 10, 0,   -5,   //
    -4,  0,   9,  12, 12, 9,  0,   -4,   //
    -5,  0,   8,  12, 12, 8,  0,   -5,   //
    -6,  0,   8,  8,  8,  8,  0,   -6,   //
    -8,  -4,  0,  0,  0,  0,  -4,  -8,   //
    -10, -10, -8, -8, -8, -8, -10, -10,
};
static constexpr std::int8_t BISHOP_TABLE[64] = {
    -4, -2, -2, -2, -2, -2, -2, -4,  //
    -2, 2,  2,  2,  2,  2,  2,  -2,  //
    -2, 2,  6,  8,  8,  6,  2,  -2,  //
    -2, 2,  5,  8,  8,  5,  2,  -2,  //
    -2, 0,  4,  8,  8,  4,  0,  -2,  //
    -2, 0,  3,  4,  4,  3,  0,  -2,  //
    -2, 4,  0,  2,  2,  0,  4,  -2,  //
    -4, -4, -4, -4, -4, -4, -4, -4,
};
static constexpr std::int8_t QUEEN_TABLE[64] = {
    -6, -3, 0, 0, 0, 0, -3, -6,  //
    -6, 0,  2, 2, 2, 2, 0,  -6,  //
    -6, 2,  6, 6, 6, 6, 2,  -6,  //
    -6, 2,  5, 8, 8, 5, 2,  -6,  //
    -4, 2,  4, 8, 8, 4, 2,  -4,  //
    -4, 2,  3, 4, 4, 3, 2,  -4,  //
    -4, 0,  2, 2, 2, 2, 0,  -4,  //
    0,  0,  0, 0, 0, 0, 0,  0,
};
static constexpr std::int8_t KING_TABLE[64] = {
    -40, -40, -40, -40, -40, -40, -40, -40,  //
    -40, -40, -40, -40, -40, -40, -40, -40,  //
    -40, -40, -40, -40, -40, -40, -40, -40,  //
    -40, -40, -40, -40, -40, -40, -40, -40,  //
    -32, -32, -32, -32, -32, -32, -32, -32,  //
    -16, -16, -16, -16, -16, -16, -16, -16,  //
    -4,  -6,  -8,  -8,  -8,  -8,  -6,  -4,   //
    -4,  0,   -4,  -8,  -8,  -8,  0,   -4,
};
const std::int8_t KING_ENDGAME_TABLE[64] = {
    0,  5,  10, 15, 15, 10, 5,  0,   //
    5,  10, 15, 20, 20, 15, 10, 5,   //
    10, 15, 20, 25, 25, 20, 15, 10,  //
    15, 20, 25, 30, 30, 25, 20, 15,  //
    15, 20, 25, 30, 30, 25, 20, 15,  //
    10, 15, 20, 25, 25, 20, 15, 10,  //
    5,  10, 15, 20, 20, 15, 10, 5,   //
    0,  5,  10, 15, 15, 10, 5,  0,
};

void fillPieceSquareTables() {
    std::memset(pieceSquareTable, 0, sizeof pieceSquareTable);
    const std::int8_t* source[6] = {PAWN_TABLE, KNIGHT_TABLE, BISHOP_TABLE, nullptr, QUEEN_TABLE, KING_TABLE};
    for (int type = PAWN; type <= KING; ++type) {
        if (!source[type]) continue;  // rooks have no square preferences
        for (int s = 0; s < 64; ++s) {
            pieceSquareTable[WHITE * 6 + type][s] = source[type][s];
            pieceSquareTable[BLACK * 6 + type][s] = source[type][s ^ 56];
        }
    }
}
