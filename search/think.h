// search/think.h: iterative deepening with an aspiration window, the root
// search and the thinking lines. Results stay in globals: the principal
// variation in pvTable row 0 (move to play, predicted reply, ...) and the
// score in lastScore.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr int ASPIRATION_WINDOW = 41;

extern char          thinkingLine[256];
// Where thinking lines go. Unset, the xboard line in thinkingLine is printed
// (under post); a protocol that speaks otherwise installs its own printer,
// which is called with the checked variation in pvTable row 0 (depth 0: a
// ponder hit repeats the last line).
extern void (*thinkingHook)(int depth, int score);

void         think();
std::int16_t rootSearch(int alpha, int beta, int depth);
void         printThinking(int depth, int score);
