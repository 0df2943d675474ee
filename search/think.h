// search/think.h: iterative deepening with an aspiration window and the root
// search, on top of the other search modules. Results stay in globals: the
// principal variation in pvTable row 0 (move to play, predicted reply, ...)
// and the score in lastScore.
#pragma once
#include <cstdint>

constexpr int ASPIRATION_WINDOW = 41;

void         think();
std::int16_t rootSearch(int alpha, int beta, int depth);
