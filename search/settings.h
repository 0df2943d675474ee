// search/settings.h: the engine's settings and the requests made of the
// search: options, the time control, the stop request and the state of the
// current search. The protocols and the game loop set them; the search and
// the book read them, so they live below all of those.
#pragma once
#include <cstdint>

// engineOptions bits.
constexpr std::uint16_t OPTION_XBOARD            = 1;
constexpr std::uint16_t OPTION_POST              = 2;
constexpr std::uint16_t OPTION_PONDER            = 4;
constexpr std::uint16_t OPTION_LEARN             = 8;
constexpr std::uint16_t OPTION_RESIGN            = 16;
constexpr std::uint16_t OPTION_COMPUTER_OPPONENT = 32;

// stopRequest values: what the running search is asked to do.
constexpr std::uint8_t STOP_NONE       = 0;
constexpr std::uint8_t STOP_MOVE_NOW   = 1;  // stop and play the best move so far
constexpr std::uint8_t STOP_ABORT      = 2;  // abandon: a command must be handled
constexpr std::uint8_t STOP_PONDER_HIT = 3;  // the predicted reply was played

extern std::uint16_t engineOptions;
extern std::uint8_t  pondering;  // the search runs on the predicted reply, without a time limit
extern std::uint8_t  searching;  // think is running
extern std::uint8_t  stopRequest;

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

extern std::int16_t  lastScore;       // score of the last finished search, engine's view
extern std::uint32_t thinkStartTime;  // ms timer reading when the current think began
