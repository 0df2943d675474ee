// search/timecontrol.h: turning the clock settings into budgets, and the
// poll that every search node makes once per 65536 nodes. Times are in
// centiseconds.
#pragma once
#include <cstdint>

extern std::int32_t targetTime;   // soft budget of the current move
extern std::int32_t timeReserve;  // time kept back from the clock

// The search hears input only through this hook, which the protocol layer
// installs: called once at every poll, it may set stopRequest. Unset, the
// search hears nothing (tools, tests).
extern void (*pollHook)();

void allocateTime();
// Reads one pending input line, handles a ponder hit, and throws
// SearchStopped when the time is up or a stop was requested.
void checkTime();
