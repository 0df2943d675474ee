// tbmake/placement.cpp: placement numbering, legality of a decoded board, the
// catalogue index of a placement and the records one capture or promotion away.
#include "tbmake/placement.h"
#include <algorithm>
#include "tablebase/catalogue.h"

void setUpPlacement(int ordinal, Placement& layout) {
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
    layout.size      = std::uint64_t(32) << (6 * (layout.men - 1));
}

std::uint64_t encodePlacement(const Placement& layout, const TbPosition& p) {
    const int mirror = (p.square[0] & 7) >= 4 ? 7 : 0;
    int       pushed = -1;
    if (p.epSquare != TBC_NO_EP) pushed = p.toMove == 1 ? p.epSquare + 8 : p.epSquare - 8;
    const int     king  = p.square[0] ^ mirror;
    std::uint64_t index = std::uint64_t((king >> 3) * 4 + (king & 7)) * 64 + std::uint64_t(p.square[1] ^ mirror);
    for (int i = 2; i < layout.men; ++i) {
        int s = p.square[i];
        if (s == pushed) s += p.colour[i] == 0 ? -24 : 24;
        index = index * 64 + std::uint64_t(s ^ mirror);
    }
    return index;
}

bool decodePlacement(const Placement& layout, std::uint64_t index, int toMove, TbPosition& p) {
    p.men      = layout.men;
    p.toMove   = std::uint8_t(toMove);
    p.epSquare = TBC_NO_EP;
    for (int i = layout.men - 1; i >= 2; --i) {
        p.square[i] = std::uint8_t(index & 63);
        index >>= 6;
        p.type[i]   = layout.type[i];
        p.colour[i] = layout.colour[i];
    }
    p.square[1] = std::uint8_t(index & 63);
    index >>= 6;
    p.square[0] = std::uint8_t((index >> 2) * 8 + (index & 3));
    for (int k = 0; k < 2; ++k) {
        p.type[k]   = TBC_KING;
        p.colour[k] = std::uint8_t(k);
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
    if (pushed < 0) return true;
    const int s = p.square[pushed], start = p.colour[pushed] == 0 ? s - 16 : s + 16;
    if ((occ >> p.epSquare) & 1 || (occ >> start) & 1) return false;
    for (int j = 2; j < p.men; ++j)
        if (p.type[j] == 0 && p.colour[j] == toMove && (p.square[j] >> 3) == (s >> 3) &&
            (p.square[j] - s == 1 || s - p.square[j] == 1))
            return true;
    return false;
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

static void addRecord(const std::uint8_t counts[2][5], std::vector<int>& records) {
    int o = findTablebaseRecord(materialName(counts[0], counts[1]).c_str());
    if (o < 0) o = findTablebaseRecord(materialName(counts[1], counts[0]).c_str());
    if (o > 0 && std::find(records.begin(), records.end(), o) == records.end()) records.push_back(o);
}

void subtablesOf(int ordinal, std::vector<int>& records) {
    std::uint8_t counts[2][5];
    recordMaterial(ordinal, counts[0], counts[1]);
    for (int c = 0; c < 2; ++c)
        for (int t = 0; t < 5; ++t) {
            if (!counts[c][t]) continue;
            // A capture of this man ...
            std::uint8_t after[2][5];
            std::copy(&counts[0][0], &counts[0][0] + 10, &after[0][0]);
            --after[c][t];
            addRecord(after, records);
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
                    addRecord(promoted, records);
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
            addRecord(promoted, records);
            --promoted[c][piece];
        }
    }
}
