// search/searchdata.cpp: the search's shared data, its start-up values and
// the reset before a new game or measurement.
#include "search/searchdata.h"
#include "search/settings.h"

Move          pvTable[MAX_PLY][MAX_PLY];
std::uint8_t  pvLength[MAX_PLY];
Move          savedPv[MAX_PLY + 1];
std::int16_t  savedScore;
std::int16_t  iterationDepth, lastIterationDepth;
std::int16_t  rootAlpha, rootBeta, rootBestScore;
std::int16_t  rootMoveCount, legalRootMoves, rootMoveNumber;
std::uint8_t  rootFinished;
std::uint8_t  windowFailed;
bool          rootListInUse;
std::int16_t  searchGamePly, expectedBalance;
std::int16_t  ponderGamePly, ponderBalance, ponderScore;
std::int8_t   recaptureSquare = -1;
std::int16_t  tbPieceLimit    = -1;
std::uint32_t nodeCount;

void clearSearchState() {
    pvLength[0]        = 0;
    savedScore         = 0;
    lastIterationDepth = 0;
    searchGamePly      = 0;
    expectedBalance    = 0;
    lastScore          = 0;
    pondering          = 0;
}
