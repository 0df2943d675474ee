// tools/pgn.h: a small PGN move-text reader for the measurement tools and
// the tests (the opening book has its own reader with its own rules).
#pragma once
#include <string>
#include <vector>
#include "board/types.h"

// SAN tokens of each game's move text (comments, variations, move numbers,
// NAGs and results removed), at most maxGames games.
std::vector<std::vector<std::string>> readPgnGames(const std::string& path, int maxGames);

// The generated legal move that a SAN token names in the current position,
// or 0 when there is none.
Move findSanMove(const std::string& token);
