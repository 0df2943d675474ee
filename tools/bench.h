// tools/bench.h: fixed-depth search benchmark and EPD test-suite runner.
#pragma once
#include <cstdint>
#include <cstdio>

// Searches the built-in positions to `depth` with fresh tables; prints one
// line per position when out is not null. Returns the total node count.
std::uint64_t runBench(int depth, std::FILE* out);
// Resets the search and evaluation state as a new game would.
void resetSearchState();
// Searches the current position to `depth` plies or for `centiseconds`
// (0: no time limit) as sd and st would, with the clock started now.
void runSearch(int depth, std::int32_t centiseconds);
// The bench positions under what analysts set: a node limit (0: none), a
// time a position in centiseconds (0: none) and MultiPV lines; prints one
// line per position (nodes searched, depth reached, move) and a summary.
void runLimitBench(std::uint64_t nodes, std::int32_t centiseconds, int lines, std::FILE* out);
// Runs the suite at `seconds` a position; returns the number solved.
int runEpdSuite(const char* path, double seconds, std::FILE* out, int* total);
