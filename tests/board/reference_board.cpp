#include "tests/board/reference_board.h"
#include <cstdlib>
#include "board/position.h"

ReferenceBoard referenceFromPosition() {
    ReferenceBoard b;
    for (int s = 0; s < 64; ++s) {
        const std::uint8_t code = board[s];
        b.colour[s]             = code == EMPTY ? -1 : code >> 4;
        b.type[s]               = code == EMPTY ? -1 : code & 15;
    }
    return b;
}


bool referenceManAttacks(const ReferenceBoard& b, int from, int target) {
    const int type = b.type[from], colour = b.colour[from];
    const int df = (target & 7) - (from & 7), dr = (target >> 3) - (from >> 3);
    const int adf = std::abs(df), adr = std::abs(dr);
    switch (type) {
    case PAWN: return adf == 1 && dr == (colour == WHITE ? -1 : 1);
    case KNIGHT: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    case KING: return adf <= 1 && adr <= 1 && (adf | adr) != 0;
    default: break;
    }
    const bool straight = (df == 0) != (dr == 0);
    const bool diagonal = adf == adr && adf != 0;
    if (!(type == QUEEN ? straight || diagonal : type == ROOK ? straight : diagonal)) return false;
    const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
    int       f = (from & 7) + sf, r = (from >> 3) + sr;
    for (; f != (target & 7) || r != (target >> 3); f += sf, r += sr)
        if (b.type[r * 8 + f] >= 0) return false;
    return true;
}

bool referenceAttacked(const ReferenceBoard& b, int sq, int byColour) {
    for (int s = 0; s < 64; ++s)
        if (b.colour[s] == byColour && s != sq && referenceManAttacks(b, s, sq)) return true;
    return false;
}

int referenceKing(const ReferenceBoard& b, int colour) {
    for (int s = 0; s < 64; ++s)
        if (b.type[s] == KING && b.colour[s] == colour) return s;
    return -1;
}

void referenceApply(ReferenceBoard& b, Move m) {
    const int from = moveFrom(m), to = moveTo(m);
    if (m & MOVE_EN_PASSANT) {
        const int victim = (to & 7) + (from & ~7);
        b.colour[victim] = b.type[victim] = -1;
    }
    if (m & MOVE_CASTLE) {
        const bool kingSide = (to & 7) == 6;
        const int  rookFrom = (to & ~7) + (kingSide ? 7 : 0), rookTo = (to & ~7) + (kingSide ? 5 : 3);
        b.colour[rookTo] = b.colour[rookFrom];
        b.type[rookTo]   = ROOK;
        b.colour[rookFrom] = b.type[rookFrom] = -1;
    }
    b.colour[to] = b.colour[from];
    b.type[to]   = (m & MOVE_PROMOTION) ? movePromotion(m) : b.type[from];
    b.colour[from] = b.type[from] = -1;
}
