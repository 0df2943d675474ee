// tools/perft.h: move-path enumeration for checking the move generator.
// Every node is made and taken back with makeMove / unmakeMove.
#pragma once
#include <cstdint>
#include <cstdio>

// The deepest perft the tools accept: the move stack holds 20 plies of 150
// moves, and a count that deep takes hours even with bare kings.
constexpr int PERFT_MAX_DEPTH = 20;

std::uint64_t perft(int depth);
// Prints one "move count" line per legal root move, then returns the total.
std::uint64_t perftDivide(int depth, std::FILE* out);
// Generates the side to move's candidate list at `ply`: evasions in check.
void generateLegalCandidates();
