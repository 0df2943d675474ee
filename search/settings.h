// search/settings.h: the engine's settings and the requests made of the
// search: options, the time control, the stop request and the state of the
// current search. The protocols and the game loop set them; the search and
// the book read them, so they live below all of those. The time control is
// written only through the routines below (and the search's own budget).
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
// The lag assumed before the GUI's clock reports measure one (xboard), or
// all along where nothing measures it (UCI's Move Overhead).
extern std::int16_t  startingClockLag;
// Nodes a search may visit, all threads together (0: no limit); checked
// every 64 nodes once the first iteration, which always finishes, is done.
extern std::uint64_t nodeLimit;

// The deepest limit a command may set; 0 would leave a search without a
// single iteration, so the least is 1.
constexpr int MAX_SET_DEPTH = 56;

// No clock: centiseconds a move (0: no time limit) and at most depth plies.
void setFixedMoveTime(std::int32_t centiseconds, std::uint8_t depth = 64);
// No clock and no time limit: depth plies, cut to 1..MAX_SET_DEPTH.
void setFixedDepth(int depth);
// moves per control (0: the whole game), base time and increment (cs); both
// clocks start at the base, and only time limits the depth.
void setClockControl(std::uint16_t moves, std::int32_t baseTime, std::uint16_t increment);
// The clocks as a GUI reports them before each move: own (the side to move,
// mover) and other time left, the increment and the moves to the next
// control (0: the rest of the game), all times in cs.
void setClocksLeft(int mover, std::int32_t own, std::int32_t other, std::uint16_t increment, std::uint16_t toGo,
                   std::uint8_t depth);
void setClock(int colour, std::int32_t centiseconds);  // one side's time left
void setClockLag(std::int16_t centiseconds);
void setStartingClockLag(std::int16_t centiseconds);  // and the lag itself
void exchangeClocks();  // the engine takes over the other side, and its clock
// After a move that took used cs: the time off the colour's clock, the
// control's base added when controlEnds, and the increment.
void chargeClock(int colour, std::uint32_t used, bool controlEnds);
void resetClocks();  // new game: both clocks at the base time, the lag at its first guess
// Analysis searches without a time limit to depth 60. The limits it
// replaces come back with endAnalysisLimits; a second begin before that
// keeps the first's.
void beginAnalysisLimits();
void endAnalysisLimits();  // nothing when no limits were kept

extern std::int16_t  lastScore;       // score of the last finished search, engine's view
extern std::uint32_t thinkStartTime;  // ms timer reading when the current think began
