// board/setup.h: building the position from scratch, from the placement
// tables (normally the initial position) or from FEN text.
#pragma once
#include <cstdint>

// Placement used by resetPosition: colour and type per square, 6 when empty.
// They hold the initial position whenever no set-up is in progress.
extern std::uint8_t setupColour[64];
extern std::uint8_t setupType[64];

void resetPosition();  // white to move, all castling rights, counters 0
// Sets up a FEN position. Returns false and leaves the position untouched
// when any field is malformed or the board is one the engine cannot play
// (see setup.cpp). Trailing fields may be left out and keep their defaults:
// the board alone is white to move with every right, a side field alone
// gives no castling rights.
bool setPositionFromFen(const char* text);
void positionToFen(char* buffer);  // at most 85 characters and a NUL
