// search/ordering.cpp: quiet-move scores, move selection, hash and PV
// marking, and the small move tests that guard moves taken from the hash
// table, killers or the PV.
#include "search/ordering.h"
#include <cstring>
#include "board/attacks.h"
#include "eval/psqt.h"
#include "search/searchdata.h"

thread_local std::uint32_t historyTable[64][64];
thread_local Move          killerMoves[MAX_PLY][2];
thread_local std::uint8_t  followPv;

void clearOrderingTables() {
    std::memset(historyTable, 0, sizeof historyTable);
    std::memset(killerMoves, 0, sizeof killerMoves);
}

// Selection over [index, end): ties go to the earliest entry, and only a
// score above -10000 can beat the first entry.
static std::uint32_t selectBest(std::uint32_t index, std::uint32_t end) {
    std::uint32_t best      = index;
    std::int32_t  bestScore = -10000;
    for (std::uint32_t i = index; i < end; ++i)
        if (moveStack[i].score > bestScore) {
            bestScore = moveStack[i].score;
            best      = i;
        }
    return best;
}

Move pickBestMove(std::uint32_t index) {
    const std::uint32_t best = selectBest(index, firstMove[ply + 1]);
    const Move          move = moveStack[best].move;
    moveStack[best]          = moveStack[index];
    return move;
}

Move pickNextMove(std::uint32_t index, Move exclude1, Move exclude2) {
    std::uint32_t& end = firstMove[ply + 1];
    for (std::uint32_t i = index; i < end;) {
        const Move m = moveStack[i].move;
        if ((m == exclude1 || m == exclude2) && m != 0) {
            // The last entry moves into the hole (and is itself checked next).
            moveStack[i] = moveStack[--end];
        } else {
            ++i;
        }
    }
    if (index >= end) return 0;
    const std::uint32_t best = selectBest(index, end);
    if (moveStack[best].score <= -10000) return 0;
    const Move move = moveStack[best].move;
    moveStack[best] = moveStack[index];
    return move;
}

void markHashMove(Move move) {
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (((moveStack[i].move ^ move) & 0xFFFFFF) == 0) {
            moveStack[i].score |= SCORE_HASH_MOVE;
            return;
        }
}

void markPvMove() {
    followPv = 0;
    if (ply >= pvLength[0] || pvTable[0][ply] == 0) return;
    const Move pv = pvTable[0][ply];
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (((moveStack[i].move ^ pv) & 0xFFFFFF) == 0) {
            followPv = 1;
            moveStack[i].score |= SCORE_PV_MOVE;
            return;
        }
}

bool isKillerPlayable(Move move) {
    if (move == 0) return false;
    const int          from = moveFrom(move), to = moveTo(move);
    const std::uint8_t code = board[from];
    if (codeColour(code) != side || board[to] != EMPTY) return false;
    switch (codeType(code)) {
    case BISHOP:
    case ROOK:
    case QUEEN: {
        const int d = lineDirection[from][to];
        if (d < 0 || !slidesAlong(codeType(code), d)) return false;
        // Nothing between: the first man from `from` that way lies beyond `to`.
        return !(rayMask[from][d] & ~rayMask[to][d] & squareClear[to] & occupied);
    }
    case KNIGHT: return (knightMask[from] & squareBit[to]) != 0;
    case PAWN:
        if (side == WHITE)
            return (from - to == 8 && rowOf(from) != 1) ||
                   (from - to == 16 && rowOf(from) == 6 && board[from - 8] == EMPTY);
        return (to - from == 8 && rowOf(from) != 6) ||
               (to - from == 16 && rowOf(from) == 1 && board[from + 8] == EMPTY);
    default: {  // king
        const int df = fileOf(from) - fileOf(to), dr = rowOf(from) - rowOf(to);
        if (df >= -1 && df <= 1 && dr >= -1 && dr <= 1) return true;
        if (from == 60 && to == 62) return (castleRights & CASTLE_WK) && nearestPiece[60][EAST] == 63;
        if (from == 60 && to == 58) return (castleRights & CASTLE_WQ) && nearestPiece[60][WEST] == 56;
        if (from == 4 && to == 6) return (castleRights & CASTLE_BK) && nearestPiece[4][EAST] == 7;
        if (from == 4 && to == 2) return (castleRights & CASTLE_BQ) && nearestPiece[4][WEST] == 0;
        return false;
    }
    }
}

bool isHashMovePlayable(Move move) {
    const int          from = moveFrom(move), to = moveTo(move);
    const std::uint8_t code = board[from];
    if (codeColour(code) != side || codeColour(board[to]) == side) return false;
    // A stored move can only be wrong through a key collision; taking a
    // king is the one such move that would wreck the position.
    if (codeType(board[to]) == KING) return false;
    const int df = fileOf(to) - fileOf(from);
    if (codeType(code) == PAWN && df != 0 && board[to] == EMPTY && to != epSquare) return false;
    if (codeType(code) == KING && (df == 2 || df == -2)) {
        switch (to) {
        case 62: return (castleRights & CASTLE_WK) != 0;
        case 58: return (castleRights & CASTLE_WQ) != 0;
        case 6: return (castleRights & CASTLE_BK) != 0;
        case 2: return (castleRights & CASTLE_BQ) != 0;
        default: return false;
        }
    }
    return true;
}

// History counters stay far below 2^23, so the shift cannot overflow.
static inline std::int32_t quietScore(Move m) {
    const int          from = moveFrom(m), to = moveTo(m);
    const std::int8_t* pst  = pieceSquareTable[side * 6 + codeType(board[from])];
    return std::int32_t(historyTable[from][to] << 8) - pst[from] + pst[to];
}

void scoreQuietMoves(Move killer2) {
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) {
        const Move   m     = moveStack[i].move;
        std::int32_t score = quietScore(m);
        if (m == killer2) score |= SCORE_KILLER2;
        moveStack[i].score = score;
    }
}

void scoreMoveList() {
    const Move killer1 = killerMoves[ply][0], killer2 = killerMoves[ply][1];
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) {
        const Move m = moveStack[i].move;
        if (m & (MOVE_CAPTURE | MOVE_PROMOTION)) continue;
        std::int32_t score = quietScore(m);
        if (m == killer1)
            score |= SCORE_KILLER1;
        else if (m == killer2)
            score |= SCORE_KILLER2;
        moveStack[i].score = score;
    }
}
