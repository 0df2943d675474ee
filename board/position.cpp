// board/position.cpp: storage of the global position. The routines that
// change it live in setup.cpp (set-up) and makemove.cpp (moves).
#include "board/position.h"
#include <cstring>

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
thread_local HistoryRecord gameHistory[MAX_GAME_PLIES]{};
thread_local std::uint16_t checkState[MAX_GAME_PLIES];
thread_local MoveEntry     moveStack[MOVE_STACK_SIZE]{};
thread_local std::uint32_t firstMove[MAX_PLY + 1];

void copyPosition(PositionCopy& out) {
    std::memcpy(out.board, board, sizeof board);
    std::memcpy(out.nearestPiece, nearestPiece, sizeof nearestPiece);
    out.occupied = occupied;
    std::memcpy(out.occupiedBy, occupiedBy, sizeof occupiedBy);
    std::memcpy(out.kingSquare, kingSquare, sizeof kingSquare);
    std::memcpy(out.pieceCount, pieceCount, sizeof pieceCount);
    std::memcpy(out.material, material, sizeof material);
    out.menCount = menCount;
    std::memcpy(out.pawnFileRanks, pawnFileRanks, sizeof pawnFileRanks);
    out.side         = side;
    out.xside        = xside;
    out.castleRights = castleRights;
    out.epSquare     = epSquare;
    out.fiftyCount   = fiftyCount;
    out.gamePly      = gamePly;
    out.hashKey      = hashKey;
    out.pawnKey      = pawnKey;
    // The records up to the current ply; later ones are stale.
    std::memcpy(out.gameHistory, gameHistory, sizeof(HistoryRecord) * std::size_t(gamePly + 1));
    std::memcpy(out.checkState, checkState, sizeof(std::uint16_t) * std::size_t(gamePly + 1));
}

void takePosition(const PositionCopy& in) {
    std::memcpy(board, in.board, sizeof board);
    std::memcpy(nearestPiece, in.nearestPiece, sizeof nearestPiece);
    occupied = in.occupied;
    std::memcpy(occupiedBy, in.occupiedBy, sizeof occupiedBy);
    std::memcpy(kingSquare, in.kingSquare, sizeof kingSquare);
    std::memcpy(pieceCount, in.pieceCount, sizeof pieceCount);
    std::memcpy(material, in.material, sizeof material);
    menCount = in.menCount;
    std::memcpy(pawnFileRanks, in.pawnFileRanks, sizeof pawnFileRanks);
    side         = in.side;
    xside        = in.xside;
    castleRights = in.castleRights;
    epSquare     = in.epSquare;
    fiftyCount   = in.fiftyCount;
    gamePly      = in.gamePly;
    hashKey      = in.hashKey;
    pawnKey      = in.pawnKey;
    std::memcpy(gameHistory, in.gameHistory, sizeof(HistoryRecord) * std::size_t(in.gamePly + 1));
    std::memcpy(checkState, in.checkState, sizeof(std::uint16_t) * std::size_t(in.gamePly + 1));
    ply          = 0;
    firstMove[0] = 0;
}
