// driver/protocol.cpp: the xboard command interpreter.
#include "driver/protocol.h"
#include <cstring>

std::uint16_t engineOptions = 3;
char          engineName[16] = "Brix 1.0";
std::uint8_t  engineSide     = NO_SIDE;
std::uint8_t  forceMode, analyzeMode, pondering, searching;
std::uint8_t  stopRequest;
std::uint32_t pendingCommand;
int           undoPlies;
PendingMove   pendingMove = {-1, -1, 0, {0}};
char          setupText[128];

std::int32_t  remainingTime[2];
std::int32_t  levelBaseTime = 500;
std::uint16_t levelMoves;
std::uint16_t levelIncrement;
std::int32_t  moveTime   = 500;
std::uint8_t  depthLimit = 64;
std::int16_t  clockLag   = 20;
std::int32_t  savedMoveTime;
std::uint8_t  savedDepthLimit;
bool          analysisTimeSaved;

void processCommand(const char* line) {
    pendingCommand = CMD_NONE;
    if (!line) return;
    if (std::strcmp(line, "?") == 0 && searching && !pondering && !analyzeMode) {
        stopRequest = STOP_MOVE_NOW;
        return;
    }
    if (std::strcmp(line, "quit") == 0) pendingCommand = CMD_QUIT;
    stopRequest = STOP_ABORT;
}
