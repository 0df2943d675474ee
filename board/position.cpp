// board/position.cpp: storage of the global position. The routines that
// change it live in setup.cpp (set-up) and makemove.cpp (moves).
#include "board/position.h"

thread_local std::uint8_t  board[65];
thread_local std::uint8_t  nearestPiece[65][8];
thread_local Bitboard      occupied;
thread_local Bitboard      occupiedBy[2];
thread_local std::uint8_t  kingSquare[2];
thread_local std::uint8_t  pieceCount[2][6];
thread_local std::uint16_t material[2];
thread_local std::uint16_t menCount;
thread_local std::uint8_t  pawnFileRanks[2][10];
thread_local std::uint8_t  side;
thread_local std::uint8_t  xside;
thread_local std::uint8_t  castleRights;
thread_local std::uint8_t  epSquare = NO_EP;
thread_local std::uint8_t  fiftyCount;
thread_local std::uint8_t  ply;
thread_local std::int16_t  gamePly;
thread_local std::uint64_t hashKey;
thread_local std::uint32_t pawnKey;
thread_local HistoryRecord gameHistory[MAX_GAME_PLIES];
thread_local std::uint16_t checkState[MAX_GAME_PLIES];
thread_local MoveEntry     moveStack[MOVE_STACK_SIZE];
thread_local std::uint32_t firstMove[MAX_PLY + 1];
