// search/searchdata.cpp: the search's shared data, its start-up values and
// the reset before a new game or measurement.
#include "search/searchdata.h"
#include "search/settings.h"

thread_local Move          pvTable[MAX_PLY][MAX_PLY];
thread_local std::uint8_t  pvLength[MAX_PLY];
thread_local Move          savedPv[MAX_PLY + 1];
thread_local std::int16_t  savedScore;
thread_local std::int16_t  iterationDepth, lastIterationDepth;
thread_local std::int16_t  rootAlpha, rootBeta, rootBestScore;
thread_local std::int16_t  rootMoveCount, legalRootMoves, rootMoveNumber;
thread_local std::uint8_t  rootFinished;
thread_local std::uint8_t  windowFailed;
thread_local bool          rootListInUse;
std::atomic<std::int16_t> searchGamePly{0};
std::int16_t              expectedBalance;
std::int16_t  ponderGamePly, ponderBalance, ponderScore;
thread_local std::int8_t   recaptureSquare = -1;
thread_local std::int16_t  tbPieceLimit    = -1;
thread_local std::uint32_t nodeCount;
thread_local std::uint8_t  selDepth;

void clearSearchState() {
    pvLength[0]        = 0;
    savedScore         = 0;
    lastIterationDepth = 0;
    searchGamePly      = 0;
    expectedBalance    = 0;
    lastScore          = 0;
    pondering          = 0;
}
