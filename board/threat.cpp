// board/threat.cpp: the check-threat test the search asks before a null
// move at small depth. It never makes a move: it intersects the squares that
// see the king with the squares each enemy man can reach.
#include "board/threat.h"
#include "board/attacks.h"

bool checkThreat(int colour, bool safeOnly) {
    const int          k = kingSquare[colour], e = colour ^ 1;
    const std::uint8_t enemyPawn = pieceCode(e, PAWN), enemyKnight = pieceCode(e, KNIGHT);

    // 1. Pawn checks: a step onto a checking square, or a capture there.
    const int dirs[2]     = {colour == WHITE ? NORTH_WEST : SOUTH_EAST, colour == WHITE ? NORTH_EAST : SOUTH_WEST};
    const int pawnComes   = colour == WHITE ? NORTH : SOUTH;
    const int captureFrom[2] = {colour == WHITE ? NORTH_WEST : SOUTH_EAST, colour == WHITE ? NORTH_EAST : SOUTH_WEST};
    for (int d : dirs) {
        const int a = nextSquare[k][d];
        if (a >= 64) continue;
        if (board[a] == EMPTY) {
            if (board[nextSquare[a][pawnComes]] == enemyPawn &&
                (!safeOnly || findAttackerScan(a, e) < 64))
                return true;
        } else if (!safeOnly && codeColour(board[a]) == colour) {
            for (int cd : captureFrom)
                if (board[nextSquare[a][cd]] == enemyPawn) return true;
        }
    }

    // 2. Knight checks.
    for (const std::uint8_t* t = knightTargets[k]; *t != 255; ++t) {
        const int sq = *t;
        if (codeColour(board[sq]) == e) continue;
        if (safeOnly && (board[sq] != EMPTY || attackBalanceScan(sq, colour) >= 0)) continue;
        for (const std::uint8_t* from = knightTargets[sq]; *from != 255; ++from)
            if (board[*from] == enemyKnight) return true;
    }

    // 3. Slider checks: squares that see the king along lines (O) and
    // diagonals (D), met with the reach of each enemy slider.
    Bitboard lines = 0, diagonals = 0;
    for (int d = 0; d < 8; ++d) {
        Bitboard  ray = rayMask[k][d];
        const int n   = nearestPiece[k][d];
        if (n < 64) {
            ray &= ~rayMask[n][d];
            if (codeColour(board[n]) == e) ray &= squareClear[n];
        }
        (d < 4 ? lines : diagonals) |= ray;
    }
    for (Bitboard men = occupiedBy[e]; men;) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        const int type = codeType(board[s]);
        if (type < BISHOP || type > QUEEN) continue;
        Bitboard targets = type == BISHOP ? diagonals : type == ROOK ? lines : lines | diagonals;
        Bitboard reach   = 0;
        for (int d = type == BISHOP ? 4 : 0; d < (type == ROOK ? 4 : 8); ++d) {
            const int b = nearestPiece[s][d];
            reach |= b < 64 ? rayMask[s][d] ^ rayMask[b][d] : rayMask[s][d];
        }
        for (Bitboard hits = reach & targets; hits;) {
            const int sq = highestBitSquare(hits);
            hits &= squareClear[sq];
            if (!safeOnly || (board[sq] == EMPTY && attackBalanceScan(sq, colour) < 0)) return true;
        }
    }
    return false;
}
