// board/attacks.cpp: nearest-piece link maintenance and the attack queries.
// Queries on occupied squares walk nearestPiece; the ...Scan variants find
// each ray's first man by bit scan instead.
#include "board/attacks.h"

void linkSquare(int s, int colour) {
    // occupied does not hold s yet, so the scans below see past it. Both
    // neighbours come from independent scans rather than one scan and a
    // dependent load through the links.
    for (int e = 0; e < 8; e += 2) {
        const int      o     = e + 1;
        const Bitboard below = rayMask[s][e] & occupied, above = rayMask[s][o] & occupied;
        const int      a     = below ? lowestBitSquare(below) : NO_SQUARE;
        const int      b     = above ? highestBitSquare(above) : NO_SQUARE;
        nearestPiece[s][e]   = std::uint8_t(a);
        nearestPiece[s][o]   = std::uint8_t(b);
        nearestPiece[a][o]   = std::uint8_t(s);
        nearestPiece[b][e]   = std::uint8_t(s);
    }
    occupiedBy[colour] |= squareBit[s];
    occupied |= squareBit[s];
}

void unlinkSquare(int s, int colour) {
    for (int e = 0; e < 8; e += 2) {
        const int a = nearestPiece[s][e], b = nearestPiece[s][e + 1];
        nearestPiece[a][e + 1] = std::uint8_t(b);
        nearestPiece[b][e]     = std::uint8_t(a);
    }
    occupiedBy[colour] &= squareClear[s];
    occupied &= squareClear[s];
}

// Squares from which a pawn of this colour attacks s, in the order tried.
static inline int pawnAttackerSquare(int s, int colour, int which) {
    return colour == BLACK ? nextSquare[s][which ? NORTH_EAST : NORTH_WEST]
                           : nextSquare[s][which ? SOUTH_EAST : SOUTH_WEST];
}

static int findNonSliderAttacker(int s, int colour) {
    const std::uint8_t pawn = pieceCode(colour, PAWN), knight = pieceCode(colour, KNIGHT);
    for (int i = 0; i < 2; ++i) {
        const int p = pawnAttackerSquare(s, colour, i);
        if (board[p] == pawn) return p;
    }
    for (const std::uint8_t* t = knightTargets[s]; *t != 255; ++t)
        if (board[*t] == knight) return *t;
    return NO_SQUARE;
}

// The man on p, first along direction d from s, attacks s for this colour.
static inline bool attacksAlong(int s, int p, int d, int colour) {
    const std::uint8_t code = board[p];
    if (codeColour(code) != colour) return false;
    const int type = codeType(code);
    return slidesAlong(type, d) || (type == KING && p == nextSquare[s][d]);
}

int findAttacker(int s, int colour) {
    const int p = findNonSliderAttacker(s, colour);
    if (p < 64) return p;
    for (int d = 0; d < 8; ++d) {
        const int q = nearestPiece[s][d];
        if (attacksAlong(s, q, d, colour)) return q;
    }
    return NO_SQUARE;
}

int findAttackerScan(int s, int colour) {
    const int p = findNonSliderAttacker(s, colour);
    if (p < 64) return p;
    for (int d = 0; d < 8; ++d) {
        const int q = scanNearest(s, d);
        if (attacksAlong(s, q, d, colour)) return q;
    }
    return NO_SQUARE;
}

// Men of `colour` that are queens or sliders along d, standing in a row
// behind p (exclusive), through nearestPiece.
static int countBattery(int p, int d, int colour) {
    int n = 0;
    for (int q = nearestPiece[p][d]; q < 64; q = nearestPiece[q][d]) {
        const std::uint8_t code = board[q];
        if (codeColour(code) != colour || !slidesAlong(codeType(code), d)) break;
        ++n;
    }
    return n;
}

int countAttackers(int s, int colour) {
    int                n    = 0;
    const std::uint8_t pawn = pieceCode(colour, PAWN), knight = pieceCode(colour, KNIGHT);
    for (int i = 0; i < 2; ++i) {
        const int p = pawnAttackerSquare(s, colour, i);
        if (board[p] != pawn) continue;
        n += 1 + countBattery(p, lineDirection[s][p], colour);
    }
    for (const std::uint8_t* t = knightTargets[s]; *t != 255; ++t)
        if (board[*t] == knight) ++n;
    for (int d = 0; d < 8; ++d) {
        const int          p    = nearestPiece[s][d];
        const std::uint8_t code = board[p];
        if (codeColour(code) != colour) continue;
        if (slidesAlong(codeType(code), d))
            n += 1 + countBattery(p, d, colour);
        else if (codeType(code) == KING && p == nextSquare[s][d])
            ++n;
    }
    return n;
}

// Both colours at once: white attackers +1, black -1. firstMan gives the
// first occupied square along each direction from s.
template <typename FirstMan>
static int balanceOf(int s, int colour, FirstMan firstMan) {
    int balance = 0;
    for (int c = 0; c < 2; ++c) {
        const int          sign = c == WHITE ? 1 : -1;
        const std::uint8_t pawn = pieceCode(c, PAWN), knight = pieceCode(c, KNIGHT);
        for (int i = 0; i < 2; ++i) {
            const int p = pawnAttackerSquare(s, c, i);
            if (board[p] == pawn) balance += sign * (1 + countBattery(p, lineDirection[s][p], c));
        }
        for (const std::uint8_t* t = knightTargets[s]; *t != 255; ++t)
            if (board[*t] == knight) balance += sign;
    }
    for (int d = 0; d < 8; ++d) {
        const int          p    = firstMan(d);
        const std::uint8_t code = board[p];
        if (code == EMPTY) continue;
        const int c    = codeColour(code);
        const int sign = c == WHITE ? 1 : -1;
        if (slidesAlong(codeType(code), d))
            balance += sign * (1 + countBattery(p, d, c));
        else if (codeType(code) == KING && p == nextSquare[s][d])
            balance += sign;
    }
    return colour == WHITE ? balance : -balance;
}

int attackBalance(int s, int colour) {
    return balanceOf(s, colour, [s](int d) { return int(nearestPiece[s][d]); });
}

int attackBalanceScan(int s, int colour) {
    return balanceOf(s, colour, [s](int d) { return scanNearest(s, d); });
}

// Squares a castling king crosses and lands on must not be attacked. The
// callers guarantee the king is not in check and the path is empty.
static bool pathAttacked(int a, int b, int enemy) {
    return findAttackerScan(a, enemy) < 64 || findAttackerScan(b, enemy) < 64;
}
bool whiteKingsideAttacked() { return pathAttacked(61, 62, BLACK); }
bool whiteQueensideAttacked() { return pathAttacked(59, 58, BLACK); }
bool blackKingsideAttacked() { return pathAttacked(5, 6, WHITE); }
bool blackQueensideAttacked() { return pathAttacked(3, 2, WHITE); }

int pinAllowsMove(int s, int dir) {
    const int k = kingSquare[side];
    int       d = 0;
    while (d < 8 && nearestPiece[s][d] != k) ++d;
    if (d == 8) return 1;
    const std::uint8_t code = board[nearestPiece[s][d ^ 1]];
    if (codeColour(code) != xside || dir == d || dir == (d ^ 1)) return 1;
    return slidesAlong(codeType(code), d) ? 0 : 1;
}

std::uint16_t computeCheckState() {
    const int k = kingSquare[side];
    const int a = findAttacker(k, xside);
    if (a >= 64) return CHECK_NONE;
    int n = countAttackers(k, xside);
    if (n < 2) return std::uint16_t(a);
    // countAttackers also counted the battery standing behind a.
    const int d = lineDirection[k][a];
    if (d >= 0) n -= countBattery(a, d, xside);
    return std::uint16_t(n > 1 ? a | CHECK_DOUBLE : a);
}
