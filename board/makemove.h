// board/makemove.h: making and taking back moves. makeMove decides legality
// on the way and computes the new side's check descriptor from the move.
#pragma once
#include "board/types.h"

// Plays a pseudo-legal move (from generateEvasions when in check). Returns
// false, with the position unchanged, when the move leaves the mover's king
// attacked or is an impossible castling, and when the game history is full
// (the move and the check descriptor after it would not fit).
bool makeMove(Move m);
void unmakeMove();
// Whether m (0: no move) can be made here; the position stays as it is.
bool isLegalMove(Move m);
// Only when the side to move is not in check, and only inside a search,
// whose plies the game loop leaves room for in the history.
void makeNullMove();
