// tbmake/placement.cpp: the two placement numberings, legality of a decoded
// board, the catalogue index of a placement and the records one capture or
// promotion away.
#include "tbmake/placement.h"
#include <algorithm>
#include <array>
#include "tablebase/catalogue.h"
#include "tbmake/tablefiles.h"

// The eight symmetries of the board as square maps: bit 2 reflects in the
// a1-h8 diagonal, then bit 0 mirrors the files and bit 1 the ranks.
constexpr int transposed(int s) { return ((s & 7) << 3) | (s >> 3); }
constexpr bool onDiagonal(int s) { return (s & 7) == (s >> 3); }
constexpr bool inTriangle(int s) { return (s & 7) < 4 && (s >> 3) <= (s & 7); }

constexpr std::array<std::array<std::uint8_t, 64>, 8> makeSymmetrySquares() {
    std::array<std::array<std::uint8_t, 64>, 8> map{};
    for (int c = 0; c < 8; ++c)
        for (int s = 0; s < 64; ++s) {
            int t = (c & 4) ? transposed(s) : s;
            if (c & 1) t ^= 7;
            if (c & 2) t ^= 56;
            map[std::size_t(c)][std::size_t(s)] = std::uint8_t(t);
        }
    return map;
}
constexpr auto symmetrySquare = makeSymmetrySquares();

// The symmetry that brings a first king on each square into the triangle.
constexpr std::array<std::uint8_t, 64> makeToTriangle() {
    std::array<std::uint8_t, 64> to{};
    for (int s = 0; s < 64; ++s) {
        int c = 0;
        while (!inTriangle(symmetrySquare[std::size_t(c)][std::size_t(s)])) ++c;
        to[std::size_t(s)] = std::uint8_t(c);
    }
    return to;
}
constexpr auto toTriangle = makeToTriangle();

// The ten triangle squares a1, b1, c1, d1, b2, c2, d2, c3, d3, d4.
constexpr std::array<std::uint8_t, 10> triangleSquare = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

// King pairs that can stand on a board: the second king neither on nor
// beside the first. Without pawns the first king is in the triangle and,
// on its diagonal, the second not above it (that board's reflection has the
// smaller index): 462 pairs; with pawns the first king on files a-d: 1806.
// Numbers rise with the second king's square for each first king, which
// the choice between two diagonal images relies on.
constexpr std::uint16_t NO_PAIR = 0xFFFF;
constexpr bool kingsApart(int a, int b) {
    const int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    return df * df > 1 || dr * dr > 1;
}
struct KingPairs {
    std::uint16_t number[64][64];  // NO_PAIR when the pair is not numbered
    std::uint16_t kings[1806];     // first | second << 6
    std::uint16_t count;
};
constexpr KingPairs makeKingPairs(bool pawnless) {
    KingPairs pairs{};
    for (auto& row : pairs.number)
        for (auto& n : row) n = NO_PAIR;
    for (int slot = 0; slot < (pawnless ? 10 : 32); ++slot) {
        const int first = pawnless ? triangleSquare[std::size_t(slot)] : (slot >> 2) * 8 + (slot & 3);
        for (int second = 0; second < 64; ++second) {
            if (!kingsApart(first, second)) continue;
            if (pawnless && onDiagonal(first) && (second >> 3) > (second & 7)) continue;
            pairs.number[first][second] = pairs.count;
            pairs.kings[pairs.count++]  = std::uint16_t(first | second << 6);
        }
    }
    return pairs;
}
constexpr KingPairs kingPairs[2] = {makeKingPairs(false), makeKingPairs(true)};
static_assert(kingPairs[0].count == 1806 && kingPairs[1].count == 462);

// Sets of two and three like men by the combinatorial number system: squares
// a < b < c number C(c,3) + C(b,2) + a, so counting up c, then b, then a
// lists the sets in index order. Entries pack a | b << 6 | c << 12.
constexpr std::uint32_t PAIRS = 2016, TRIPLES = 41664;  // C(64,2), C(64,3)
constexpr std::array<std::uint16_t, PAIRS> makePairSquares() {
    std::array<std::uint16_t, PAIRS> sets{};
    std::size_t                      n = 0;
    for (int b = 1; b < 64; ++b)
        for (int a = 0; a < b; ++a) sets[n++] = std::uint16_t(a | b << 6);
    return sets;
}
constexpr std::array<std::uint32_t, TRIPLES> makeTripleSquares() {
    std::array<std::uint32_t, TRIPLES> sets{};
    std::size_t                        n = 0;
    for (int c = 2; c < 64; ++c)
        for (int b = 1; b < c; ++b)
            for (int a = 0; a < b; ++a) sets[n++] = std::uint32_t(a | b << 6 | c << 12);
    return sets;
}
constexpr auto pairSquares   = makePairSquares();
constexpr auto tripleSquares = makeTripleSquares();

void setUpPlacement(int ordinal, Placement& layout, bool folded) {
    std::uint8_t counts[2][5];
    recordMaterial(ordinal, counts[0], counts[1]);
    layout.ordinal = ordinal;
    layout.men     = 2;
    layout.type[0] = layout.type[1] = TBC_KING;
    layout.colour[0] = 0;
    layout.colour[1] = 1;
    for (int c = 0; c < 2; ++c)
        for (int t = 4; t >= 0; --t)
            for (int k = 0; k < counts[c][t]; ++k) {
                layout.type[layout.men]     = std::uint8_t(t);
                layout.colour[layout.men++] = std::uint8_t(c);
            }
    layout.enPassant = counts[0][0] > 0 && counts[1][0] > 0;
    layout.folded    = folded;
    layout.pawnless  = folded && counts[0][0] == 0 && counts[1][0] == 0;
    layout.groups    = 0;
    if (!folded) {
        layout.size = std::uint64_t(32) << (6 * (layout.men - 1));
        return;
    }
    layout.size = kingPairs[layout.pawnless].count;
    for (int i = 2; i < layout.men; ++i) {
        if (i > 2 && layout.type[i] == layout.type[i - 1] && layout.colour[i] == layout.colour[i - 1]) {
            ++layout.groupSize[layout.groups - 1];
            continue;
        }
        const int g = layout.groups++;
        layout.groupFirst[g] = std::uint8_t(i);
        layout.groupSize[g]  = 1;
        // Pawns stand on ranks 2-7; with pawns on both sides rank 1 (first
        // side) or rank 8 (second side) holds a just-pushed pawn as well.
        const bool pawn     = layout.type[i] == 0;
        layout.groupBase[g] = pawn && !(layout.enPassant && layout.colour[i] == 0) ? 8 : 0;
        layout.groupSpan[g] = !pawn ? 64 : layout.enPassant ? 56 : 48;
    }
    for (int g = 0; g < layout.groups; ++g) {
        // Sets within squares 0 .. n-1 take exactly the first C(n,k) numbers.
        const std::uint64_t n = layout.groupSpan[g];
        layout.groupRadix[g]  = std::uint32_t(layout.groupSize[g] == 1   ? n
                                              : layout.groupSize[g] == 2 ? n * (n - 1) / 2
                                                                         : n * (n - 1) * (n - 2) / 6);
        layout.size *= layout.groupRadix[g];
    }
}

// The folded index of squares already turned: king pair, then every group
// of like men as one set; NO_PLACEMENT for kings side by side.
static std::uint64_t foldedIndex(const Placement& layout, const std::uint8_t* square) {
    const std::uint16_t pair = kingPairs[layout.pawnless].number[square[0]][square[1]];
    if (pair == NO_PAIR) return NO_PLACEMENT;
    std::uint64_t index = pair;
    for (int g = 0; g < layout.groups; ++g) {
        const std::uint8_t* s    = square + layout.groupFirst[g];
        const std::uint64_t base = layout.groupBase[g];
        if (layout.groupSize[g] == 1) {
            index = index * layout.groupRadix[g] + (s[0] - base);
        } else if (layout.groupSize[g] == 2) {
            const std::uint64_t a = std::min(s[0], s[1]) - base, b = std::max(s[0], s[1]) - base;
            index = index * layout.groupRadix[g] + b * (b - 1) / 2 + a;
        } else {
            std::uint64_t a = s[0] - base, b = s[1] - base, c = s[2] - base;
            if (a > b) std::swap(a, b);
            if (b > c) std::swap(b, c);
            if (a > b) std::swap(a, b);
            index = index * layout.groupRadix[g] + c * (c - 1) * (c - 2) / 6 + b * (b - 1) / 2 + a;
        }
    }
    return index;
}

std::uint64_t encodePlacement(const Placement& layout, const TbPosition& p) {
    if (layout.pawnless) {
        // Of the (at most two) symmetries that bring the first king into the
        // triangle, the one giving the smaller index stands for the position.
        // The pair numbering settles it unless both kings are on the diagonal.
        std::uint8_t square[TBC_MAX_MEN];
        const auto&  map = symmetrySquare[toTriangle[p.square[0]]];
        for (int i = 0; i < layout.men; ++i) square[i] = map[p.square[i]];
        const int second = square[1];
        if (!onDiagonal(square[0]) || (second >> 3) < (second & 7)) return foldedIndex(layout, square);
        const std::uint64_t index = onDiagonal(second) ? foldedIndex(layout, square) : NO_PLACEMENT;
        for (int i = 0; i < layout.men; ++i) square[i] = std::uint8_t(transposed(square[i]));
        return std::min(index, foldedIndex(layout, square));
    }
    const int mirror = (p.square[0] & 7) >= 4 ? 7 : 0;
    int       pushed = -1;
    if (p.epSquare != TBC_NO_EP) pushed = p.toMove == 1 ? p.epSquare + 8 : p.epSquare - 8;
    if (layout.folded) {
        std::uint8_t square[TBC_MAX_MEN];
        for (int i = 0; i < layout.men; ++i) {
            int s = p.square[i];
            if (s == pushed && i >= 2) s += p.colour[i] == 0 ? -24 : 24;
            square[i] = std::uint8_t(s ^ mirror);
        }
        return foldedIndex(layout, square);
    }
    const int     king  = p.square[0] ^ mirror;
    std::uint64_t index = std::uint64_t((king >> 3) * 4 + (king & 7)) * 64 + std::uint64_t(p.square[1] ^ mirror);
    for (int i = 2; i < layout.men; ++i) {
        int s = p.square[i];
        if (s == pushed) s += p.colour[i] == 0 ? -24 : 24;
        index = index * 64 + std::uint64_t(s ^ mirror);
    }
    return index;
}

// The squares of a folded index, men of a group in rising order.
static void unfoldSquares(const Placement& layout, std::uint64_t index, TbPosition& p) {
    for (int g = layout.groups - 1; g >= 0; --g) {
        std::uint8_t* s    = p.square + layout.groupFirst[g];
        const int     base = layout.groupBase[g];
        std::uint32_t digit;
        if (layout.groupRadix[g] == 64) {  // a shift, not a division
            digit = std::uint32_t(index & 63);
            index >>= 6;
        } else {
            digit = std::uint32_t(index % layout.groupRadix[g]);
            index /= layout.groupRadix[g];
        }
        if (layout.groupSize[g] == 1) {
            s[0] = std::uint8_t(digit + std::uint32_t(base));
        } else if (layout.groupSize[g] == 2) {
            const std::uint16_t set = pairSquares[digit];
            s[0] = std::uint8_t((set & 63) + base);
            s[1] = std::uint8_t((set >> 6) + base);
        } else {
            const std::uint32_t set = tripleSquares[digit];
            s[0] = std::uint8_t((set & 63) + std::uint32_t(base));
            s[1] = std::uint8_t(((set >> 6) & 63) + std::uint32_t(base));
            s[2] = std::uint8_t((set >> 12) + std::uint32_t(base));
        }
    }
    const std::uint16_t kings = kingPairs[layout.pawnless].kings[index];
    p.square[0]               = std::uint8_t(kings & 63);
    p.square[1]               = std::uint8_t(kings >> 6);
}

bool decodePlacement(const Placement& layout, std::uint64_t index, int toMove, TbPosition& p) {
    p.men      = layout.men;
    p.toMove   = std::uint8_t(toMove);
    p.epSquare = TBC_NO_EP;
    for (int i = 0; i < layout.men; ++i) {
        p.type[i]   = i < 2 ? TBC_KING : layout.type[i];
        p.colour[i] = i < 2 ? std::uint8_t(i) : layout.colour[i];
    }
    if (layout.folded) {
        unfoldSquares(layout, index, p);
    } else {
        std::uint64_t rest = index;
        for (int i = layout.men - 1; i >= 2; --i) {
            p.square[i] = std::uint8_t(rest & 63);
            rest >>= 6;
        }
        p.square[1] = std::uint8_t(rest & 63);
        rest >>= 6;
        p.square[0] = std::uint8_t((rest >> 2) * 8 + (rest & 3));
    }
    int pushed = -1;
    for (int i = 2; i < p.men; ++i) {
        if (p.type[i] != 0) continue;
        const int rank = p.square[i] >> 3;
        if (rank != 0 && rank != 7) continue;
        // Rank 1 holds the first side's just-pushed pawn, rank 8 the second's.
        if (!layout.enPassant || pushed >= 0 || rank != (p.colour[i] == 0 ? 0 : 7) || p.colour[i] == toMove)
            return false;
        pushed      = i;
        p.square[i] = std::uint8_t(p.square[i] + (rank == 0 ? 24 : -24));
        p.epSquare  = std::uint8_t(rank == 0 ? p.square[i] - 8 : p.square[i] + 8);
    }
    std::uint64_t occ = 0;
    for (int i = 0; i < p.men; ++i) {
        if ((occ >> p.square[i]) & 1) return false;
        occ |= std::uint64_t(1) << p.square[i];
    }
    // With the first king on the a1-h8 diagonal the reflection in it gives
    // the same position a second index; the smaller one stands for it.
    if (layout.pawnless) return !onDiagonal(p.square[0]) || !onDiagonal(p.square[1]) || encodePlacement(layout, p) == index;
    if (pushed < 0) return true;
    const int s = p.square[pushed], start = p.colour[pushed] == 0 ? s - 16 : s + 16;
    if ((occ >> p.epSquare) & 1 || (occ >> start) & 1) return false;
    for (int j = 2; j < p.men; ++j)
        if (p.type[j] == 0 && p.colour[j] == toMove && (p.square[j] >> 3) == (s >> 3) &&
            (p.square[j] - s == 1 || s - p.square[j] == 1))
            return true;
    return false;
}

bool isOwnMirrorImage(const Placement& layout, const TbPosition& p) {
    if (!layout.pawnless) return false;
    // Only a reflection in a diagonal fixes both kings' squares; it maps each
    // group of like men onto itself or the board is not its own image.
    for (int flip = 0; flip < 64; flip += 63) {
        if ((flip ^ transposed(p.square[0])) != p.square[0] || (flip ^ transposed(p.square[1])) != p.square[1]) continue;
        bool same = true;
        for (int g = 0; g < layout.groups && same; ++g) {
            std::uint64_t here = 0, image = 0;
            for (int i = layout.groupFirst[g]; i < layout.groupFirst[g] + layout.groupSize[g]; ++i) {
                here |= std::uint64_t(1) << p.square[i];
                image |= std::uint64_t(1) << (flip ^ transposed(p.square[i]));
            }
            same = here == image;
        }
        if (same) return true;
    }
    return false;
}

TbPosition transposedPosition(const TbPosition& p) {
    TbPosition q = p;
    for (int i = 0; i < q.men; ++i)
        if (q.square[i] != TBC_GONE) q.square[i] = std::uint8_t(transposed(q.square[i]));
    if (q.epSquare != TBC_NO_EP) q.epSquare = std::uint8_t(transposed(q.epSquare));
    return q;
}

bool isLegalPlacement(const TbPosition& p) {
    if (isInCheck(p, p.toMove ^ 1)) return false;
    if (p.epSquare == TBC_NO_EP) return true;
    TbPosition before = p;
    before.toMove     = std::uint8_t(p.toMove ^ 1);
    before.epSquare   = TBC_NO_EP;
    const int pushedTo = p.toMove == 1 ? p.epSquare + 8 : p.epSquare - 8;
    for (int i = 2; i < p.men; ++i)
        if (p.square[i] == pushedTo) before.square[i] = std::uint8_t(p.toMove == 1 ? pushedTo - 16 : pushedTo + 16);
    return !isInCheck(before, p.toMove);
}

std::uint32_t fileIndexOf(int ordinal, int side, const TbPosition& p) {
    std::uint32_t lists[2][16] = {};
    pieceListsOf(p, lists);
    return tablebaseCatalogue[ordinal].indexRoutine[side](lists[0], lists[1], p.epSquare, 0);
}

// The record of a material and the file side read when `toMove` (a colour of
// `counts`) is to move there, marked in `sides` as subtableSidesOf says.
static void addRecord(const std::uint8_t counts[2][5], int toMove, std::vector<int>& records,
                      std::vector<std::uint8_t>& sides) {
    int       first = 0;
    const int o     = recordOfMaterial(counts, first);
    if (o <= 0) return;
    const int fileSide = (tablebaseCatalogue[o].flags & TB_SYMMETRIC) ? 0 : toMove ^ first;
    auto      at       = std::find(records.begin(), records.end(), o);
    if (at == records.end()) {
        records.push_back(o);
        sides.push_back(0);
        at = records.end() - 1;
    }
    sides[std::size_t(at - records.begin())] |= std::uint8_t(1 << (2 * (toMove ^ 1) + fileSide));
}

void subtablesOf(int ordinal, std::vector<int>& records) {
    std::vector<std::uint8_t> sides;
    subtableSidesOf(ordinal, records, sides);
}

void subtableSidesOf(int ordinal, std::vector<int>& records, std::vector<std::uint8_t>& sides) {
    std::uint8_t counts[2][5];
    recordMaterial(ordinal, counts[0], counts[1]);
    for (int c = 0; c < 2; ++c)
        for (int t = 0; t < 5; ++t) {
            if (!counts[c][t]) continue;
            // A capture of this man (the other side moved, this one is to
            // move after it) ...
            std::uint8_t after[2][5];
            std::copy(&counts[0][0], &counts[0][0] + 10, &after[0][0]);
            --after[c][t];
            addRecord(after, c, records, sides);
            // ... and a promotion of a pawn of the other side, with or
            // without this capture.
            for (int with = 0; with < 2; ++with) {
                std::uint8_t promoted[2][5];
                std::copy(&counts[0][0], &counts[0][0] + 10, &promoted[0][0]);
                if (with) --promoted[c][t];
                const int pawnSide = c ^ 1;
                if (!promoted[pawnSide][0]) continue;
                --promoted[pawnSide][0];
                for (int piece = 1; piece <= 4; ++piece) {
                    ++promoted[pawnSide][piece];
                    addRecord(promoted, c, records, sides);
                    --promoted[pawnSide][piece];
                }
            }
        }
    // Promotions without a capture when the other side has no men at all.
    for (int c = 0; c < 2; ++c) {
        if (!counts[c][0]) continue;
        std::uint8_t promoted[2][5];
        std::copy(&counts[0][0], &counts[0][0] + 10, &promoted[0][0]);
        --promoted[c][0];
        for (int piece = 1; piece <= 4; ++piece) {
            ++promoted[c][piece];
            addRecord(promoted, c ^ 1, records, sides);
            --promoted[c][piece];
        }
    }
}
