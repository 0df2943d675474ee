// board/position.h: the game position, held three ways at once (mailbox,
// nearest-piece links and bitboards), plus its keys, history and move stack.
// Only the board/ routines write these globals; everything else reads them.
// Each search thread has its own (thread_local), started from the main
// thread's through a PositionCopy.
#pragma once
#include <cstdint>
#include "board/types.h"

// Mailbox: board code per square; entry 64 is an always-empty sentinel.
extern THREAD_STATE std::uint8_t board[65];
// For each occupied square and direction, the first occupied square that way
// (64: none). Entries of empty squares are stale; row 64 is write-only scratch.
extern THREAD_STATE std::uint8_t nearestPiece[65][8];
extern THREAD_STATE Bitboard     occupied;
extern THREAD_STATE Bitboard     occupiedBy[2];

extern THREAD_STATE std::uint8_t  kingSquare[2];
extern THREAD_STATE std::uint8_t  pieceCount[2][6];    // men by colour and type, kings and pawns included
extern THREAD_STATE std::uint16_t material[2];         // knights, bishops, rooks and queens by PIECE_VALUE
extern THREAD_STATE std::uint16_t menCount;            // men on the board, both colours
extern THREAD_STATE std::uint8_t  pawnFileRanks[2][10];  // [colour][file + 1]: bit row set per pawn; 0 and 9 stay 0

extern THREAD_STATE std::uint8_t side;          // colour to move
extern THREAD_STATE std::uint8_t xside;         // side ^ 1
extern THREAD_STATE std::uint8_t castleRights;  // CASTLE_* bits
extern THREAD_STATE std::uint8_t epSquare;      // square passed over by the last double push, or NO_EP
extern THREAD_STATE std::uint8_t fiftyCount;    // plies since the last capture or pawn move
extern THREAD_STATE std::uint8_t ply;           // plies below the search root; 0 outside search
extern THREAD_STATE std::int16_t gamePly;       // moves made since set-up: next free history record

extern THREAD_STATE std::uint64_t hashKey;  // Zobrist key: pieces and side to move (not castling, not ep)
extern THREAD_STATE std::uint32_t pawnKey;  // low halves of the pawn keys and of sideKey

extern THREAD_STATE HistoryRecord gameHistory[MAX_GAME_PLIES];
extern THREAD_STATE std::uint16_t checkState[MAX_GAME_PLIES];  // check descriptor at each gamePly

extern THREAD_STATE MoveEntry     moveStack[MOVE_STACK_SIZE];
extern THREAD_STATE std::uint32_t firstMove[MAX_PLY + 1];  // list of ply p: [firstMove[p], firstMove[p+1])

// 768 fixed keys indexed (colour * 6 + type) * 64 + square. They also key
// the opening book file, so they must never change.
extern const std::uint64_t pieceKeys[768];
constexpr std::uint64_t    sideKey = 0xC139B61D3DA793B1ull;

constexpr std::uint8_t ROW_BIT(int sq) { return std::uint8_t(1u << (sq >> 3)); }
inline std::uint64_t   pieceKey(int colour, int type, int sq) {
    return pieceKeys[(colour * 6 + type) * 64 + sq];
}
inline bool inCheck() { return (checkState[gamePly] & 0xFF) < 64; }
inline int  checkerSquare() { return checkState[gamePly] & 0xFF; }

// Everything a search reads of a position at its root, the game so far
// included (for repetitions): taken from one thread's position and given to
// another's, whose move stack then starts empty at ply 0.
struct PositionCopy {
    std::uint8_t  board[65];
    std::uint8_t  nearestPiece[65][8];
    Bitboard      occupied;
    Bitboard      occupiedBy[2];
    std::uint8_t  kingSquare[2];
    std::uint8_t  pieceCount[2][6];
    std::uint16_t material[2];
    std::uint16_t menCount;
    std::uint8_t  pawnFileRanks[2][10];
    std::uint8_t  side, xside, castleRights, epSquare, fiftyCount;
    std::int16_t  gamePly;
    std::uint64_t hashKey;
    std::uint32_t pawnKey;
    HistoryRecord gameHistory[MAX_GAME_PLIES];
    std::uint16_t checkState[MAX_GAME_PLIES];
};
// Of this thread's position, which must be at its root (ply 0).
void copyPosition(PositionCopy& out);
void takePosition(const PositionCopy& in);
