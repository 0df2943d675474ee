// board/makemove.h: making and taking back moves. makeMove decides legality
// on the way and computes the new side's check descriptor from the move.
#pragma once
#include "board/types.h"

// Plays a pseudo-legal move (from generateEvasions when in check). Returns
// false, with the position unchanged, when the move leaves the mover's king
// attacked or is an impossible castling.
bool makeMove(Move m);
void unmakeMove();
void makeNullMove();  // only when the side to move is not in check
