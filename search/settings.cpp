// search/settings.cpp: the settings and requests shared by the protocols,
// the game loop, the search and the book, with their start-up values.
#include "search/settings.h"

std::uint16_t engineOptions = OPTION_XBOARD | OPTION_POST;
std::uint8_t  pondering, searching;
std::uint8_t  stopRequest;

std::int32_t  remainingTime[2];
std::int32_t  levelBaseTime = 500;
std::uint16_t levelMoves;
std::uint16_t levelIncrement;
std::uint16_t movesToGo;
std::int32_t  moveTime   = 500;
std::uint8_t  depthLimit = 64;
std::int16_t  clockLag   = 20;
std::int16_t  startingClockLag = 20;
std::uint64_t nodeLimit;

std::int16_t  lastScore;
std::uint32_t thinkStartTime;

// What analysis replaced, for endAnalysisLimits.
static std::int32_t savedMoveTime;
static std::uint8_t savedDepthLimit;
static bool         limitsSaved;

void setFixedMoveTime(std::int32_t centiseconds, std::uint8_t depth) {
    levelMoves     = 0;
    levelBaseTime  = 0;
    levelIncrement = 0;
    movesToGo      = 0;
    moveTime       = centiseconds;
    depthLimit     = depth;
    remainingTime[0] = remainingTime[1] = centiseconds;
}

void setFixedDepth(int depth) {
    setFixedMoveTime(0, std::uint8_t(depth > MAX_SET_DEPTH ? MAX_SET_DEPTH : depth < 1 ? 1 : depth));
}

void setClockControl(std::uint16_t moves, std::int32_t baseTime, std::uint16_t increment) {
    levelMoves     = moves;
    levelBaseTime  = baseTime;
    levelIncrement = increment;
    movesToGo      = 0;
    depthLimit     = 64;
    // A move may take up to twice its share of the control.
    moveTime         = moves ? 2 * std::int32_t(std::uint32_t(baseTime) / moves) : baseTime;
    remainingTime[0] = remainingTime[1] = baseTime;
}

void setClocksLeft(int mover, std::int32_t own, std::int32_t other, std::uint16_t increment, std::uint16_t toGo,
                   std::uint8_t depth) {
    remainingTime[mover]     = own;
    remainingTime[mover ^ 1] = other;
    levelIncrement           = increment;
    // The base time only has to be set (a zero would read as a fixed time a
    // move); with moves to go it caps a move at twice the clock's share.
    levelBaseTime = own > 0 ? own : 1;
    levelMoves    = toGo;
    movesToGo     = toGo;
    moveTime      = levelBaseTime;
    depthLimit    = depth;
}

void setClock(int colour, std::int32_t centiseconds) { remainingTime[colour] = centiseconds; }
void setClockLag(std::int16_t centiseconds) { clockLag = centiseconds; }
void setStartingClockLag(std::int16_t centiseconds) { clockLag = startingClockLag = centiseconds; }

void exchangeClocks() {
    const std::int32_t t = remainingTime[0];
    remainingTime[0]     = remainingTime[1];
    remainingTime[1]     = t;
}

// Summed in 64 bits and clamped: a long game of large controls would
// otherwise run the clock past 32 bits.
void chargeClock(int colour, std::uint32_t used, bool controlEnds) {
    std::int64_t clock = remainingTime[colour];
    clock -= used;
    if (controlEnds) clock += levelBaseTime;
    if (levelIncrement > 0) clock += levelIncrement;
    clock = clock < -CLOCK_LIMIT ? -CLOCK_LIMIT : clock > CLOCK_LIMIT ? CLOCK_LIMIT : clock;
    remainingTime[colour] = std::int32_t(clock);
}

void resetClocks() {
    remainingTime[0] = remainingTime[1] = levelBaseTime;
    clockLag         = startingClockLag;
}

void beginAnalysisLimits() {
    if (!limitsSaved) {
        savedMoveTime   = moveTime;
        savedDepthLimit = depthLimit;
        limitsSaved     = true;
    }
    moveTime   = 0;
    depthLimit = 60;
}

void endAnalysisLimits() {
    if (!limitsSaved) return;
    moveTime    = savedMoveTime;
    depthLimit  = savedDepthLimit;
    limitsSaved = false;
}
