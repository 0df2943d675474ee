// driver/gameloop.cpp: the game loop.
#include "driver/gameloop.h"

std::uint8_t  gameOver;
std::int16_t  lastScore;
std::uint32_t thinkStartTime;
Move          ponderMove;
std::int16_t  lastMovePly = -1;
std::int16_t  lastBookPly;
std::int16_t  postBookScores[5];
char          moveTextHistory[MAX_GAME_PLIES][8];

void traceLog(const char*, ...) {}
