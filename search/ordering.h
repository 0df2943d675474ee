// search/ordering.h: the tables that learn move order during a search.
// Both are cleared at the start of every search; the move generator reads
// them for the initial scores of quiet moves.
#pragma once
#include <cstdint>
#include "board/types.h"

extern std::uint32_t historyTable[64][64];     // [from][to]: depth-weighted success count
extern Move          killerMoves[MAX_PLY][2];  // per ply: killer 1, killer 2 (whole words)

void clearOrderingTables();
