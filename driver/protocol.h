// driver/protocol.h: the xboard command interpreter and the settings and
// requests it shares with the game loop and the search. While a search runs
// the interpreter only records requests and sets stopRequest; the board is
// changed by the game loop alone.
#pragma once
#include <cstdint>
#include "board/types.h"

// engineOptions bits.
constexpr std::uint16_t OPTION_XBOARD            = 1;
constexpr std::uint16_t OPTION_POST              = 2;
constexpr std::uint16_t OPTION_PONDER            = 4;
constexpr std::uint16_t OPTION_LEARN             = 8;
constexpr std::uint16_t OPTION_RESIGN            = 16;
constexpr std::uint16_t OPTION_COMPUTER_OPPONENT = 32;

constexpr std::uint8_t NO_SIDE = 6;

// stopRequest values: what the running search is asked to do.
constexpr std::uint8_t STOP_NONE       = 0;
constexpr std::uint8_t STOP_MOVE_NOW   = 1;  // stop and play the best move so far
constexpr std::uint8_t STOP_ABORT      = 2;  // abandon: a command must be handled
constexpr std::uint8_t STOP_PONDER_HIT = 3;  // the predicted reply was played

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

struct PendingMove {
    std::int8_t from, to;   // -1: no move
    char        promotion;  // letter as typed, or 0
    char        word[128];  // as received, for "Illegal move"
};

extern std::uint16_t engineOptions;
extern char          engineName[16];
extern std::uint8_t  engineSide;  // WHITE, BLACK or NO_SIDE
extern std::uint8_t  forceMode, analyzeMode, pondering, searching;
extern std::uint8_t  stopRequest;
extern std::uint32_t pendingCommand;
extern int           undoPlies;  // with CMD_UNDO: 1 for undo, 2 for remove
extern PendingMove   pendingMove;
extern char          setupText[128];

// Time control; all times in centiseconds. Every clock figure is kept within
// +-CLOCK_LIMIT (about 11.5 days), far from the limits of 32-bit arithmetic.
constexpr std::int32_t CLOCK_LIMIT = 100000000;
extern std::int32_t  remainingTime[2];  // per colour, from time/otim
extern std::int32_t  levelBaseTime;
extern std::uint16_t levelMoves;        // moves per control, 0 = whole game
extern std::uint16_t levelIncrement;
extern std::uint16_t movesToGo;         // moves to the next control as the GUI counts them; 0: from levelMoves
extern std::int32_t  moveTime;          // budget the time control starts from; 0 = none
extern std::uint8_t  depthLimit;        // maximum iteration depth
extern std::int16_t  clockLag;          // time lost per move between engine and GUI, 20..200
extern std::int32_t  savedMoveTime;
extern std::uint8_t  savedDepthLimit;
extern bool          analysisTimeSaved;  // savedMoveTime/savedDepthLimit hold real values

// Executes one input line (nullptr: none came; only clears pendingCommand).
void processCommand(const char* line);
// Sends the pong of a ping that arrived while the engine thought on its own
// move; the game loop calls it once that move has been sent (or given up).
void answerDeferredPing();
