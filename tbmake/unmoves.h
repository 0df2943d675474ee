// tbmake/unmoves.h: the unmove generator: the positions one move before a
// given one, which retrograde analysis walks back through. The geometry is
// the forward generator's (initTbCore must have run).
#pragma once
#include <cstdint>
#include "tbmake/tbposition.h"

// Calls visit(q) for every position q, with the other side to move, that has
// a legal move to p staying in the table: the reverse of every non-capturing,
// non-promoting move (a double push only into its en-passant position),
// plus the en-passant version of each such q. Some q may be no position at
// all (the side not to move in check): the caller's table says so.
template <typename Visit>
void forEachPredecessor(const TbPosition& p, Visit visit);

// What the template below needs, kept out of the callers' way.
namespace tbunmoves {

// The en-passant versions of q: each pawn of the side not to move on its
// fourth rank, with both squares behind it empty and an enemy pawn beside it.
template <typename Visit>
void visitWithTwins(const TbPosition& q, std::uint64_t occ, Visit& visit) {
    visit(q);
    const int pusher = q.toMove ^ 1;
    for (int i = 2; i < q.men; ++i) {
        if (q.type[i] != 0 || q.colour[i] != pusher || q.square[i] == TBC_GONE) continue;
        const int s = q.square[i];
        if ((s >> 3) != (pusher == 0 ? 3 : 4)) continue;
        const int behind = pusher == 0 ? -8 : 8;
        if ((occ >> (s + behind)) & 1 || (occ >> (s + 2 * behind)) & 1) continue;
        bool beside = false;
        for (int j = 2; j < q.men; ++j)
            if (q.type[j] == 0 && q.colour[j] != pusher && q.square[j] != TBC_GONE && (q.square[j] >> 3) == (s >> 3) &&
                (q.square[j] - s == 1 || s - q.square[j] == 1))
                beside = true;
        if (!beside) continue;
        TbPosition twin = q;
        twin.epSquare   = std::uint8_t(s + behind);
        visit(twin);
    }
}
}  // namespace tbunmoves

template <typename Visit>
void forEachPredecessor(const TbPosition& p, Visit visit) {
    const std::uint64_t occ   = occupancyOf(p);
    const int           mover = p.toMove ^ 1;
    TbPosition          q     = p;
    q.toMove                  = std::uint8_t(mover);
    q.epSquare                = TBC_NO_EP;
    auto from = [&](int man, int square) {
        q.square[man] = std::uint8_t(square);
        tbunmoves::visitWithTwins(q, (occ & ~(std::uint64_t(1) << p.square[man])) | (std::uint64_t(1) << square), visit);
        q.square[man] = p.square[man];
    };
    if (p.epSquare != TBC_NO_EP) {
        // Only the double push itself led here.
        const int to = mover == 0 ? p.epSquare + 8 : p.epSquare - 8;
        for (int i = 2; i < p.men; ++i)
            if (p.square[i] == to) from(i, mover == 0 ? to - 16 : to + 16);
        return;
    }
    for (int i = 0; i < p.men; ++i) {
        if (p.colour[i] != mover || p.square[i] == TBC_GONE) continue;
        const int to = p.square[i], f = to & 7, r = to >> 3;
        switch (p.type[i]) {
        case 0: {
            const int back = mover == 0 ? -8 : 8;
            const int start = mover == 0 ? 1 : 6;
            const int one = to + back;
            if ((one >> 3) < 1 || (one >> 3) > 6 || ((occ >> one) & 1)) break;
            from(i, one);
            if ((one >> 3) != start + (mover == 0 ? 1 : -1) || ((occ >> (one + back)) & 1)) break;
            // A double push beside an enemy pawn leads to the en-passant
            // position, not to this one.
            bool beside = false;
            for (int j = 2; j < p.men; ++j)
                if (p.type[j] == 0 && p.colour[j] != mover && p.square[j] != TBC_GONE && (p.square[j] >> 3) == r &&
                    (p.square[j] - to == 1 || to - p.square[j] == 1))
                    beside = true;
            if (!beside) from(i, one + back);
            break;
        }
        case 1:
        case TBC_KING: {
            std::uint64_t targets = (p.type[i] == 1 ? tbKnightMask[to] : tbKingMask[to]) & ~occ;
            while (targets) {
                from(i, __builtin_ctzll(targets));
                targets &= targets - 1;
            }
            break;
        }
        default: {
            const int first = p.type[i] == 2 ? 4 : 0, last = p.type[i] == 3 ? 4 : 8;
            for (int d = first; d < last; ++d)
                for (int k = 1;; ++k) {
                    const int nf = f + tbRayStep[d][0] * k, nr = r + tbRayStep[d][1] * k;
                    if (nf < 0 || nf > 7 || nr < 0 || nr > 7 || ((occ >> (nr * 8 + nf)) & 1)) break;
                    from(i, nr * 8 + nf);
                }
        }
        }
    }
}
