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

std::int16_t  lastScore;
std::uint32_t thinkStartTime;
