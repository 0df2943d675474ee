// driver/gameloop.h: the engine's life in protocol mode: thinking, playing,
// pondering, analysing, applying the user's moves and announcing results.
#pragma once
#include <cstdint>
#include "board/types.h"

// No move of the game (the user's, the engine's, a pondered reply) is made
// from this ply on, so that a search rooted anywhere up to it still has its
// MAX_PLY plies of history room.
constexpr int GAME_PLY_LIMIT = 736;
static_assert(GAME_PLY_LIMIT + MAX_PLY <= MAX_GAME_PLIES, "a search needs MAX_PLY records above its root");

extern std::uint8_t  gameOver;        // set: the engine does not move
extern std::uint8_t  resignCount;     // consecutive engine moves scored below -900
extern std::int16_t  lastScore;       // score of the last finished search, engine's view
extern std::uint32_t thinkStartTime;  // ms timer reading when the current think began
extern Move          ponderMove;      // the predicted reply being pondered, 0 = none
extern std::int16_t  lastMovePly;     // last move of the game record; -1 after a reset
extern std::int16_t  lastBookPly;     // gamePly of the engine's last book move
extern std::uint8_t  bookProbesLeft;  // the book is asked only while above 0
extern std::int16_t  postBookScores[5];  // scores of the first searched moves after the book
extern char          moveTextHistory[MAX_GAME_PLIES][8];  // SAN of the move made from each ply

void newGame();
void runGameLoop();  // returns when quit is requested or input ends
void announceResult();
// Adds "+" to the move text at `at` when the side now to move is in check.
void appendCheckSign(int at);
// Whether neither side can mate by any sequence of legal moves.
bool insufficientMaterial();

// Debug trace hook: accepts printf-style arguments and writes nothing.
void traceLog(const char* format, ...);
