// driver/console.h: the protocols' side of the console: the one reader of
// command lines and the poll that hands them to the interpreter of the
// session's protocol. The channel and the clock themselves live below the
// search, in io/console.h.
#pragma once
#include "io/console.h"

// The next command line, as readInput returns it (nullptr: none complete, or
// with block true the end of input), traced for debugging.
const char* readCommand(bool block);
// Hands a line (nullptr: none came) to the interpreter of the session's protocol.
void interpretCommand(const char* line);
// One line (if any) to the interpreter; with block false it never waits.
void pollCommands(bool block);
// The search's poll hook: pollCommands without waiting.
void pollInputDuringSearch();
