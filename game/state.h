// game/state.h: the state of the game being played that the book, the
// protocols and the game loop share: who plays which side, the move texts,
// the book's bookkeeping, and the reset that starts a new game.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr std::uint8_t NO_SIDE = 6;

// No move of the game (the user's, the engine's, a pondered reply) is made
// from this ply on, so that a search rooted anywhere up to it still has its
// MAX_PLY plies of history room.
constexpr int GAME_PLY_LIMIT = 736;
static_assert(GAME_PLY_LIMIT + MAX_PLY <= MAX_GAME_PLIES, "a search needs MAX_PLY records above its root");

extern std::uint8_t  gameOver;        // set: the engine does not move
extern std::uint8_t  resignCount;     // consecutive engine moves scored below -900
extern Move          ponderMove;      // the predicted reply being pondered, 0 = none
extern std::int16_t  lastMovePly;     // last move of the game record; -1 after a reset
extern std::int16_t  lastBookPly;     // gamePly of the engine's last book move
extern std::uint8_t  bookProbesLeft;  // the book is asked only while above 0
extern std::int16_t  postBookScores[5];  // scores of the first searched moves after the book
extern char          moveTextHistory[MAX_GAME_PLIES][8];  // SAN of the move made from each ply

extern std::uint8_t  engineSide;      // WHITE, BLACK or NO_SIDE

// Everything a new game resets except the position itself.
void resetGame();
void newGame();  // the initial position and resetGame
// Records the SAN of m, about to be made from gamePly, as its move text.
void recordMoveText(Move m);
// Adds "+" to the move text at `at` when the side now to move is in check.
void appendCheckSign(int at);
