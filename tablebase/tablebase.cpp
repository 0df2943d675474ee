// tablebase/tablebase.cpp: the material tree, tablebase start-up and the
// probe. A probe allocates nothing and touches a file only on a cache miss;
// every value is re-scored in 16-bit wrapping arithmetic.
#include "tablebase/tablebase.h"
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/attacks.h"
#include "board/position.h"
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tablebase/indexing.h"
#include "tablebase/tbfiles.h"

char        egtbPath[256];
std::int8_t egtbCacheSizeLog = 10;
int         egtbMaxPieces    = -1;

namespace {

// Material tree: ten levels, one per men count (white P N B R Q, then black's).
// A node is a run of m + 1 slots for the counts 0..m, m being what the men
// counted so far leave of four. An inner slot holds the first slot of its
// child; a slot on the last level is a leaf. Runs over all levels: C(15, 5) - 1.
constexpr int TREE_LEVELS = 10, TREE_MEN = 4, TREE_SLOTS = 3002;

std::int16_t materialTree[TREE_SLOTS];
bool         treeBuilt = false;

int layOutNode(int level, int most, int& next) {
    const int start = next;
    next += most + 1;
    if (level < TREE_LEVELS - 1)
        for (int c = 0; c <= most; ++c) materialTree[start + c] = std::int16_t(layOutNode(level + 1, most - c, next));
    else
        for (int c = 0; c <= most; ++c) materialTree[start + c] = 0;
    return start;
}

void buildMaterialTree() {
    int next = 0;
    layOutNode(0, TREE_MEN, next);
    treeBuilt = next == TREE_SLOTS;
}

// The leaf slot of the counts, or -1 when they leave the tree.
int leafSlot(const std::uint8_t counts[TREE_LEVELS]) {
    int node = 0, left = TREE_MEN;
    for (int level = 0;; ++level) {
        const int c = counts[level];
        if (c > left) return -1;
        if (level == TREE_LEVELS - 1) return node + c;
        node = materialTree[node + c];
        left -= c;
    }
}

// Enters a record's material with white as its first side (+ordinal) and,
// when the colour-exchanged material differs, with black first (-ordinal).
// kpkp is its own exchange without being flagged symmetric: it keeps the
// +ordinal entry, so white to move reads kpkp.nbw and black to move
// kpkp.nbb, neither inverted. (Overwriting with -ordinal would send every
// kpkp probe down the inverted path; correct tables answer alike either way.)
bool enterMaterial(int ordinal) {
    std::uint8_t first[5], second[5], counts[TREE_LEVELS];
    recordMaterial(ordinal, first, second);
    std::memcpy(counts, first, 5);
    std::memcpy(counts + 5, second, 5);
    const int direct = leafSlot(counts);
    if (direct < 0) return false;
    materialTree[direct] = std::int16_t(ordinal);
    if (std::memcmp(first, second, 5) == 0) return true;
    std::memcpy(counts, second, 5);
    std::memcpy(counts + 5, first, 5);
    const int exchanged = leafSlot(counts);
    if (exchanged < 0) return false;
    materialTree[exchanged] = std::int16_t(-ordinal);
    return true;
}

void registerOrQuit(const char* directory, int ordinal, int side, int& highest) {
    if (!registerTableSide(directory, ordinal, side)) return;
    if (!enterMaterial(ordinal)) {
        std::printf("*** Unable to register %s\n", tableFileName(ordinal, side));
        std::fflush(stdout);
        std::exit(1);
    }
    if (ordinal > highest) highest = ordinal;
}

// Registers every table found along the path; the first directory that has
// a table side wins. Returns the most men of any registered table, or 0.
int registerTablebases(const char* path) {
    closeTableFiles();
    initIndexTables();
    buildMaterialTree();  // every leaf back to "no table"
    forgetTableFiles();
    int         highest = 0;
    const char* p       = path;
    while (*p) {
        const std::size_t length = std::strcspn(p, ",;");
        if (length > 0 && length < 256) {
            char directory[256];
            std::memcpy(directory, p, length);
            directory[length] = '\0';
            // A mistyped path would otherwise only show as weaker endgames.
            if (!isDirectory(directory))
                std::fprintf(stderr, "tablebase: %s: no such directory\n", directory);
            for (int r = 1; r < TB_RECORDS; ++r) {
                registerOrQuit(directory, r, 0, highest);
                if (!(tablebaseCatalogue[r].flags & TB_SYMMETRIC)) registerOrQuit(directory, r, 1, highest);
            }
        }
        p += length;
        if (*p) ++p;
    }
    return highest > TB_LAST_FIVE_MAN    ? 6
           : highest > TB_LAST_FOUR_MAN  ? 5
           : highest > TB_LAST_THREE_MAN ? 4
           : highest >= 1                ? 3
                                         : 0;
}

// The en-passant square in tablebase numbering, or TB_NO_EP. The tables'
// en-passant indices assume a pawn of the side to move can capture, so the
// square counts only when one stands beside the pawn that just moved.
std::uint32_t usableEpSquare() {
    if (epSquare >= 64) return TB_NO_EP;
    const int pushed = side == WHITE ? epSquare + 8 : epSquare - 8;
    if (pushed < 0 || pushed >= 64 || board[pushed] != pieceCode(xside, PAWN)) return TB_NO_EP;
    const std::uint8_t capturer = pieceCode(side, PAWN);
    if ((fileOf(pushed) > 0 && board[pushed - 1] == capturer) || (fileOf(pushed) < 7 && board[pushed + 1] == capturer))
        return std::uint32_t(epSquare ^ 56);
    return TB_NO_EP;
}

// v > 0: 2v + 10002, v < 0: 2v - 10004, in 16 bits with wrapping.
constexpr std::uint32_t WIN_OFFSET  = std::uint32_t(MATE_SCORE + 2);  // 10002
constexpr std::uint32_t LOSS_OFFSET = std::uint32_t(MATE_SCORE + 4);  // 10004
std::int16_t scoreOfValue(std::int32_t v) {
    const std::uint32_t w = std::uint32_t(v);  // modular
    const auto u = std::uint16_t(v > 0 ? 2u * w + WIN_OFFSET : v < 0 ? 2u * w - LOSS_OFFSET : 0u);
    return u < 0x8000 ? std::int16_t(u) : std::int16_t(int(u) - 0x10000);
}

}  // namespace

int materialLeaf(const std::uint8_t counts[10]) {
    if (!treeBuilt) return 0;
    const int slot = leafSlot(counts);
    return slot < 0 ? 0 : materialTree[slot];
}

void initTablebases() {
    if (egtbMaxPieces >= 0 || egtbPath[0] == '\0') return;
    egtbMaxPieces = registerTablebases(egtbPath);
    if (egtbMaxPieces < 1) {
        allocateBlockCache(0);
        return;
    }
    const int n = egtbCacheSizeLog < 5 || egtbCacheSizeLog > 20 ? 11 : egtbCacheSizeLog;
    if (!allocateBlockCache(std::size_t(1) << (n + 10))) egtbMaxPieces = 0;
}

bool probeTablebase(std::int16_t* score) {
    // 1. Piece lists: entry (type - 1) * 3 + i, the king in entry 15. More
    //    than four men besides the kings is never in a table.
    if (menCount > 6 || kingSquare[WHITE] >= 64 || kingSquare[BLACK] >= 64) return false;
    std::uint32_t lists[2][16] = {};
    std::uint8_t  counts[TREE_LEVELS] = {};
    for (int colour = 0; colour < 2; ++colour) {
        std::uint8_t* own = counts + 5 * colour;
        for (Bitboard b = occupiedBy[colour]; b; b &= b - 1) {
            const int sq   = 63 - __builtin_ctzll(b);
            const int type = codeType(board[sq]);
            if (type == KING) continue;
            if (own[type] < 3) lists[colour][type * 3 + own[type]] = std::uint32_t(sq ^ 56);
            ++own[type];
        }
        lists[colour][TB_KING_ENTRY] = std::uint32_t(kingSquare[colour] ^ 56);
    }
    // 2. The record, and which colour plays its first side.
    const int leaf = materialLeaf(counts);
    if (leaf == 0) return false;
    const int  ordinal   = leaf > 0 ? leaf : -leaf;
    const bool inverted  = leaf < 0;
    const int  tableSide = inverted ? side ^ 1 : side;
    const TablebaseRecord& record = tablebaseCatalogue[ordinal];
    // 3. Symmetric records keep both sides in the white-to-move file.
    const int fileSide = (record.flags & TB_SYMMETRIC) ? 0 : tableSide;
    if (!isTableSideRegistered(ordinal, fileSide) || !record.indexRoutine[tableSide]) return false;
    // 4. Set-ups no game reaches have an index but no value: the kings side
    //    by side, or the side not to move in check. A compressed table may
    //    hold anything there, so they are turned away before it is read.
    //    (An en-passant square is only ever set where the push was legal.)
    if (kingDistance(kingSquare[WHITE], kingSquare[BLACK]) <= 1 || findAttacker(kingSquare[xside], side) < 64)
        return false;
    // 5. The index; one the table does not cover is an unplayable set-up.
    const std::uint32_t* first  = lists[inverted ? BLACK : WHITE];
    const std::uint32_t* second = lists[inverted ? WHITE : BLACK];
    const std::uint32_t  index  = record.indexRoutine[tableSide](first, second, usableEpSquare(), inverted ? 1u : 0u);
    if (index >= record.positionCount[tableSide]) return false;
    // 6. The value, re-scored for the search.
    const std::int32_t v = lookupTableValue(ordinal, fileSide, index);
    if (v == TB_VALUE_UNKNOWN) return false;
    *score = scoreOfValue(v);
    return true;
}
