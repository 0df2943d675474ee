// driver/engineturn.h: the engine's turn in either protocol: choosing its
// move (book or search), then playing it and pondering (xboard) or naming it
// in bestmove (UCI). The game loop calls these between commands.
#pragma once

// xboard: returns after the engine's move (and any ponder search that
// followed it), or when the search was abandoned for a command.
void engineTurn();
// UCI go: returns once bestmove has been sent.
void uciTurn();
