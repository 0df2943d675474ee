// driver/console.cpp: the poll that feeds input lines to the interpreter of
// the session's protocol, also on behalf of the search.
#include "driver/console.h"
#include "driver/protocol.h"
#include "driver/uci.h"

void pollCommands(bool block) {
    const char* line = inputPolling ? readInput(block) : nullptr;
    if (uciMode) {
        if (line) traceLog("CMD-> %s (%lu)\n", line, static_cast<unsigned long>(elapsedTime()));
        processUciCommand(line);
        return;
    }
    // Input has ended. The engine's own move under a time limit ends by
    // itself: it is finished and sent, and the idle loop then meets the end.
    // Any other search (analysis, pondering, no time limit) would never
    // stop, so for it the end counts as quit at once.
    const bool endsByItself = searching && !pondering && !analyzeMode && moveTime != 0;
    if (!line && inputPolling && inputClosed && !endsByItself) line = "quit";
    if (line) traceLog("CMD-> %s (%lu)\n", line, static_cast<unsigned long>(elapsedTime()));
    processCommand(line);
}

void pollInputDuringSearch() { pollCommands(false); }
