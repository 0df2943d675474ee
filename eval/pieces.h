// eval/pieces.h: the piece loop (piece-square values, rook files, line
// mobility, attack units against the enemy king) and king safety.
#pragma once
#include <cstdint>
#include "board/attacks.h"

struct PawnHashEntry;

namespace pieceTables {
struct Tables {
    // For a king on k and a square s: the first direction from s (0..7 in
    // order) whose ray meets the king's 3x3 zone, packed as
    // nearestZoneSquare * 256 + direction * 16 + kingDistance(s, k); -1 if none.
    std::int16_t kingLine[64][64];
    std::int16_t kingDiagonal[64][64];  // the same, diagonal directions only
    // Empty squares on a line whose nearest men are e1 (even direction) and
    // e2 (odd direction), 64 meaning the edge, the mover's square excluded:
    // [0] NW-SE diagonal, [1] file, [2] NE-SW diagonal, [3] rank.
    std::int8_t lineMobility[65][65][4];
    std::int8_t openLineMobility[64][2];  // squares of an empty NW-SE, NE-SW diagonal
};
constexpr int popCount(Bitboard b) {
    int n = 0;
    for (; b; b &= b - 1) ++n;
    return n;
}
constexpr std::int16_t kingLineEntry(int k, int s, int firstDir) {
    const auto& g = geometry::tables;
    for (int d = firstDir; d < 8; ++d)
        for (int t = g.nextSquare[s][d]; t < 64; t = g.nextSquare[t][d])
            if (kingDistance(t, k) <= 1) return std::int16_t(t * 256 + d * 16 + kingDistance(s, k));
    return -1;
}
constexpr Tables buildTables() {
    Tables      t{};
    const auto& g = geometry::tables;
    for (int k = 0; k < 64; ++k)
        for (int s = 0; s < 64; ++s) {
            t.kingLine[k][s]     = kingLineEntry(k, s, 0);
            t.kingDiagonal[k][s] = kingLineEntry(k, s, 4);
        }
    for (int e1 = 0; e1 <= 64; ++e1)
        for (int e2 = 0; e2 <= 64; ++e2) {
            std::int8_t* m = t.lineMobility[e1][e2];
            if (e1 < 64 && e2 < 64) {
                const int d = e1 > e2 ? e1 - e2 : e2 - e1;
                m[0] = std::int8_t(d / 9 - 2);
                m[1] = std::int8_t(d / 8 - 2);
                m[2] = std::int8_t(d / 7 - 2);
                m[3] = std::int8_t(d - 2);
            } else if (e2 < 64) {
                m[0] = std::int8_t(popCount(g.rayMask[e2][NORTH_WEST]) - 1);
                m[1] = std::int8_t((e2 >> 3) - 1);
                m[2] = std::int8_t(popCount(g.rayMask[e2][NORTH_EAST]) - 1);
                m[3] = std::int8_t((e2 & 7) - 1);
            } else if (e1 < 64) {
                m[0] = std::int8_t(popCount(g.rayMask[e1][SOUTH_EAST]) - 1);
                m[1] = std::int8_t(6 - (e1 >> 3));
                m[2] = std::int8_t(popCount(g.rayMask[e1][SOUTH_WEST]) - 1);
                m[3] = std::int8_t(6 - (e1 & 7));
            } else {
                m[1] = m[3] = 7;
            }
        }
    for (int s = 0; s < 64; ++s) {
        t.openLineMobility[s][0] =
            std::int8_t(popCount(g.rayMask[s][NORTH_WEST]) + popCount(g.rayMask[s][SOUTH_EAST]));
        t.openLineMobility[s][1] =
            std::int8_t(popCount(g.rayMask[s][NORTH_EAST]) + popCount(g.rayMask[s][SOUTH_WEST]));
    }
    return t;
}
inline constexpr Tables tables = buildTables();
}  // namespace pieceTables

inline constexpr const auto& kingLine         = pieceTables::tables.kingLine;
inline constexpr const auto& kingDiagonal     = pieceTables::tables.kingDiagonal;
inline constexpr const auto& lineMobility     = pieceTables::tables.lineMobility;
inline constexpr const auto& openLineMobility = pieceTables::tables.openLineMobility;

extern const std::int16_t KING_ATTACK_WEIGHT[16];  // by attack units 0..15

struct PieceTerms {
    int pieces;      // piece-square values, blocked pawns, rook terms (white's view)
    int mobility;    // line mobility of bishops and rooks (white's view)
    int kingSafety;  // both king terms (white's view)
};
// The piece loop and both kings' safety for the current position.
PieceTerms evaluatePieces(PawnHashEntry& entry);
