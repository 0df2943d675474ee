// driver/console.cpp: the reader of command lines and the poll that feeds
// them to the interpreter of the session's protocol, also on behalf of the
// search.
#include "driver/console.h"
#include "driver/protocol.h"
#include "driver/uci.h"

const char* readCommand(bool block) {
    const char* line = readInput(block);
    if (line) traceLog("CMD-> %s (%lu)\n", line, static_cast<unsigned long>(elapsedTime()));
    return line;
}

void interpretCommand(const char* line) {
    if (uciMode)
        processUciCommand(line);
    else
        processCommand(line);
}

void pollCommands(bool block) {
    const char* line = inputPolling ? readCommand(block) : nullptr;
    // Input has ended. The engine's own move under a time limit ends by
    // itself: it is finished and sent, and the idle loop then meets the end.
    // Any other search (analysis, pondering, no time limit) would never
    // stop, so for it the end counts as quit at once. A UCI search is
    // stopped by its interpreter.
    const bool endsByItself = searching && !pondering && !analyzeMode && moveTime != 0;
    if (!uciMode && !line && inputPolling && inputClosed && !endsByItself) line = "quit";
    interpretCommand(line);
}

void pollInputDuringSearch() { pollCommands(false); }
