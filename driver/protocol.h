// driver/protocol.h: the xboard command interpreter and the requests it
// leaves for the game loop (the settings it shares with the search are in
// search/settings.h). While a search runs the interpreter only records
// requests and sets stopRequest; the board is changed by the game loop alone.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "game/state.h"
#include "search/settings.h"

// pendingCommand values: requests for the game loop.
constexpr std::uint32_t CMD_NONE     = 0;
constexpr std::uint32_t CMD_NEW      = 1;
constexpr std::uint32_t CMD_UNDO     = 2;
constexpr std::uint32_t CMD_GO       = 6;
constexpr std::uint32_t CMD_FORCE    = 7;
constexpr std::uint32_t CMD_SETBOARD = 9;
constexpr std::uint32_t CMD_ANALYZE  = 10;
constexpr std::uint32_t CMD_QUIT     = 11;
constexpr std::uint32_t CMD_SEARCH   = 12;  // UCI go: search the position, answer bestmove
constexpr std::uint32_t CMD_POSITION = 13;  // UCI position: set up the recorded position
constexpr std::uint32_t CMD_ROOT_MOVES = 14;  // exclude or include: restrict the analysed moves
constexpr std::uint32_t CMD_OPTION     = 15;  // option NAME=VALUE

struct PendingMove {
    std::int8_t from, to;   // -1: no move
    char        promotion;  // letter as typed, or 0
    char        word[128];  // as received, for "Illegal move"
};

extern char          engineName[16];
extern std::uint8_t  forceMode, analyzeMode;
extern std::uint32_t pendingCommand;
extern int           undoPlies;  // with CMD_UNDO: 1 for undo, 2 for remove
extern PendingMove   pendingMove;
extern char          setupText[128];

// Executes one input line (nullptr: none came; only clears pendingCommand).
void processCommand(const char* line);
// The recorded exclude/include and option requests, carried out between
// searches (the search threads read what they change).
void applyRootMoveRequest();
void applyOptionRequest();
// Sends the pong of a ping that arrived while the engine thought on its own
// move; the game loop calls it once that move has been sent (or given up).
void answerDeferredPing();
