// tbmake/progress.h: what a long job (making, packing or checking tables)
// tells the person watching it, on standard error. A line that closes a step
// (a table made, a file packed) always gets a line of its own. Details
// (phases, passes, tenths of a phase) are, on a terminal, one status line
// rewritten in place; in a log, one a minute at most; with --verbose, every
// one on a line of its own.
#pragma once
#include <cstdio>
#include "io/console.h"

void setVerboseProgress(bool verbose);
bool verboseProgress();

void progressDetail(const char* format, ...) PRINTF_LIKE(1, 2);
void progressStep(const char* format, ...) PRINTF_LIKE(1, 2);
// Takes the status line off the terminal before other output goes there.
void clearProgressLine();
// printf to standard output, flushed, after clearing the status line.
void progressOutput(const char* format, ...) PRINTF_LIKE(1, 2);
