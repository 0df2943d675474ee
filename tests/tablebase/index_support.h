#pragma once
// Positions for the tablebase index tests, in tablebase square numbering
// (a1 = 0 ... h8 = 63). The first-named side plays white: its pawns move up.
#include <cstdint>
#include "tablebase/catalogue.h"

// The men of a record besides the kings, in name order: the first side's men,
// then the second side's. Types 1 pawn .. 5 queen.
struct TbMaterial {
    int ordinal;
    int men;
    int firstMen;
    int type[5];
};

// A placement: kings [0] first side, [1] second side; men in material order;
// ep the en-passant square or TB_NO_EP.
struct TbPlacement {
    std::uint32_t king[2];
    std::uint32_t square[5];
    std::uint32_t ep;
};

TbMaterial materialOf(int ordinal);
bool recordHasPawns(const TbMaterial& m);
// Both sides have a pawn: en-passant positions exist.
bool recordHasEnPassant(const TbMaterial& m);

// Piece lists of the placement (the first list is the first side's).
void fillLists(const TbMaterial& m, const TbPlacement& p, std::uint32_t first[16], std::uint32_t second[16]);

// Kings apart, one man a square, pawns on ranks 2-7, the side not to move
// (table side 'side' moves) not in check, and a sound en-passant set-up: the
// pawn beyond the square belongs to the side not to move, the square it
// passed and the one it came from are empty, and a pawn of the side to move
// stands beside it.
bool isLegal(const TbMaterial& m, const TbPlacement& p, int side);

// The record's routine for table side 'side' on the placement (first side white).
std::uint32_t indexOf(const TbMaterial& m, const TbPlacement& p, int side);

// The squares a man of the given type may stand on (pawns ranks 2-7).
inline bool squareAllowed(int type, std::uint32_t s) { return type != 1 || (s >= 8 && s < 56); }

// Calls visit(placement) for every legal placement of the record with the
// given side to move whose kings are 'king[0], king[1]', men of one type in
// increasing square order, each piece (pawns are never restricted) on squares
// with allowed[s];
// with en-passant variants where the record has a pawn on each side.
template <typename Visit>
void forEachPlacement(const TbMaterial& m, int side, std::uint32_t k1, std::uint32_t k2, const bool allowed[64],
                      Visit&& visit);

// ---------------------------------------------------------------------------

namespace tbdetail {
bool enPassantSquares(const TbMaterial& m, const TbPlacement& p, int side, std::uint32_t out[2], int* count);

template <typename Visit>
void place(const TbMaterial& m, int side, TbPlacement& p, int man, const bool allowed[64], Visit& visit) {
    if (man >= m.men || man >= 5) {
        p.ep = TB_NO_EP;
        if (!isLegal(m, p, side)) return;
        visit(p);
        if (recordHasEnPassant(m)) {
            std::uint32_t eps[2];
            int n = 0;
            enPassantSquares(m, p, side, eps, &n);
            for (int i = 0; i < n; ++i) {
                p.ep = eps[i];
                if (isLegal(m, p, side)) visit(p);
            }
            p.ep = TB_NO_EP;
        }
        return;
    }
    // Men of one type on one side follow in increasing square order.
    const bool sameAsPrevious = man > 0 && m.type[man] == m.type[man - 1] && (man != m.firstMen);
    const std::uint32_t start = sameAsPrevious ? p.square[man - 1] + 1 : 0;
    for (std::uint32_t s = start; s < 64; ++s) {
        if ((m.type[man] != 1 && !allowed[s]) || !squareAllowed(m.type[man], s) || s == p.king[0] || s == p.king[1]) continue;
        bool taken = false;
        for (int i = 0; i < man; ++i) taken |= p.square[i] == s;
        if (taken) continue;
        p.square[man] = s;
        place(m, side, p, man + 1, allowed, visit);
    }
}
}  // namespace tbdetail

template <typename Visit>
void forEachPlacement(const TbMaterial& m, int side, std::uint32_t k1, std::uint32_t k2, const bool allowed[64],
                      Visit&& visit) {
    TbPlacement p{};
    p.king[0] = k1;
    p.king[1] = k2;
    p.ep = TB_NO_EP;
    tbdetail::place(m, side, p, 0, allowed, visit);
}
