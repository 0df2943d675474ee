// io/console.h: the console input channel and the millisecond clock, below
// the search and the protocols: the search reads the clock, the protocols the
// lines.
// Input is read from descriptor 0 below stdio, so poll() sees every byte;
// readInput never blocks unless asked to.
#pragma once
#include <cstdint>

// A UCI position command lists every move of the game on one line: room
// for the longest game the engine plays (GAME_PLY_LIMIT plies).
constexpr int INPUT_BUFFER_SIZE = 16384;
constexpr int INPUT_LINE_SIZE   = 8192;

extern char          inputLine[INPUT_LINE_SIZE];  // line last returned by readInput
extern bool          inputClosed;   // standard input has ended (or broke)
extern bool          inputPolling;  // false: the search never reads input (tools)
extern std::uint32_t timerOrigin;   // ms reading taken by startTimer

std::uint32_t inputAvailable();  // 0: nothing waiting; also > 0 once input has ended
// The next complete line without its line end, or nullptr: with block false
// when no complete line is buffered, with block true only at end of input.
// Lines longer than inputLine are cut; the rest of such a line is dropped.
const char*   readInput(bool block);
void          resetInput();  // forgets buffered bytes and an end of input (new stream)
void          startTimer();
std::uint32_t elapsedTime();  // ms since startTimer; wraps

// The compiler checks the arguments of our printf-like routines. MinGW's
// printf is the GNU one (C99 formats), which GCC there calls gnu_printf.
#if defined(_WIN32) && !defined(__clang__)
#define PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif

// printf to standard output, flushed at once: the GUI must see every line
// as soon as it is written.
void printAndFlush(const char* format, ...) PRINTF_LIKE(1, 2);

// Debug trace hook: accepts printf-style arguments and writes nothing.
void traceLog(const char* format, ...);
