// board/notation.h: move text. Both output routines return a buffer of their
// own that the next call overwrites. SAN is read and written on the position
// before the move; no check signs are written, castling uses the digit zero.
#pragma once
#include "board/types.h"

const char* moveToCoord(Move m);  // e2e4, e7e8Q; the null move is a8a8
const char* moveToSan(Move m);    // e4, Nbd2, exd8=Q, 0-0-0
// Reads SAN into a move word as the generators would produce it; the caller
// must still find it in a generated list. False when the text is unusable.
bool parseSan(const char* text, Move* move);
