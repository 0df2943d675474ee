// search/searchdata.h: what the search keeps between its nodes and from one
// think to the next: the principal variations, the node count, the
// iteration and root statistics and the ply and balance each search began at.
// Every search file reads them; this module sits below all of them.
#pragma once
#include <atomic>
#include <cstdint>
#include "board/types.h"

extern THREAD_STATE Move          pvTable[MAX_PLY][MAX_PLY];  // row p: the variation of the node at ply p, from index p
extern THREAD_STATE std::uint8_t  pvLength[MAX_PLY];
extern THREAD_STATE Move          savedPv[MAX_PLY + 1];       // row 0 of the last completed iteration, 0-terminated
extern THREAD_STATE std::int16_t  savedScore;
extern THREAD_STATE std::int16_t  iterationDepth, lastIterationDepth;  // plies
extern THREAD_STATE std::int16_t  rootAlpha, rootBeta, rootBestScore;
extern THREAD_STATE std::int16_t  rootMoveCount, legalRootMoves, rootMoveNumber;
extern THREAD_STATE std::uint8_t  rootFinished;   // no move to play, or the fifty-move rule applies
extern THREAD_STATE std::uint8_t  windowFailed;
extern THREAD_STATE bool          rootListInUse;  // rootSearch walks the list at ply 0: nothing may generate there
// The hash tables' age stamp, which a ponder hit moves while helper threads
// store with it: atomic, so they read one value or the other.
extern std::atomic<std::int16_t> searchGamePly;  // when the last non-ponder search began
extern std::int16_t              expectedBalance;
extern std::int16_t  ponderGamePly, ponderBalance, ponderScore;
extern THREAD_STATE std::int8_t   recaptureSquare;  // obvious recapture expected there, or -1
extern THREAD_STATE std::int16_t  tbPieceLimit;     // largest menCount probed in the search; -2: none
extern THREAD_STATE std::uint32_t nodeCount;
extern THREAD_STATE std::uint8_t  selDepth;  // deepest ply this search reached, quiescence included

// Forgets what one think hands to the next (the variation, the scores, the
// ply and material balance the next search compares against, a pondering
// state), as before the first search of a game. The hash tables stay.
void clearSearchState();
