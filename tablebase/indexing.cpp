// tablebase/indexing.cpp: the twelve index kernels (six shapes of material,
// each with the first or the second side to move) and the tables they read.
// The generator calls a kernel for every position it writes, so they do table
// lookups and a little arithmetic, and nothing else.
#include "tablebase/indexing.h"
#include <algorithm>

// ---------------------------------------------------------------------------
// Geometry, fixed at compile time.

static constexpr std::uint32_t fileOf(std::uint32_t s) { return s & 7; }
static constexpr std::uint32_t rowOf(std::uint32_t s) { return s >> 3; }
static constexpr int distance(int a, int b) { return a > b ? a - b : b - a; }

static constexpr bool kingsTouch(std::uint32_t a, std::uint32_t b) {
    return distance(int(fileOf(a)), int(fileOf(b))) <= 1 && distance(int(rowOf(a)), int(rowOf(b))) <= 1;
}

// a1, b1, c1, d1, b2, c2, d2, c3, d3, d4
static constexpr bool inTriangle(std::uint32_t s) {
    return fileOf(s) <= 3 && rowOf(s) <= 3 && fileOf(s) >= rowOf(s);
}

static constexpr std::uint32_t transposed(std::uint32_t s) { return fileOf(s) * 8 + rowOf(s); }

// Whether a man of enumeration type t on s stands on king k or touches it.
static constexpr bool touchesKing(int t, std::uint32_t s, std::uint32_t k) {
    if (s == k) return true;
    const int df = distance(int(fileOf(s)), int(fileOf(k)));
    const int dr = distance(int(rowOf(s)), int(rowOf(k)));
    switch (t) {
    case 0: return false;
    case 1: return (k == s + 7 && fileOf(s) != 0) || (k == s + 9 && fileOf(s) != 7);
    case 2: return (df == 1 && dr == 2) || (df == 2 && dr == 1);
    case 3: return df == 1 && dr == 1;
    case 4: return df + dr == 1;
    default: return df <= 1 && dr <= 1;
    }
}

static constexpr bool pairUsed(int kind, std::uint32_t ref, std::uint32_t other) {
    if (kingsTouch(ref, other)) return false;
    if (kind == TB_PAWN_KIND) return fileOf(ref) <= 3;
    // With the reference king on the diagonal, reflection still puts the other
    // king on or below it.
    return inTriangle(ref) && (fileOf(ref) != rowOf(ref) || fileOf(other) >= rowOf(other));
}

static constexpr IndexGeometry buildGeometry() {
    IndexGeometry g{};
    for (int kind = 0; kind < 2; ++kind) {
        std::int16_t next = 0;
        for (std::uint32_t ref = 0; ref < 64; ++ref)
            for (std::uint32_t other = 0; other < 64; ++other)
                g.kingPair[kind][ref][other] = pairUsed(kind, ref, other) ? next++ : TB_NO_PAIR;
    }
    for (int t = 0; t < TB_ENUM_TYPES; ++t)
        for (std::uint32_t k = 0; k < 64; ++k) {
            std::uint8_t next = 0;
            for (std::uint32_t s = 0; s < 64; ++s) {
                const bool candidate = t >= 2 || (s >= 8 && s < 56);
                g.rank[t][k][s] = candidate && !touchesKing(t, s, k) ? next++ : TB_NO_RANK;
            }
            g.count[t][k] = next;
        }
    constexpr std::uint32_t masks[4] = {0, 7, 56, 63};
    for (int sym = 0; sym < 8; ++sym)
        for (std::uint32_t s = 0; s < 64; ++s) {
            const std::uint32_t m = s ^ masks[sym & 3];
            g.symmetricSquare[sym][s] = std::uint8_t(sym & 4 ? transposed(m) : m);
        }
    for (std::uint32_t ref = 0; ref < 64; ++ref)
        for (std::uint32_t other = 0; other < 64; ++other) {
            const int quadrant = int((fileOf(ref) >= 4 ? 1 : 0) + (rowOf(ref) >= 4 ? 2 : 0));
            const std::uint32_t r = ref ^ masks[quadrant], o = other ^ masks[quadrant];
            const bool keep = inTriangle(r) && (fileOf(r) != rowOf(r) || fileOf(o) >= rowOf(o));
            const int sym = quadrant + (keep ? 0 : 4);
            g.pieceSymmetry[ref][other] = std::uint8_t(sym);
            g.pieceKingPair[ref][other] =
                g.kingPair[TB_PIECE_KIND][g.symmetricSquare[sym][ref]][g.symmetricSquare[sym][other]];
        }
    return g;
}

constexpr IndexGeometry indexGeometry = buildGeometry();

static_assert(indexGeometry.kingPair[TB_PAWN_KIND][59][63] == TB_PAWN_PAIRS - 1);
static_assert(indexGeometry.kingPair[TB_PIECE_KIND][27][63] == TB_PIECE_PAIRS - 1);

// ---------------------------------------------------------------------------
// Offsets, built once.

std::uint32_t oneManOffset[2][TB_ENUM_TYPES][TB_PAIR_SLOTS];
std::uint32_t twoManOffset[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_PAIR_SLOTS];
std::uint32_t threeManOffset[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_PAIR_SLOTS];
std::uint32_t oneManTotal[2][TB_ENUM_TYPES];
std::uint32_t twoManTotal[2][TB_ENUM_TYPES][TB_ENUM_TYPES];
std::uint32_t threeManTotal[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_ENUM_TYPES];

static constexpr std::uint32_t choose2(std::uint32_t n) { return n * (n - 1) / 2; }
static constexpr std::uint32_t choose3(std::uint32_t n) { return n * (n - 1) * (n - 2) / 6; }

static void buildOffsets() {
    const IndexGeometry& g = indexGeometry;
    for (int kind = 0; kind < 2; ++kind) {
        std::uint32_t run1[TB_ENUM_TYPES] = {};
        std::uint32_t run2[TB_ENUM_TYPES][TB_ENUM_TYPES] = {};
        std::uint32_t run3[TB_ENUM_TYPES][TB_ENUM_TYPES][TB_ENUM_TYPES] = {};
        for (std::uint32_t ref = 0; ref < 64; ++ref)
            for (std::uint32_t other = 0; other < 64; ++other) {
                const int pair = g.kingPair[kind][ref][other];
                if (pair == TB_NO_PAIR) continue;
                // Men are ranked keyed by the other king; none may stand on the reference king.
                std::uint32_t c[TB_ENUM_TYPES];
                for (int t = 0; t < TB_ENUM_TYPES; ++t)
                    c[t] = g.count[t][other] - (g.rank[t][other][ref] != TB_NO_RANK ? 1u : 0u);
                for (int x = 0; x < TB_ENUM_TYPES; ++x) {
                    oneManOffset[kind][x][pair] = run1[x];
                    run1[x] += c[x];
                    for (int y = 0; y <= x; ++y) {
                        twoManOffset[kind][x][y][pair] = run2[x][y];
                        run2[x][y] += x == y ? choose2(c[x]) : c[x] * c[y];
                        for (int z = 0; z <= y; ++z) {
                            std::uint32_t n;
                            if (x == y && y == z) n = choose3(c[x]);
                            else if (x == y) n = choose2(c[x]) * c[z];
                            else if (y == z) n = c[x] * choose2(c[y]);
                            else n = c[x] * c[y] * c[z];
                            threeManOffset[kind][x][y][z][pair] = run3[x][y][z];
                            run3[x][y][z] += n;
                        }
                    }
                }
            }
        for (int x = 0; x < TB_ENUM_TYPES; ++x) {
            oneManTotal[kind][x] = run1[x];
            for (int y = 0; y <= x; ++y) {
                twoManTotal[kind][x][y] = run2[x][y];
                for (int z = 0; z <= y; ++z) threeManTotal[kind][x][y][z] = run3[x][y][z];
            }
        }
    }
}

void initIndexTables() {
    // A function-local static is built exactly once even when the generator's
    // threads race here.
    static const bool built = (buildOffsets(), true);
    (void)built;
}

// ---------------------------------------------------------------------------
// Helpers shared by the kernels.

static constexpr std::uint32_t PAWN = 1;
static constexpr std::uint32_t FREE_PAWN = 0;
static constexpr std::uint32_t FLIP = 56;

static inline std::uint32_t below(std::uint32_t s, std::uint32_t other) { return other < s ? 1u : 0u; }

// Tables with pawns keep ranks in place, mirror files so the reference king is
// on files a-d, and turn the board when the colours are exchanged.
static inline std::uint32_t pawnMask(std::uint32_t ref, std::uint32_t inverted) {
    return ((ref >> 2) & 1) * 7 ^ (inverted & 1) * FLIP;
}

static inline std::uint32_t pawnPair(std::uint32_t ref, std::uint32_t other) {
    const auto p = std::uint32_t(indexGeometry.kingPair[TB_PAWN_KIND][ref][other]);
    return std::min(p, std::uint32_t(TB_PAWN_PAIRS));
}

static inline std::uint32_t piecePair(std::uint32_t ref, std::uint32_t other) {
    const auto p = std::uint32_t(indexGeometry.pieceKingPair[ref][other]);
    return std::min(p, std::uint32_t(TB_PAWN_PAIRS));
}

static inline const std::uint8_t* pieceMap(std::uint32_t ref, std::uint32_t other) {
    return indexGeometry.symmetricSquare[indexGeometry.pieceSymmetry[ref][other]];
}

// Rank of s among the squares of type t keyed by king key, one lower when the
// other king stands on a numbered square below it. When s is numbered, the
// other king's square is numbered and below exactly when its rank is smaller.
static inline std::uint32_t adjustedRank(std::uint32_t t, std::uint32_t key, std::uint32_t other, std::uint32_t s) {
    const std::uint8_t* r = indexGeometry.rank[t][key];
    return std::uint32_t(r[s]) - (r[other] < r[s] ? 1u : 0u);
}

static inline std::uint32_t adjustedCount(std::uint32_t t, std::uint32_t key, std::uint32_t other) {
    return std::uint32_t(indexGeometry.count[t][key]) - (indexGeometry.rank[t][key][other] != TB_NO_RANK ? 1u : 0u);
}

// Two men of one side whose king is ref, ranked keyed by the other king
// (x >= y; a pair of one type is unordered).
template <int KIND, std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t twoManNumber(std::uint32_t pair, std::uint32_t ref, std::uint32_t other,
                                         std::uint32_t sx, std::uint32_t sy) {
    if constexpr (X == Y) {
        const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
        return twoManOffset[KIND][X][X][pair] + choose2(adjustedRank(X, other, ref, b)) + adjustedRank(X, other, ref, a);
    } else {
        return twoManOffset[KIND][X][Y][pair] + adjustedRank(X, other, ref, sx) * adjustedCount(Y, other, ref) +
               adjustedRank(Y, other, ref, sy);
    }
}

// Column of an en-passant capture: 0..6 capturing toward the a-file from
// files b-h, 7..13 toward the h-file from files a-g. 'left' is that the
// capturer's target is its own square + 7 in the frame where it moves up.
static inline std::uint32_t captureColumn(std::uint32_t capturer, bool left) {
    return left ? fileOf(capturer) - 1 : fileOf(capturer) + 7;
}

// ---------------------------------------------------------------------------
// Family 1: one man against a bare king.

template <std::uint32_t X>
static inline std::uint32_t oneManWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t s, std::uint32_t inverted) {
    if constexpr (X == PAWN) {
        const std::uint32_t m = pawnMask(k1, inverted);
        k1 ^= m, k2 ^= m, s ^= m;
        return oneManOffset[TB_PAWN_KIND][PAWN][pawnPair(k1, k2)] + adjustedRank(PAWN, k2, k1, s);
    } else {
        const std::uint8_t* map = pieceMap(k1, k2);
        const std::uint32_t pair = piecePair(k1, k2);
        k1 = map[k1], k2 = map[k2], s = map[s];
        return oneManOffset[TB_PIECE_KIND][X][pair] + adjustedRank(X, k2, k1, s);
    }
}

template <std::uint32_t X>
static inline std::uint32_t oneManBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t s, std::uint32_t inverted) {
    if constexpr (X == PAWN) {
        // Seen from the bare king's side the pawn may attack it: the free-pawn
        // enumeration, with the board turned so the pawn still moves up.
        const std::uint32_t m = pawnMask(k2, inverted) ^ FLIP;
        k1 ^= m, k2 ^= m, s ^= m;
        return oneManOffset[TB_PAWN_KIND][FREE_PAWN][pawnPair(k2, k1)] + adjustedRank(FREE_PAWN, k1, k2, s);
    } else {
        const std::uint8_t* map = pieceMap(k2, k1);
        const std::uint32_t pair = piecePair(k2, k1);
        k1 = map[k1], k2 = map[k2], s = map[s];
        return pair * 62 + s - below(s, k1) - below(s, k2);
    }
}

// ---------------------------------------------------------------------------
// Family 2: one man on each side (X the first side's, Y the second side's).
// With the second side to move the roles are exchanged and, with pawns, the
// board is turned, so that a record whose sides are alike serves both sides
// to move from one file.

template <std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t oneEachWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                         std::uint32_t ep, std::uint32_t inverted) {
    static_assert(X != PAWN || Y == PAWN, "a pawn against a piece is named piece first");
    if constexpr (Y != PAWN) {
        const std::uint8_t* map = pieceMap(k1, k2);
        const std::uint32_t pair = piecePair(k1, k2);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy];
        const std::uint32_t a = oneManOffset[TB_PIECE_KIND][X][pair] + adjustedRank(X, k2, k1, sx);
        return a * 61 + sy - below(sy, k1) - below(sy, k2) - below(sy, sx);
    } else {
        const std::uint32_t m = pawnMask(k1, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m;
        const std::uint32_t pair = pawnPair(k1, k2);
        if constexpr (X != PAWN) {
            return (oneManOffset[TB_PAWN_KIND][X][pair] + adjustedRank(X, k2, k1, sx)) * 48 + sy - 8;
        } else {
            if (ep == TB_NO_EP) {
                const std::uint32_t a = oneManOffset[TB_PAWN_KIND][PAWN][pair] + adjustedRank(PAWN, k2, k1, sx);
                return 47 * a + sy - 8 - below(sy, sx);
            }
            const std::uint32_t e = ep ^ m;
            return 47 * oneManTotal[TB_PAWN_KIND][PAWN] + pair * 14 + captureColumn(sx, sx + 7 == e);
        }
    }
}

template <std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t oneEachBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                         std::uint32_t ep, std::uint32_t inverted) {
    if constexpr (Y != PAWN) {
        const std::uint8_t* map = pieceMap(k2, k1);
        const std::uint32_t pair = piecePair(k2, k1);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy];
        const std::uint32_t a = oneManOffset[TB_PIECE_KIND][Y][pair] + adjustedRank(Y, k1, k2, sy);
        return a * 61 + sx - below(sx, k1) - below(sx, k2) - below(sx, sy);
    } else {
        const std::uint32_t m = pawnMask(k2, inverted) ^ FLIP;
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m;
        const std::uint32_t pair = pawnPair(k2, k1);
        if constexpr (X != PAWN) {
            const std::uint32_t a = oneManOffset[TB_PAWN_KIND][PAWN][pair] + adjustedRank(PAWN, k1, k2, sy);
            return a * 61 + sx - below(sx, k1) - below(sx, k2) - below(sx, sy);
        } else {
            if (ep == TB_NO_EP) {
                const std::uint32_t a = oneManOffset[TB_PAWN_KIND][PAWN][pair] + adjustedRank(PAWN, k1, k2, sy);
                return 47 * a + sx - 8 - below(sx, sy);
            }
            const std::uint32_t e = ep ^ m;
            return 47 * oneManTotal[TB_PAWN_KIND][PAWN] + pair * 14 + captureColumn(sy, sy + 7 == e);
        }
    }
}

// ---------------------------------------------------------------------------
// Family 3: two men (x >= y) against a bare king.

template <std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t twoMenWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                        std::uint32_t inverted) {
    if constexpr (Y == PAWN) {
        const std::uint32_t m = pawnMask(k1, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m;
        return twoManNumber<TB_PAWN_KIND, X, Y>(pawnPair(k1, k2), k1, k2, sx, sy);
    } else {
        const std::uint8_t* map = pieceMap(k1, k2);
        const std::uint32_t pair = piecePair(k1, k2);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy];
        return twoManNumber<TB_PIECE_KIND, X, Y>(pair, k1, k2, sx, sy);
    }
}

template <std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t twoMenBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                        std::uint32_t inverted) {
    if constexpr (Y != PAWN) {
        const std::uint8_t* map = pieceMap(k2, k1);
        const std::uint32_t pair = piecePair(k2, k1);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy];
        if constexpr (X == Y) {
            const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
            return pair * 1891 + choose2(b - below(b, k1) - below(b, k2)) + a - below(a, k1) - below(a, k2);
        } else {
            const std::uint32_t x = sx - below(sx, k1) - below(sx, k2);
            const std::uint32_t y = sy - below(sy, k1) - below(sy, k2) - below(sy, sx);
            return (pair * 62 + x) * 61 + y;
        }
    } else {
        const std::uint32_t m = pawnMask(k2, inverted) ^ FLIP;
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m;
        const std::uint32_t pair = pawnPair(k2, k1);
        if constexpr (X != PAWN) {
            const std::uint32_t p = oneManOffset[TB_PAWN_KIND][FREE_PAWN][pair] + adjustedRank(FREE_PAWN, k1, k2, sy);
            return p * 61 + sx - below(sx, k1) - below(sx, k2) - below(sx, sy);
        } else {
            return twoManNumber<TB_PAWN_KIND, FREE_PAWN, FREE_PAWN>(pair, k2, k1, sx, sy);
        }
    }
}

// ---------------------------------------------------------------------------
// Family 4: two men (x >= y) against one (z).

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z>
static inline std::uint32_t twoAgainstOneWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                               std::uint32_t sz, std::uint32_t ep, std::uint32_t inverted) {
    if constexpr (Y != PAWN && Z != PAWN) {
        const std::uint8_t* map = pieceMap(k1, k2);
        const std::uint32_t pair = piecePair(k1, k2);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz];
        const std::uint32_t s = twoManNumber<TB_PIECE_KIND, X, Y>(pair, k1, k2, sx, sy);
        return s * 60 + sz - below(sz, k2) - below(sz, sy) - below(sz, sx) - below(sz, k1);
    } else {
        const std::uint32_t m = pawnMask(k1, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m, sz ^= m;
        const std::uint32_t pair = pawnPair(k1, k2);
        if constexpr (Z != PAWN) {
            const std::uint32_t s = twoManNumber<TB_PAWN_KIND, X, Y>(pair, k1, k2, sx, sy);
            return s * 60 + sz - below(sz, k2) - below(sz, sy) - below(sz, sx) - below(sz, k1);
        } else if constexpr (Y != PAWN) {
            return twoManNumber<TB_PAWN_KIND, X, Y>(pair, k1, k2, sx, sy) * 48 + sz - 8;
        } else if constexpr (X != PAWN) {
            const std::uint32_t rx = adjustedRank(X, k2, k1, sx);
            if (ep == TB_NO_EP) {
                const std::uint32_t ry = adjustedRank(PAWN, k2, k1, sy);
                const std::uint32_t s = twoManOffset[TB_PAWN_KIND][X][PAWN][pair] + adjustedCount(PAWN, k2, k1) * rx + ry;
                return s * 47 + sz - 8 - below(sz, sy);
            }
            const std::uint32_t e = ep ^ m;
            return twoManTotal[TB_PAWN_KIND][X][PAWN] * 47 + (oneManOffset[TB_PAWN_KIND][X][pair] + rx) * 14 +
                   captureColumn(sy, sy + 7 == e);
        } else {
            const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
            if (ep == TB_NO_EP) {
                const std::uint32_t s = twoManNumber<TB_PAWN_KIND, PAWN, PAWN>(pair, k1, k2, a, b);
                return s * 46 + sz - 8 - below(sz, a) - below(sz, b);
            }
            // The pawn that does not capture is numbered among the squares left
            // free by the capture's set-up (the pawn that moved, the square it
            // passed and the one it came from); when it stands above the
            // capturer one more square lies below it.
            const std::uint32_t e = ep ^ m;
            const auto n = [e, sz](std::uint32_t s) { return 14 * (s - below(s, e + 8) - below(s, e) - below(s, sz)); };
            std::uint32_t v;
            if (a + 7 == e && fileOf(a) != 0) v = n(b) - 127 + fileOf(a);
            else if (a + 9 == e && fileOf(a) != 7) v = n(b) - 119 + fileOf(a);
            else if (b + 7 == e && fileOf(b) != 0) v = n(a) - 113 + fileOf(b);
            else v = n(a) - 105 + fileOf(b);
            return twoManTotal[TB_PAWN_KIND][PAWN][PAWN] * 46 + pair * 616 + v;
        }
    }
}

// The first side's two pieces after the second side's man was numbered r.
template <std::uint32_t X, std::uint32_t Y>
static inline std::uint32_t twoPiecesAfter(std::uint32_t r, std::uint32_t k1, std::uint32_t k2, std::uint32_t sx,
                                           std::uint32_t sy, std::uint32_t sz) {
    if constexpr (X == Y) {
        const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
        return r * 1830 + choose2(b - below(b, sz) - below(b, k2) - below(b, k1)) + a - below(a, sz) - below(a, k2) -
               below(a, k1);
    } else {
        const std::uint32_t x = sx - below(sx, sz) - below(sx, k2) - below(sx, k1);
        return (r * 61 + x) * 60 + sy - below(sy, sz) - below(sy, k2) - below(sy, sx) - below(sy, k1);
    }
}

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z>
static inline std::uint32_t twoAgainstOneBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                               std::uint32_t sz, std::uint32_t ep, std::uint32_t inverted) {
    if constexpr (Y != PAWN && Z != PAWN) {
        const std::uint8_t* map = pieceMap(k2, k1);
        const std::uint32_t pair = piecePair(k2, k1);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz];
        const std::uint32_t r = oneManOffset[TB_PIECE_KIND][Z][pair] + adjustedRank(Z, k1, k2, sz);
        return twoPiecesAfter<X, Y>(r, k1, k2, sx, sy, sz);
    } else {
        const std::uint32_t m = pawnMask(k2, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m, sz ^= m;
        const std::uint32_t pair = pawnPair(k2, k1);
        // The second side's pawn numbered with the board turned, so that it moves up.
        const auto flippedR = [&]() {
            return oneManOffset[TB_PAWN_KIND][PAWN][pawnPair(k2 ^ FLIP, k1 ^ FLIP)] +
                   adjustedRank(PAWN, k1 ^ FLIP, k2 ^ FLIP, sz ^ FLIP);
        };
        if constexpr (Y != PAWN) {
            return twoPiecesAfter<X, Y>(flippedR(), k1, k2, sx, sy, sz);
        } else if constexpr (Z != PAWN) {
            const std::uint32_t r = oneManOffset[TB_PAWN_KIND][Z][pair] + adjustedRank(Z, k1, k2, sz);
            if constexpr (X != PAWN) {
                return (r * 60 + sx - below(sx, sz) - below(sx, k2) - below(sx, sy) - below(sx, k1)) * 48 + sy - 8;
            } else {
                const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
                return r * 1128 + choose2(b - 8) + a - 8;
            }
        } else if constexpr (X != PAWN) {
            if (ep == TB_NO_EP) {
                const std::uint32_t x = sx - below(sx, sz) - below(sx, k2) - below(sx, sy) - below(sx, k1);
                return (flippedR() * 60 + x) * 47 + sy - 8 - below(sy, sz);
            }
            const std::uint32_t e = ep ^ m;
            const std::uint32_t x = sx - below(sx, e - 8) - below(sx, sz) - below(sx, k2) - below(sx, sy) -
                                    below(sx, k1) - below(sx, e);
            return oneManTotal[TB_PAWN_KIND][PAWN] * 2820 + (pair * 58 + x) * 14 + captureColumn(sz, sz == e + 9);
        } else {
            const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
            if (ep == TB_NO_EP)
                return flippedR() * 1081 + choose2(b - 8 - below(b, sz)) + a - 8 - below(a, sz);
            const std::uint32_t e = ep ^ m;
            const auto n = [e, sz](std::uint32_t s) { return 14 * (s - below(s, e - 8) - below(s, e) - below(s, sz)); };
            std::uint32_t v;
            if (sz == e + 9 && fileOf(sz) != 0) v = a == e + 8 ? n(b) - 127 + fileOf(sz) : n(a) - 113 + fileOf(sz);
            else v = a == e + 8 ? n(b) - 119 + fileOf(sz) : n(a) - 105 + fileOf(sz);
            return oneManTotal[TB_PAWN_KIND][PAWN] * 1081 + pair * 616 + v;
        }
    }
}

// ---------------------------------------------------------------------------
// Family 5: three men (x >= y >= z) against a bare king.

template <int KIND, std::uint32_t X, std::uint32_t Y, std::uint32_t Z>
static inline std::uint32_t threeManNumber(std::uint32_t pair, std::uint32_t ref, std::uint32_t other,
                                           std::uint32_t sx, std::uint32_t sy, std::uint32_t sz) {
    const std::uint32_t base = threeManOffset[KIND][X][Y][Z][pair];
    if constexpr (X == Y && Y == Z) {
        const std::uint32_t lo = std::min(sx, sy), hi = std::max(sx, sy);
        const std::uint32_t a = std::min(lo, sz), c = std::max(hi, sz), b = std::max(lo, std::min(hi, sz));
        return base + choose3(adjustedRank(X, other, ref, c)) + choose2(adjustedRank(X, other, ref, b)) +
               adjustedRank(X, other, ref, a);
    } else if constexpr (X == Y) {
        const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
        return base + (choose2(adjustedRank(X, other, ref, b)) + adjustedRank(X, other, ref, a)) *
                          adjustedCount(Z, other, ref) + adjustedRank(Z, other, ref, sz);
    } else if constexpr (Y == Z) {
        const std::uint32_t a = std::min(sy, sz), b = std::max(sy, sz);
        return base + (choose2(adjustedRank(Y, other, ref, b)) + adjustedRank(Y, other, ref, a)) *
                          adjustedCount(X, other, ref) + adjustedRank(X, other, ref, sx);
    } else {
        return base + (adjustedCount(Y, other, ref) * adjustedRank(X, other, ref, sx) + adjustedRank(Y, other, ref, sy)) *
                          adjustedCount(Z, other, ref) + adjustedRank(Z, other, ref, sz);
    }
}

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z>
static inline std::uint32_t threeMenWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                          std::uint32_t sz, std::uint32_t inverted) {
    if constexpr (Z == PAWN) {
        const std::uint32_t m = pawnMask(k1, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m, sz ^= m;
        return threeManNumber<TB_PAWN_KIND, X, Y, Z>(pawnPair(k1, k2), k1, k2, sx, sy, sz);
    } else {
        const std::uint8_t* map = pieceMap(k1, k2);
        const std::uint32_t pair = piecePair(k1, k2);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz];
        return threeManNumber<TB_PIECE_KIND, X, Y, Z>(pair, k1, k2, sx, sy, sz);
    }
}

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z>
static inline std::uint32_t threeMenBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                          std::uint32_t sz, std::uint32_t inverted) {
    if constexpr (Z != PAWN) {
        const std::uint8_t* map = pieceMap(k2, k1);
        const std::uint32_t p = piecePair(k2, k1);
        k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz];
        if constexpr (X == Y && Y == Z) {
            const std::uint32_t lo = std::min(sx, sy), hi = std::max(sx, sy);
            const std::uint32_t a = std::min(lo, sz), c = std::max(hi, sz), b = std::max(lo, std::min(hi, sz));
            return p * 37820 + choose3(c - below(c, k2) - below(c, k1)) + choose2(b - below(b, k2) - below(b, k1)) + a -
                   below(a, k2) - below(a, k1);
        } else if constexpr (X == Y) {
            const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
            const std::uint32_t pairOfX = choose2(b - below(b, k2) - below(b, sz) - below(b, k1)) + a - below(a, k2) -
                                          below(a, sz) - below(a, k1);
            return (p * 1830 + pairOfX) * 62 + sz - below(sz, k2) - below(sz, k1);
        } else if constexpr (Y == Z) {
            const std::uint32_t a = std::min(sy, sz), b = std::max(sy, sz);
            const std::uint32_t x = sx - below(sx, k2) - below(sx, k1);
            return (p * 62 + x) * 1830 + choose2(b - below(b, k2) - below(b, sx) - below(b, k1)) + a - below(a, k2) -
                   below(a, sx) - below(a, k1);
        } else {
            const std::uint32_t x = sx - below(sx, k2) - below(sx, k1);
            const std::uint32_t y = sy - below(sy, k2) - below(sy, sx) - below(sy, k1);
            return ((p * 62 + x) * 61 + y) * 60 + sz - below(sz, k2) - below(sz, sy) - below(sz, sx) - below(sz, k1);
        }
    } else {
        const std::uint32_t m = pawnMask(k2, inverted);
        k1 ^= m, k2 ^= m, sx ^= m, sy ^= m, sz ^= m;
        // Pawns are numbered with the board turned (they may attack the bare king).
        const std::uint32_t k1f = k1 ^ FLIP, k2f = k2 ^ FLIP;
        const std::uint32_t pf = pawnPair(k2f, k1f);
        if constexpr (Y != PAWN) {
            const std::uint32_t r = oneManOffset[TB_PAWN_KIND][FREE_PAWN][pf] + adjustedRank(FREE_PAWN, k1f, k2f, sz ^ FLIP);
            return twoPiecesAfter<X, Y>(r, k1, k2, sx, sy, sz);
        } else if constexpr (X != PAWN) {
            const std::uint32_t s = twoManNumber<TB_PAWN_KIND, FREE_PAWN, FREE_PAWN>(pf, k2f, k1f, sy ^ FLIP, sz ^ FLIP);
            return s * 60 + sx - below(sx, k2) - below(sx, sz) - below(sx, sy) - below(sx, k1);
        } else {
            return threeManNumber<TB_PAWN_KIND, FREE_PAWN, FREE_PAWN, FREE_PAWN>(pf, k2f, k1f, sx ^ FLIP, sy ^ FLIP,
                                                                                   sz ^ FLIP);
        }
    }
}

// ---------------------------------------------------------------------------
// Family 6: two pieces on each side (x >= y first, z >= w second), no pawns.

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z, std::uint32_t W>
static inline std::uint32_t twoEachWhite(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                         std::uint32_t sz, std::uint32_t sw) {
    const std::uint8_t* map = pieceMap(k1, k2);
    const std::uint32_t pair = piecePair(k1, k2);
    k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz], sw = map[sw];
    const std::uint32_t s = twoManNumber<TB_PIECE_KIND, X, Y>(pair, k1, k2, sx, sy);
    const auto free4 = [=](std::uint32_t q) { return q - below(q, k2) - below(q, sy) - below(q, sx) - below(q, k1); };
    if constexpr (Z == W) {
        const std::uint32_t c = std::min(sz, sw), d = std::max(sz, sw);
        return s * 1770 + choose2(free4(d)) + free4(c);
    } else {
        return (s * 60 + free4(sz)) * 59 + free4(sw) - below(sw, sz);
    }
}

template <std::uint32_t X, std::uint32_t Y, std::uint32_t Z, std::uint32_t W>
static inline std::uint32_t twoEachBlack(std::uint32_t k1, std::uint32_t k2, std::uint32_t sx, std::uint32_t sy,
                                         std::uint32_t sz, std::uint32_t sw) {
    const std::uint8_t* map = pieceMap(k2, k1);
    const std::uint32_t pair = piecePair(k2, k1);
    k1 = map[k1], k2 = map[k2], sx = map[sx], sy = map[sy], sz = map[sz], sw = map[sw];
    const std::uint32_t w = twoManNumber<TB_PIECE_KIND, Z, W>(pair, k2, k1, sz, sw);
    const auto free4 = [=](std::uint32_t q) { return q - below(q, sw) - below(q, sz) - below(q, k2) - below(q, k1); };
    if constexpr (X == Y) {
        const std::uint32_t a = std::min(sx, sy), b = std::max(sx, sy);
        return w * 1770 + choose2(free4(b)) + free4(a);
    } else {
        return (w * 60 + free4(sx)) * 59 + free4(sy) - below(sy, sx);
    }
}

// ---------------------------------------------------------------------------
// The per-record routines: pick the men out of the lists and call the kernel.

// List entry of the occurrence-th man of type t.
static constexpr int slotOf(int t, int occurrence) { return (t - 1) * 3 + occurrence; }

template <int SIDE, int F1, int F2, int F3, int S1, int S2>
std::uint32_t indexPosition(const std::uint32_t* first, const std::uint32_t* second, std::uint32_t epSquare,
                            std::uint32_t inverted) {
    constexpr int firstMen = (F1 != 0) + (F2 != 0) + (F3 != 0);
    constexpr int secondMen = (S1 != 0) + (S2 != 0);
    const std::uint32_t k1 = first[TB_KING_ENTRY], k2 = second[TB_KING_ENTRY];
    constexpr std::uint32_t x = F1, y = F2, z = F3, u = S1, w = S2;
    if constexpr (firstMen == 1 && secondMen == 0) {
        const std::uint32_t sx = first[slotOf(F1, 0)];
        return SIDE == 0 ? oneManWhite<x>(k1, k2, sx, inverted) : oneManBlack<x>(k1, k2, sx, inverted);
    } else if constexpr (firstMen == 1 && secondMen == 1) {
        const std::uint32_t sx = first[slotOf(F1, 0)], sy = second[slotOf(S1, 0)];
        return SIDE == 0 ? oneEachWhite<x, u>(k1, k2, sx, sy, epSquare, inverted)
                         : oneEachBlack<x, u>(k1, k2, sx, sy, epSquare, inverted);
    } else if constexpr (firstMen == 2 && secondMen == 0) {
        const std::uint32_t sx = first[slotOf(F1, 0)], sy = first[slotOf(F2, F2 == F1)];
        return SIDE == 0 ? twoMenWhite<x, y>(k1, k2, sx, sy, inverted) : twoMenBlack<x, y>(k1, k2, sx, sy, inverted);
    } else if constexpr (firstMen == 2 && secondMen == 1) {
        const std::uint32_t sx = first[slotOf(F1, 0)], sy = first[slotOf(F2, F2 == F1)], sz = second[slotOf(S1, 0)];
        return SIDE == 0 ? twoAgainstOneWhite<x, y, u>(k1, k2, sx, sy, sz, epSquare, inverted)
                         : twoAgainstOneBlack<x, y, u>(k1, k2, sx, sy, sz, epSquare, inverted);
    } else if constexpr (firstMen == 3 && secondMen == 0) {
        const std::uint32_t sx = first[slotOf(F1, 0)], sy = first[slotOf(F2, F2 == F1)],
                            sz = first[slotOf(F3, (F3 == F1) + (F3 == F2))];
        return SIDE == 0 ? threeMenWhite<x, y, z>(k1, k2, sx, sy, sz, inverted)
                         : threeMenBlack<x, y, z>(k1, k2, sx, sy, sz, inverted);
    } else {
        static_assert(firstMen == 2 && secondMen == 2, "no kernel for this material");
        static_assert(F2 != 1 && S2 != 1, "four-man sides have no pawns");
        const std::uint32_t sx = first[slotOf(F1, 0)], sy = first[slotOf(F2, F2 == F1)];
        const std::uint32_t sz = second[slotOf(S1, 0)], sw = second[slotOf(S2, S2 == S1)];
        (void)epSquare, (void)inverted;
        return SIDE == 0 ? twoEachWhite<x, y, u, w>(k1, k2, sx, sy, sz, sw) : twoEachBlack<x, y, u, w>(k1, k2, sx, sy, sz, sw);
    }
}

#define INSTANTIATE(f1, f2, f3, s1, s2)                                                                         \
    template std::uint32_t indexPosition<0, f1, f2, f3, s1, s2>(const std::uint32_t*, const std::uint32_t*,   \
                                                                 std::uint32_t, std::uint32_t);               \
    template std::uint32_t indexPosition<1, f1, f2, f3, s1, s2>(const std::uint32_t*, const std::uint32_t*,   \
                                                                 std::uint32_t, std::uint32_t);

// Every record's two routines (first side's men, then the second side's).
INSTANTIATE(1, 0, 0, 0, 0)  // kpk
INSTANTIATE(2, 0, 0, 0, 0)  // knk
INSTANTIATE(3, 0, 0, 0, 0)  // kbk
INSTANTIATE(4, 0, 0, 0, 0)  // krk
INSTANTIATE(5, 0, 0, 0, 0)  // kqk
INSTANTIATE(1, 0, 0, 1, 0)  // kpkp
INSTANTIATE(2, 0, 0, 1, 0)  // knkp
INSTANTIATE(2, 0, 0, 2, 0)  // knkn
INSTANTIATE(3, 0, 0, 1, 0)  // kbkp
INSTANTIATE(3, 0, 0, 2, 0)  // kbkn
INSTANTIATE(3, 0, 0, 3, 0)  // kbkb
INSTANTIATE(4, 0, 0, 1, 0)  // krkp
INSTANTIATE(4, 0, 0, 2, 0)  // krkn
INSTANTIATE(4, 0, 0, 3, 0)  // krkb
INSTANTIATE(4, 0, 0, 4, 0)  // krkr
INSTANTIATE(5, 0, 0, 1, 0)  // kqkp
INSTANTIATE(5, 0, 0, 2, 0)  // kqkn
INSTANTIATE(5, 0, 0, 3, 0)  // kqkb
INSTANTIATE(5, 0, 0, 4, 0)  // kqkr
INSTANTIATE(5, 0, 0, 5, 0)  // kqkq
INSTANTIATE(1, 1, 0, 0, 0)  // kppk
INSTANTIATE(2, 1, 0, 0, 0)  // knpk
INSTANTIATE(2, 2, 0, 0, 0)  // knnk
INSTANTIATE(3, 1, 0, 0, 0)  // kbpk
INSTANTIATE(3, 2, 0, 0, 0)  // kbnk
INSTANTIATE(3, 3, 0, 0, 0)  // kbbk
INSTANTIATE(4, 1, 0, 0, 0)  // krpk
INSTANTIATE(4, 2, 0, 0, 0)  // krnk
INSTANTIATE(4, 3, 0, 0, 0)  // krbk
INSTANTIATE(4, 4, 0, 0, 0)  // krrk
INSTANTIATE(5, 1, 0, 0, 0)  // kqpk
INSTANTIATE(5, 2, 0, 0, 0)  // kqnk
INSTANTIATE(5, 3, 0, 0, 0)  // kqbk
INSTANTIATE(5, 4, 0, 0, 0)  // kqrk
INSTANTIATE(5, 5, 0, 0, 0)  // kqqk
INSTANTIATE(1, 1, 0, 1, 0)  // kppkp
INSTANTIATE(1, 1, 0, 2, 0)  // kppkn
INSTANTIATE(1, 1, 0, 3, 0)  // kppkb
INSTANTIATE(1, 1, 0, 4, 0)  // kppkr
INSTANTIATE(1, 1, 0, 5, 0)  // kppkq
INSTANTIATE(2, 1, 0, 1, 0)  // knpkp
INSTANTIATE(2, 1, 0, 2, 0)  // knpkn
INSTANTIATE(2, 1, 0, 3, 0)  // knpkb
INSTANTIATE(2, 1, 0, 4, 0)  // knpkr
INSTANTIATE(2, 1, 0, 5, 0)  // knpkq
INSTANTIATE(2, 2, 0, 1, 0)  // knnkp
INSTANTIATE(2, 2, 0, 2, 0)  // knnkn
INSTANTIATE(2, 2, 0, 3, 0)  // knnkb
INSTANTIATE(2, 2, 0, 4, 0)  // knnkr
INSTANTIATE(2, 2, 0, 5, 0)  // knnkq
INSTANTIATE(3, 1, 0, 1, 0)  // kbpkp
INSTANTIATE(3, 1, 0, 2, 0)  // kbpkn
INSTANTIATE(3, 1, 0, 3, 0)  // kbpkb
INSTANTIATE(3, 1, 0, 4, 0)  // kbpkr
INSTANTIATE(3, 1, 0, 5, 0)  // kbpkq
INSTANTIATE(3, 2, 0, 1, 0)  // kbnkp
INSTANTIATE(3, 2, 0, 2, 0)  // kbnkn
INSTANTIATE(3, 2, 0, 3, 0)  // kbnkb
INSTANTIATE(3, 2, 0, 4, 0)  // kbnkr
INSTANTIATE(3, 2, 0, 5, 0)  // kbnkq
INSTANTIATE(3, 3, 0, 1, 0)  // kbbkp
INSTANTIATE(3, 3, 0, 2, 0)  // kbbkn
INSTANTIATE(3, 3, 0, 3, 0)  // kbbkb
INSTANTIATE(3, 3, 0, 4, 0)  // kbbkr
INSTANTIATE(3, 3, 0, 5, 0)  // kbbkq
INSTANTIATE(4, 1, 0, 1, 0)  // krpkp
INSTANTIATE(4, 1, 0, 2, 0)  // krpkn
INSTANTIATE(4, 1, 0, 3, 0)  // krpkb
INSTANTIATE(4, 1, 0, 4, 0)  // krpkr
INSTANTIATE(4, 1, 0, 5, 0)  // krpkq
INSTANTIATE(4, 2, 0, 1, 0)  // krnkp
INSTANTIATE(4, 2, 0, 2, 0)  // krnkn
INSTANTIATE(4, 2, 0, 3, 0)  // krnkb
INSTANTIATE(4, 2, 0, 4, 0)  // krnkr
INSTANTIATE(4, 2, 0, 5, 0)  // krnkq
INSTANTIATE(4, 3, 0, 1, 0)  // krbkp
INSTANTIATE(4, 3, 0, 2, 0)  // krbkn
INSTANTIATE(4, 3, 0, 3, 0)  // krbkb
INSTANTIATE(4, 3, 0, 4, 0)  // krbkr
INSTANTIATE(4, 3, 0, 5, 0)  // krbkq
INSTANTIATE(4, 4, 0, 1, 0)  // krrkp
INSTANTIATE(4, 4, 0, 2, 0)  // krrkn
INSTANTIATE(4, 4, 0, 3, 0)  // krrkb
INSTANTIATE(4, 4, 0, 4, 0)  // krrkr
INSTANTIATE(4, 4, 0, 5, 0)  // krrkq
INSTANTIATE(5, 1, 0, 1, 0)  // kqpkp
INSTANTIATE(5, 1, 0, 2, 0)  // kqpkn
INSTANTIATE(5, 1, 0, 3, 0)  // kqpkb
INSTANTIATE(5, 1, 0, 4, 0)  // kqpkr
INSTANTIATE(5, 1, 0, 5, 0)  // kqpkq
INSTANTIATE(5, 2, 0, 1, 0)  // kqnkp
INSTANTIATE(5, 2, 0, 2, 0)  // kqnkn
INSTANTIATE(5, 2, 0, 3, 0)  // kqnkb
INSTANTIATE(5, 2, 0, 4, 0)  // kqnkr
INSTANTIATE(5, 2, 0, 5, 0)  // kqnkq
INSTANTIATE(5, 3, 0, 1, 0)  // kqbkp
INSTANTIATE(5, 3, 0, 2, 0)  // kqbkn
INSTANTIATE(5, 3, 0, 3, 0)  // kqbkb
INSTANTIATE(5, 3, 0, 4, 0)  // kqbkr
INSTANTIATE(5, 3, 0, 5, 0)  // kqbkq
INSTANTIATE(5, 4, 0, 1, 0)  // kqrkp
INSTANTIATE(5, 4, 0, 2, 0)  // kqrkn
INSTANTIATE(5, 4, 0, 3, 0)  // kqrkb
INSTANTIATE(5, 4, 0, 4, 0)  // kqrkr
INSTANTIATE(5, 4, 0, 5, 0)  // kqrkq
INSTANTIATE(5, 5, 0, 1, 0)  // kqqkp
INSTANTIATE(5, 5, 0, 2, 0)  // kqqkn
INSTANTIATE(5, 5, 0, 3, 0)  // kqqkb
INSTANTIATE(5, 5, 0, 4, 0)  // kqqkr
INSTANTIATE(5, 5, 0, 5, 0)  // kqqkq
INSTANTIATE(1, 1, 1, 0, 0)  // kpppk
INSTANTIATE(2, 1, 1, 0, 0)  // knppk
INSTANTIATE(2, 2, 1, 0, 0)  // knnpk
INSTANTIATE(2, 2, 2, 0, 0)  // knnnk
INSTANTIATE(3, 1, 1, 0, 0)  // kbppk
INSTANTIATE(3, 2, 1, 0, 0)  // kbnpk
INSTANTIATE(3, 2, 2, 0, 0)  // kbnnk
INSTANTIATE(3, 3, 1, 0, 0)  // kbbpk
INSTANTIATE(3, 3, 2, 0, 0)  // kbbnk
INSTANTIATE(3, 3, 3, 0, 0)  // kbbbk
INSTANTIATE(4, 1, 1, 0, 0)  // krppk
INSTANTIATE(4, 2, 1, 0, 0)  // krnpk
INSTANTIATE(4, 2, 2, 0, 0)  // krnnk
INSTANTIATE(4, 3, 1, 0, 0)  // krbpk
INSTANTIATE(4, 3, 2, 0, 0)  // krbnk
INSTANTIATE(4, 3, 3, 0, 0)  // krbbk
INSTANTIATE(4, 4, 1, 0, 0)  // krrpk
INSTANTIATE(4, 4, 2, 0, 0)  // krrnk
INSTANTIATE(4, 4, 3, 0, 0)  // krrbk
INSTANTIATE(4, 4, 4, 0, 0)  // krrrk
INSTANTIATE(5, 1, 1, 0, 0)  // kqppk
INSTANTIATE(5, 2, 1, 0, 0)  // kqnpk
INSTANTIATE(5, 2, 2, 0, 0)  // kqnnk
INSTANTIATE(5, 3, 1, 0, 0)  // kqbpk
INSTANTIATE(5, 3, 2, 0, 0)  // kqbnk
INSTANTIATE(5, 3, 3, 0, 0)  // kqbbk
INSTANTIATE(5, 4, 1, 0, 0)  // kqrpk
INSTANTIATE(5, 4, 2, 0, 0)  // kqrnk
INSTANTIATE(5, 4, 3, 0, 0)  // kqrbk
INSTANTIATE(5, 4, 4, 0, 0)  // kqrrk
INSTANTIATE(5, 5, 1, 0, 0)  // kqqpk
INSTANTIATE(5, 5, 2, 0, 0)  // kqqnk
INSTANTIATE(5, 5, 3, 0, 0)  // kqqbk
INSTANTIATE(5, 5, 4, 0, 0)  // kqqrk
INSTANTIATE(5, 5, 5, 0, 0)  // kqqqk
INSTANTIATE(2, 2, 0, 2, 2)  // knnknn
INSTANTIATE(3, 2, 0, 2, 2)  // kbnknn
INSTANTIATE(3, 3, 0, 2, 2)  // kbbknn
INSTANTIATE(3, 3, 0, 3, 2)  // kbbkbn
INSTANTIATE(3, 3, 0, 3, 3)  // kbbkbb
INSTANTIATE(4, 2, 0, 2, 2)  // krnknn
INSTANTIATE(4, 2, 0, 3, 3)  // krnkbb
INSTANTIATE(4, 3, 0, 2, 2)  // krbknn
INSTANTIATE(4, 3, 0, 3, 3)  // krbkbb
INSTANTIATE(4, 4, 0, 2, 2)  // krrknn
INSTANTIATE(4, 4, 0, 3, 2)  // krrkbn
INSTANTIATE(4, 4, 0, 3, 3)  // krrkbb
INSTANTIATE(4, 4, 0, 4, 2)  // krrkrn
INSTANTIATE(4, 4, 0, 4, 4)  // krrkrr
INSTANTIATE(5, 2, 0, 2, 2)  // kqnknn
INSTANTIATE(5, 2, 0, 3, 3)  // kqnkbb
INSTANTIATE(5, 2, 0, 4, 4)  // kqnkrr
INSTANTIATE(5, 3, 0, 2, 2)  // kqbknn
INSTANTIATE(5, 3, 0, 3, 3)  // kqbkbb
INSTANTIATE(5, 3, 0, 4, 4)  // kqbkrr
INSTANTIATE(5, 4, 0, 2, 2)  // kqrknn
INSTANTIATE(5, 4, 0, 3, 3)  // kqrkbb
INSTANTIATE(5, 4, 0, 4, 4)  // kqrkrr
INSTANTIATE(5, 5, 0, 2, 2)  // kqqknn
INSTANTIATE(5, 5, 0, 3, 2)  // kqqkbn
INSTANTIATE(5, 5, 0, 3, 3)  // kqqkbb
INSTANTIATE(5, 5, 0, 4, 2)  // kqqkrn
INSTANTIATE(5, 5, 0, 4, 3)  // kqqkrb
INSTANTIATE(5, 5, 0, 4, 4)  // kqqkrr
INSTANTIATE(5, 5, 0, 5, 2)  // kqqkqn
INSTANTIATE(5, 5, 0, 5, 3)  // kqqkqb
INSTANTIATE(5, 5, 0, 5, 4)  // kqqkqr
INSTANTIATE(5, 5, 0, 5, 5)  // kqqkqq

#undef INSTANTIATE
