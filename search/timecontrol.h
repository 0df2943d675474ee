// search/timecontrol.h: turning the clock settings into budgets, and the
// poll that the search makes once per 65536 nodes (more often when a move
// has only a few tenths of a second). Times are in centiseconds.
#pragma once
#include <cstdint>
#include "board/types.h"

extern std::int32_t targetTime;   // soft budget of the current move
extern std::int32_t timeReserve;  // time kept back from the clock
// The search polls when the node count AND this mask is 0: every 65536
// nodes, every 4096 under a short budget, every 64 under a node limit.
extern THREAD_STATE std::uint32_t pollMask;

// The search hears input only through this hook, which the protocol layer
// installs: called once at every poll, it may set stopRequest. Unset, the
// search hears nothing (tools, tests).
extern void (*pollHook)();

// Thrown by checkTime to leave the search in one step; only think catches.
struct SearchStopped {};

void allocateTime();
// The poll interval of a search without a budget (or one of a second or
// more), or of a short budget; allocateTime sets it too.
void setPollInterval(bool shortBudget);
// Reads one pending input line, handles a ponder hit, and throws
// SearchStopped when the time is up or a stop was requested.
void checkTime();
