// board/attacks.h: fixed board geometry and the attack queries on the
// current position. Queries named ...Scan find the nearest man by bit scan
// and so also work for empty squares, whose nearestPiece entries are stale.
#pragma once
#include <array>
#include <cstdint>
#include "board/position.h"

namespace geometry {
struct Tables {
    Bitboard     squareBit[64];
    Bitboard     squareClear[64];
    std::uint8_t nextSquare[64][8];     // one step in direction d, or 64 off the board
    Bitboard     rayMask[64][8];        // squares from s in direction d, s excluded
    std::uint8_t knightTargets[64][9];  // destinations in generation order, then 255
    Bitboard     knightMask[64];        // the same destinations as a set
    std::int8_t  lineDirection[64][64]; // direction from a to b, or -1
};
// Built through a 10 x 12 mailbox with guard rows and columns.
constexpr Tables buildTables() {
    Tables t{};
    constexpr int step[8]        = {-10, 10, -1, 1, -11, 11, -9, 9};
    constexpr int knightStep[8]  = {-19, 19, -8, 8, -21, 21, -12, 12};
    auto          toMailbox      = [](int sq) { return 21 + (sq >> 3) * 10 + (sq & 7); };
    auto          fromMailbox    = [](int mb) {
        int row = mb / 10 - 2, col = mb % 10 - 1;
        return (row < 0 || row > 7 || col < 0 || col > 7) ? -1 : row * 8 + col;
    };
    for (int s = 0; s < 64; ++s) {
        t.squareBit[s]   = Bitboard(1) << (63 - s);
        t.squareClear[s] = ~t.squareBit[s];
    }
    for (int s = 0; s < 64; ++s) {
        for (int d = 0; d < 8; ++d) {
            int next           = fromMailbox(toMailbox(s) + step[d]);
            t.nextSquare[s][d] = std::uint8_t(next < 0 ? 64 : next);
            Bitboard ray       = 0;
            for (int mb = toMailbox(s) + step[d]; fromMailbox(mb) >= 0; mb += step[d])
                ray |= t.squareBit[fromMailbox(mb)];
            t.rayMask[s][d] = ray;
        }
        int n = 0;
        for (int k = 0; k < 8; ++k) {
            int target = fromMailbox(toMailbox(s) + knightStep[k]);
            if (target < 0) continue;
            t.knightTargets[s][n++] = std::uint8_t(target);
            t.knightMask[s] |= t.squareBit[target];
        }
        for (; n < 9; ++n) t.knightTargets[s][n] = 255;
    }
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            t.lineDirection[a][b] = -1;
            for (int d = 0; d < 8; ++d)
                if (t.rayMask[a][d] & t.squareBit[b]) t.lineDirection[a][b] = std::int8_t(d);
        }
    return t;
}
inline constexpr Tables tables = buildTables();
}  // namespace geometry

inline constexpr const auto& squareBit     = geometry::tables.squareBit;
inline constexpr const auto& squareClear   = geometry::tables.squareClear;
inline constexpr const auto& nextSquare    = geometry::tables.nextSquare;
inline constexpr const auto& rayMask       = geometry::tables.rayMask;
inline constexpr const auto& knightTargets = geometry::tables.knightTargets;
inline constexpr const auto& knightMask    = geometry::tables.knightMask;
inline constexpr const auto& lineDirection = geometry::tables.lineDirection;

// Moves a king needs from a to b (the larger of the file and rank
// distances). Written without helper calls: eval's king-zone tables call it
// hundreds of thousands of times at compile time, and clang's constexpr step
// limit counts every call.
constexpr int kingDistance(int a, int b) {
    const int df = (a & 7) > (b & 7) ? (a & 7) - (b & 7) : (b & 7) - (a & 7);
    const int dr = (a >> 3) > (b >> 3) ? (a >> 3) - (b >> 3) : (b >> 3) - (a >> 3);
    return df > dr ? df : dr;
}

// Bit scans in square terms: the lowest set bit is the highest-numbered
// square, the highest set bit the lowest-numbered one. Both need b != 0.
inline int lowestBitSquare(Bitboard b) { return 63 - __builtin_ctzll(b); }
inline int highestBitSquare(Bitboard b) { return __builtin_clzll(b); }
// Nearest occupied square from s in direction d, by bit scan (64: none).
inline int scanNearest(int s, int d) {
    Bitboard b = rayMask[s][d] & occupied;
    if (!b) return NO_SQUARE;
    return (d & 1) ? highestBitSquare(b) : lowestBitSquare(b);
}
// A slider of this type attacks along direction d.
inline bool slidesAlong(int type, int d) {
    return type == QUEEN || type == (d < 4 ? ROOK : BISHOP);
}

void linkSquare(int s, int colour);    // board[s] already holds the new man
void unlinkSquare(int s, int colour);  // board[s] may already be EMPTY

int          findAttacker(int s, int colour);      // s occupied; 64 if none
int          findAttackerScan(int s, int colour);  // any s
int          countAttackers(int s, int colour);    // s occupied; batteries included
int          attackBalance(int s, int colour);     // white minus black, from colour's view
int          attackBalanceScan(int s, int colour);
bool         whiteKingsideAttacked();
bool         whiteQueensideAttacked();
bool         blackKingsideAttacked();
bool         blackQueensideAttacked();
int          pinAllowsMove(int s, int dir);  // 0 when a pin forbids leaving dir's line
std::uint16_t computeCheckState();
