// search/ordering.h: move ordering. Scores live beside each move on the move
// stack; the node picks the best remaining one instead of sorting. History
// and killers learn during a search and are cleared at the start of each.
#pragma once
#include <cstdint>
#include "board/types.h"

extern THREAD_STATE std::uint32_t historyTable[64][64];     // [from][to]: depth-weighted success count
extern THREAD_STATE Move          killerMoves[MAX_PLY][2];  // per ply: killer 1, killer 2 (whole words)
extern THREAD_STATE std::uint8_t  followPv;                 // 1 while on the previous iteration's leftmost path

// Ordering score layers above the generator's scores.
constexpr std::int32_t SCORE_PV_MOVE   = 0x40000000;
constexpr std::int32_t SCORE_HASH_MOVE = 0x20000000;
constexpr std::int32_t SCORE_KILLER1   = 0x00C00000;
constexpr std::int32_t SCORE_KILLER2   = 0x00800000;

void clearOrderingTables();

// Best-scored move in [index, end of the ply's list); the entry at index is
// copied into its place. Never 0 on a non-empty range.
Move pickBestMove(std::uint32_t index);
// Drops exclude1/exclude2 from the rest of the list first; 0 when nothing
// scoring above -10000 remains.
Move pickNextMove(std::uint32_t index, Move exclude1, Move exclude2);
void markHashMove(Move move);  // first entry agreeing on bits 0-23
void markPvMove();             // the previous iteration's move at this ply
bool isKillerPlayable(Move move);
// Pseudo-legality of a stored hash move (before classification).
bool isHashMovePlayable(Move move);
// Quiet scores (history and piece-square) for a list from generateQuietMoves.
void scoreQuietMoves(Move killer2);
// The same for the quiet moves of a whole list from generateMoves or
// generateEvasions, with both killers marked; the generator's scores of
// captures and promotions stay.
void scoreMoveList();
