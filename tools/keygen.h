// tools/keygen.h: the generator that made the pieceKeys table in
// board/keys.cpp. Kept so the table can be checked and never has to be
// typed in again; running it must reproduce board/keys.cpp exactly.
#pragma once
#include <cstdint>
#include <cstdio>

void generatePieceKeys(std::uint64_t keys[768]);
void printPieceKeysSource(std::FILE* out);  // writes board/keys.cpp
