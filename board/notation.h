// board/notation.h: move text. Both output routines return a buffer of their
// own that the next call overwrites. SAN is read and written on the position
// before the move; no check signs are written, castling uses the digit zero.
#pragma once
#include "board/types.h"

const char* moveToCoord(Move m);  // e2e4, e7e8Q; the null move is a8a8
const char* moveToUci(Move m);    // e2e4, e7e8q: the UCI text; castling as the king's two squares
const char* moveToSan(Move m);    // e4, Nbd2, exd8=Q, 0-0-0
// Reads SAN into a move word as the generators would produce it; the caller
// must still find it in a generated list. False when the text is unusable.
bool parseSan(const char* text, Move* move);
// Reads a move in coordinates, "e2e4" or "e7e8q" (the promotion letter q, r,
// b or n in either case; castling as the king's two squares), into its
// squares and promotion letter (0: none). False for any other text: a word
// such as "eret" must not map onto squares by wrap-around.
bool readCoordinates(const char* text, int* from, int* to, char* promotion);
// Generates the moves at ply and returns the one from `from` to `to` that
// promotes to what the letter names (either case; 0: a move that promotes
// nothing), or 0 when there is none. Legality is the caller's to test.
Move findCoordinateMove(int from, int to, char promotion);
// The two together: the move coordinate text names, or 0.
Move findCoordinateText(const char* text);
