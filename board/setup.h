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
// when the board field is malformed or describes a position the engine
// cannot play (see setup.cpp). Missing later fields keep their defaults.
bool setPositionFromFen(const char* text);
void positionToFen(char* buffer);  // at most 85 characters and a NUL
