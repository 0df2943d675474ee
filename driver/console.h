// driver/console.h: the protocols' side of the console: the poll that hands
// input lines to the interpreter of the session's protocol. The channel and
// the clock themselves live below the search, in io/console.h.
#pragma once
#include "io/console.h"

// One line (if any) to the interpreter; with block false it never waits.
void pollCommands(bool block);
// The search's poll hook: pollCommands without waiting.
void pollInputDuringSearch();
