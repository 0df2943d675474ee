// eval/evaluate.h: static evaluation and its piece-square tables. Scores are
// centipawns; the tables are from each colour's own view.
#pragma once
#include <cstdint>

// [colour * 6 + type][square]; black tables mirror white ones by rank.
extern std::int8_t  pieceSquareTable[12][64];
extern std::uint8_t evaluationPhase;  // 1 middlegame, 2 endgame, 255 not chosen yet

extern const std::int8_t KING_ENDGAME_TABLE[64];  // white reads [s], black [s ^ 56]
extern const std::int8_t BISHOP_PAIR_BONUS[9];    // by the owner's pawn count

void initPieceSquareTables();  // start-up and every new game
