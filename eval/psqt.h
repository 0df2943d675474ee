// eval/psqt.h: the piece-square tables, from each colour's own view. The
// evaluation's terms and the search's move ordering read them; they depend
// on nothing else in eval/.
#pragma once
#include <cstdint>

// [colour * 6 + type][square]; black tables mirror white ones by rank.
extern std::int8_t pieceSquareTable[12][64];

extern const std::int8_t KING_ENDGAME_TABLE[64];  // white reads [s], black [s ^ 56]

void fillPieceSquareTables();  // by initPieceSquareTables
