#pragma once
// A deliberately naive board for cross-checking: plain arrays, square-by-square
// scans, no links and no bitboards. It shares nothing with board/ except the
// square numbering.
#include <cstdint>
#include "board/types.h"

struct ReferenceBoard {
    int colour[64];  // WHITE, BLACK, or -1 when empty
    int type[64];    // PAWN..KING, or -1 when empty
};

ReferenceBoard referenceFromPosition();
bool           referenceAttacked(const ReferenceBoard& b, int sq, int byColour);
// Applies a move (castling moves the rook, en passant removes the pawn).
void           referenceApply(ReferenceBoard& b, Move m);
int            referenceKing(const ReferenceBoard& b, int colour);
// The moving man on `to` attacks `target` on this board.
bool           referenceManAttacks(const ReferenceBoard& b, int from, int target);
