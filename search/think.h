// search/think.h: iterative deepening with an aspiration window, the root
// search and the thinking lines. Results stay in globals: the principal
// variation in pvTable row 0 (move to play, predicted reply, ...) and the
// score in lastScore.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr int ASPIRATION_WINDOW = 41;

extern Move          pvTable[MAX_PLY][MAX_PLY];  // row p: the variation of the node at ply p, from index p
extern std::uint8_t  pvLength[MAX_PLY];
extern Move          savedPv[MAX_PLY + 1];       // row 0 of the last completed iteration, 0-terminated
extern std::int16_t  savedScore;
extern std::int16_t  iterationDepth, lastIterationDepth;  // plies
extern std::int16_t  rootAlpha, rootBeta, rootBestScore;
extern std::int16_t  rootMoveCount, legalRootMoves, rootMoveNumber;
extern std::uint8_t  rootFinished;  // no move to play, or the fifty-move rule applies
extern std::uint8_t  windowFailed;
extern std::int16_t  searchGamePly, expectedBalance;  // when the last non-ponder search began
extern std::int16_t  ponderGamePly, ponderBalance, ponderScore;
extern std::int8_t   recaptureSquare;  // obvious recapture expected there, or -1
extern std::int16_t  tbPieceLimit;     // largest menCount probed in the search; -2: none
extern std::uint32_t nodeCount;
extern char          thinkingLine[256];
// Where thinking lines go. Unset, the xboard line in thinkingLine is printed
// (under post); a protocol that speaks otherwise installs its own printer,
// which is called with the checked variation in pvTable row 0 (depth 0: a
// ponder hit repeats the last line).
extern void (*thinkingHook)(int depth, int score);

// Thrown by checkTime to leave the search in one step; only think catches.
struct SearchStopped {};

void         think();
std::int16_t rootSearch(int alpha, int beta, int depth);
void         printThinking(int depth, int score);
