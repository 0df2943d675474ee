// Placements, legality and list filling for the tablebase index tests.
#include "tests/tablebase/index_support.h"
#include <cstdlib>

static int letterType(char c) {
    switch (c) {
    case 'p': return 1;
    case 'n': return 2;
    case 'b': return 3;
    case 'r': return 4;
    default: return 5;
    }
}

TbMaterial materialOf(int ordinal) {
    TbMaterial m{};
    m.ordinal = ordinal;
    const char* name = tablebaseCatalogue[ordinal].name;
    bool second = false;
    for (int i = 1; name[i] != '\0'; ++i) {
        if (name[i] == 'k') {
            second = true;
            continue;
        }
        m.type[m.men++] = letterType(name[i]);
        if (!second) ++m.firstMen;
    }
    return m;
}

bool recordHasPawns(const TbMaterial& m) {
    for (int i = 0; i < m.men; ++i)
        if (m.type[i] == 1) return true;
    return false;
}

bool recordHasEnPassant(const TbMaterial& m) {
    bool first = false, second = false;
    for (int i = 0; i < m.men; ++i)
        if (m.type[i] == 1) (i < m.firstMen ? first : second) = true;
    return first && second;
}

void fillLists(const TbMaterial& m, const TbPlacement& p, std::uint32_t first[16], std::uint32_t second[16]) {
    // Entries no routine may read hold a square far off the board.
    for (int i = 0; i < 16; ++i) first[i] = second[i] = 0x40000000u;
    int used[2][6] = {};
    for (int i = 0; i < m.men; ++i) {
        const int side = i < m.firstMen ? 0 : 1;
        const int t = m.type[i];
        (side == 0 ? first : second)[(t - 1) * 3 + used[side][t]++] = p.square[i];
    }
    first[TB_KING_ENTRY] = p.king[0];
    second[TB_KING_ENTRY] = p.king[1];
}

std::uint32_t indexOf(const TbMaterial& m, const TbPlacement& p, int side) {
    std::uint32_t first[16], second[16];
    fillLists(m, p, first, second);
    return tablebaseCatalogue[m.ordinal].indexRoutine[side](first, second, p.ep, 0);
}

static int fileOf(std::uint32_t s) { return int(s & 7); }
static int rowOf(std::uint32_t s) { return int(s >> 3); }

static bool occupiedSquare(const TbMaterial& m, const TbPlacement& p, int s) {
    if (std::uint32_t(s) == p.king[0] || std::uint32_t(s) == p.king[1]) return true;
    for (int i = 0; i < m.men; ++i)
        if (p.square[i] == std::uint32_t(s)) return true;
    return false;
}

// Whether a man of the given type and colour (0 moves up) on 'from' attacks 'to'.
static bool attacks(const TbMaterial& m, const TbPlacement& p, int type, int colour, std::uint32_t from,
                    std::uint32_t to) {
    const int df = fileOf(to) - fileOf(from), dr = rowOf(to) - rowOf(from);
    switch (type) {
    case 1: return dr == (colour == 0 ? 1 : -1) && std::abs(df) == 1;
    case 2: return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    default: break;
    }
    const bool straight = df == 0 || dr == 0;
    const bool diagonal = std::abs(df) == std::abs(dr);
    if (from == to || (!straight && !diagonal)) return false;
    if ((type == 3 && !diagonal) || (type == 4 && !straight)) return false;
    const int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    for (int s = int(from) + step; s != int(to); s += step)
        if (occupiedSquare(m, p, s)) return false;
    return true;
}

static bool pawnOf(const TbMaterial& m, const TbPlacement& p, int colour, int s) {
    for (int i = 0; i < m.men; ++i)
        if (m.type[i] == 1 && (i < m.firstMen ? 0 : 1) == colour && p.square[i] == std::uint32_t(s)) return true;
    return false;
}

// The pawn that just moved two squares (colour 'mover') and an enemy pawn beside it.
static bool soundEnPassant(const TbMaterial& m, const TbPlacement& p, int side) {
    const int mover = side ^ 1;
    const int e = int(p.ep);
    if (e < 16 || e >= 48) return false;
    const int pawn = mover == 0 ? e + 8 : e - 8;
    const int origin = mover == 0 ? e - 8 : e + 8;
    if (rowOf(std::uint32_t(e)) != (mover == 0 ? 2 : 5)) return false;
    if (!pawnOf(m, p, mover, pawn) || occupiedSquare(m, p, e) || occupiedSquare(m, p, origin)) return false;
    const bool left = fileOf(std::uint32_t(pawn)) > 0 && pawnOf(m, p, side, pawn - 1);
    const bool right = fileOf(std::uint32_t(pawn)) < 7 && pawnOf(m, p, side, pawn + 1);
    return left || right;
}

bool isLegal(const TbMaterial& m, const TbPlacement& p, int side) {
    const std::uint32_t k1 = p.king[0], k2 = p.king[1];
    if (k1 > 63 || k2 > 63 || (std::abs(fileOf(k1) - fileOf(k2)) <= 1 && std::abs(rowOf(k1) - rowOf(k2)) <= 1))
        return false;
    for (int i = 0; i < m.men; ++i) {
        const std::uint32_t s = p.square[i];
        if (s > 63 || s == k1 || s == k2 || !squareAllowed(m.type[i], s)) return false;
        for (int j = 0; j < i; ++j)
            if (p.square[j] == s) return false;
    }
    const std::uint32_t target = p.king[side ^ 1];
    for (int i = 0; i < m.men; ++i) {
        const int colour = i < m.firstMen ? 0 : 1;
        if (colour == side && attacks(m, p, m.type[i], colour, p.square[i], target)) return false;
    }
    return p.ep == TB_NO_EP || soundEnPassant(m, p, side);
}

namespace tbdetail {
bool enPassantSquares(const TbMaterial& m, const TbPlacement& p, int side, std::uint32_t out[2], int* count) {
    *count = 0;
    const int mover = side ^ 1;
    for (int i = 0; i < m.men; ++i) {
        if (m.type[i] != 1 || (i < m.firstMen ? 0 : 1) != mover) continue;
        const std::uint32_t s = p.square[i];
        if (rowOf(s) != (mover == 0 ? 3 : 4)) continue;
        TbPlacement q = p;
        q.ep = mover == 0 ? s - 8 : s + 8;
        if (soundEnPassant(m, q, side)) out[(*count)++] = q.ep;
    }
    return *count > 0;
}
}  // namespace tbdetail
