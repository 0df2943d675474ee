// board/rules.cpp: whether the side to move can move at all, and material
// that can never mate.
#include "board/rules.h"
#include "board/makemove.h"
#include "board/movegen.h"

Move firstLegalMove() {
    ply = 0;
    generateAllMoves();
    for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i)
        if (makeMove(moveStack[i].move)) {
            unmakeMove();
            return moveStack[i].move;
        }
    return 0;
}

bool insufficientMaterial() {
    if (pieceCount[WHITE][PAWN] || pieceCount[BLACK][PAWN]) return false;
    for (int c = 0; c < 2; ++c)
        if (pieceCount[c][ROOK] || pieceCount[c][QUEEN]) return false;
    const int knights = pieceCount[WHITE][KNIGHT] + pieceCount[BLACK][KNIGHT];
    const int bishops = pieceCount[WHITE][BISHOP] + pieceCount[BLACK][BISHOP];
    // Kings alone, or one knight or bishop against a bare king.
    if (knights + bishops <= 1) return true;
    if (knights) return false;
    // Only bishops, all on squares of one colour: no mate can ever arise.
    int colours = 0;
    for (int s = 0; s < 64; ++s)
        if (codeType(board[s]) == BISHOP) colours |= 1 << ((rowOf(s) + fileOf(s)) & 1);
    return colours != 3;
}
