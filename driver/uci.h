// driver/uci.h: the UCI command interpreter, spoken when the first line of a
// session is "uci". Like the xboard interpreter it only parses, prints and
// records requests; the game loop decides what to search and when.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "io/console.h"

extern bool          uciMode;       // this session speaks UCI
extern bool          uciGoActive;   // a go is being served: from go until its bestmove
extern bool          uciInfinite;   // go infinite: bestmove only after stop
extern bool          uciPonderGo;   // go ponder: the search starts as a ponder search
extern bool          uciOwnBook;    // OwnBook: the book may choose the move

// Switches the session to UCI: thinking lines and book choices print as info.
void enterUciMode();
// Executes one input line (nullptr: none came; at the end of input it stops
// a search that would never end by itself).
void processUciCommand(const char* line);

// Sets up the position of the last position command; a bad FEN or move is
// reported and leaves the last sound position (the FEN's, or the one before
// the bad move).
void setUpUciPosition();

void printUciBestMove(Move move, Move reply);  // reply 0: none
void printUciInfoString(const char* format, ...) PRINTF_LIKE(1, 2);
