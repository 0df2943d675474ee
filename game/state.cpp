// game/state.cpp: the shared game state and the new-game reset.
#include "game/state.h"
#include <cstdio>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "eval/evaluate.h"
#include "io/console.h"
#include "search/searchdata.h"
#include "search/settings.h"

std::uint8_t  gameOver;
std::uint8_t  resignCount;
Move          ponderMove;
std::int16_t  lastMovePly = -1;
std::int16_t  lastBookPly;
std::uint8_t  bookProbesLeft = 3;
std::int16_t  postBookScores[5];
char          moveTextHistory[MAX_GAME_PLIES][8];
std::uint8_t  engineSide = NO_SIDE;

void recordMoveText(Move m) {
    std::snprintf(moveTextHistory[gamePly], sizeof moveTextHistory[0], "%s", moveToSan(m));
}

void appendCheckSign(int at) {
    if (!inCheck() || at < 0 || at >= MAX_GAME_PLIES) return;
    char*             text = moveTextHistory[at];
    const std::size_t n    = std::strlen(text);
    if (n + 1 < sizeof moveTextHistory[0]) {
        text[n]     = '+';
        text[n + 1] = '\0';
    }
}

void resetGame() {
    startTimer();
    initPieceSquareTables();
    ply = 0;
    generateAllMoves();
    clearSearchState();
    engineOptions        = std::uint16_t(engineOptions & ~OPTION_COMPUTER_OPPONENT);
    gameOver             = 0;
    resignCount          = 0;
    lastBookPly          = 0;
    lastMovePly          = -1;
    resetClocks();
    engineSide           = NO_SIDE;
    bookProbesLeft       = 3;
}

void newGame() {
    resetPosition();
    resetGame();
}
