// game/result.cpp: mate, stalemate and the drawing rules at the end of a
// move, told in xboard's result line.
#include "game/result.h"
#include <cstdio>
#include "board/position.h"
#include "board/rules.h"
#include "game/state.h"
#include "io/console.h"

void announceResult() {
    char line[64] = "";
    if (firstLegalMove()) {
        if (repetitionCount() >= 2)
            std::snprintf(line, sizeof line, "1/2-1/2 {Draw by repetition}");
        else if (fiftyMovesPassed())
            std::snprintf(line, sizeof line, "1/2-1/2 {Draw by fifty move rule}");
        else if (insufficientMaterial())
            std::snprintf(line, sizeof line, "1/2-1/2 {Insufficient material}");
    } else if (!inCheck()) {
        std::snprintf(line, sizeof line, "1/2-1/2 {Stalemate}");
    } else {
        const char* comment = side == engineSide              ? "You win"
                              : (side ^ 1) == engineSide      ? "Computer wins"
                              : side == WHITE                 ? "Black wins"
                                                              : "White wins";
        std::snprintf(line, sizeof line, "%s {%s}", side == WHITE ? "0-1" : "1-0", comment);
    }
    if (line[0]) {
        gameOver = 1;
        printAndFlush("%s\n", line);
    }
}
