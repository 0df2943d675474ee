// search/thinking.h: the thinking lines, printed as the search finds a new
// best variation. The xboard line is built in thinkingLine; another protocol
// installs its own printer in thinkingHook.
#pragma once

extern char thinkingLine[256];
// With several best lines, the number (1 = best) of the one being printed;
// 0 in a plain search.
extern int thinkingLineNumber;
// Where thinking lines go. Unset, the xboard line in thinkingLine is printed
// (under post); a protocol that speaks otherwise installs its own printer,
// which is called with the checked variation in pvTable row 0 (depth 0: a
// ponder hit repeats the last line).
extern void (*thinkingHook)(int depth, int score);

// Checks pvTable row 0 move by move (cutting it at the first move that
// cannot be played), lengthens a short one from the hash table, and prints.
void printThinking(int depth, int score);
