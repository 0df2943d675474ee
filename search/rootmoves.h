// search/rootmoves.h: which root moves a search looks at, and how many best
// lines it reports. A GUI restricts the root for the position it set up
// (UCI searchmoves, xboard exclude and include); with MultiPV above 1 the
// main thread searches the k best moves each iteration, line i being the
// best move once the moves of lines 1..i-1 are left out. The driver sets
// both only while no search runs.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr int MAX_MULTI_PV = 256;
extern int multiPvLines;  // 1 .. MAX_MULTI_PV; 1 searches exactly as a plain search
void setMultiPvLines(long lines);  // clamped to that range

// The restriction belongs to the position it was made in (same key and game
// ply): at any other root every move is searched.
void clearRootFilter();  // every move (xboard "include all")
void excludeAllRootMoves();  // none, until moves are included one by one
void excludeRootMove(Move m);
void includeRootMove(Move m);
// Returns whether m, a legal move at the current position, is searched
// there; true when no restriction holds for this position.
bool rootMoveSearched(Move m);
bool rootFilterActive();  // a restriction holds for the current position
