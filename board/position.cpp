// board/position.cpp: storage of the global position. The routines that
// change it live in setup.cpp (set-up) and makemove.cpp (moves).
#include "board/position.h"

std::uint8_t  board[65];
std::uint8_t  nearestPiece[65][8];
Bitboard      occupied;
Bitboard      occupiedBy[2];
std::uint8_t  kingSquare[2];
std::uint8_t  pieceCount[2][6];
std::uint16_t material[2];
std::uint16_t menCount;
std::uint8_t  pawnFileRanks[2][10];
std::uint8_t  side;
std::uint8_t  xside;
std::uint8_t  castleRights;
std::uint8_t  epSquare = NO_EP;
std::uint8_t  fiftyCount;
std::uint8_t  ply;
std::int16_t  gamePly;
std::uint64_t hashKey;
std::uint32_t pawnKey;
HistoryRecord gameHistory[MAX_GAME_PLIES];
std::uint16_t checkState[MAX_GAME_PLIES];
MoveEntry     moveStack[MOVE_STACK_SIZE];
std::uint32_t firstMove[MAX_PLY + 1];
