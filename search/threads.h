// search/threads.h: the search's helper threads. With more than one thread,
// helpers search the main thread's root on their own copies of the position
// (half of them one ply deeper) and share only the hash tables, which they
// fill ahead of the main thread. The main thread alone keeps the time, talks
// to the GUI and plays the move; a helper prints nothing and its results
// reach the game only through the tables. The pool starts its threads once
// and wakes them for every search, so a move costs no thread start.
#pragma once
#include <cstdint>

// At least 64, or every core the machine reports.
int maxSearchThreads();
// Threads a search uses, 1 (the main thread alone) .. maxSearchThreads().
extern int searchThreads;
// Clamped to that range; takes effect at the next search (a thread that
// cannot be started leaves the search with fewer).
void setSearchThreads(long threads);

// What a helper runs once woken, its position already the root's; it
// returns when it is done or stopped. Set by the search before a start.
extern void (*helperSearch)(int helper);
// The main thread at its root (ply 0), the search set up: the helpers start
// on a copy of its position.
void startHelpers();
// Every helper stopped and at rest when it returns.
void stopHelpers();

bool isHelperThread();
// A helper's poll: publishes its node count, and tells whether to stop.
bool helperMustStop(std::uint32_t nodes);
// Nodes of the search under way on every thread: the calling (main)
// thread's own, and the helpers' as last published.
std::uint64_t searchNodes();
