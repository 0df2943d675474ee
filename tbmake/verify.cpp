// tbmake/verify.cpp: checks finished table files position by position with
// forward moves only: each stored value must be exactly what one move more
// makes of its successors' values, read back from the files through the
// catalogue's index routines. Indices no position reaches must hold 127 in
// an uncompressed file; a compressed one may hold anything there.
#include "tbmake/verify.h"
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tbmake/parallel.h"
#include "tbmake/progress.h"
#include "tbmake/placement.h"
#include "tbmake/tablefiles.h"
#include "tbmake/tbposition.h"

struct VerifyCounts {
    std::atomic<std::uint64_t> positions{0};
    std::atomic<std::uint64_t> errors{0};
    std::atomic<int>           reported{0};
};

static void reportError(VerifyCounts& counts, const char* table, const TbPosition& p, const char* what, int stored,
                        int expected) {
    ++counts.errors;
    if (counts.reported.fetch_add(1) >= 10) return;
    std::fprintf(stderr, "%s: %s, side %d, squares", table, what, p.toMove);
    for (int i = 0; i < p.men; ++i) std::fprintf(stderr, " %d", p.square[i]);
    std::fprintf(stderr, " ep %d: stored %d, expected %d\n", p.epSquare, stored, expected);
}

// Images that share an index with a placement checked anyway: a board turned
// upside down (no pawns), and like men exchanged.
static bool worthChecking(const Placement& layout, const TbPosition& p) {
    bool pawns = false;
    for (int i = 2; i < p.men; ++i) {
        if (p.type[i] == 0) pawns = true;
        if (i > 2 && p.type[i] == p.type[i - 1] && p.colour[i] == p.colour[i - 1] && p.square[i] < p.square[i - 1])
            return false;
    }
    (void)layout;
    return pawns || (p.square[0] >> 3) < 4;
}

// Where the material's positions sit: its record, which colour the record
// names first (by colour to move of the placements), and each table side's
// bytes.
struct TableSides {
    int                ordinal;
    int                first[2];
    const std::int8_t* bytes[2];  // by table side
};

// The value one move more makes of the successors, or 127 when one of them
// could not be read. A move that neither captures nor promotes stays in the
// table, so its successor's piece lists are the position's own with one
// square changed; those successors are indexed directly and their bytes
// fetched ahead, which is most of the work for most positions.
static int valueFromSuccessors(const TbPosition& p, const TableSides& table, int first, std::uint32_t lists[2][16],
                               const std::uint8_t entryOf[]) {
    TbMove    moves[TBC_MAX_MOVES];
    const int n = generateTbMoves(p, moves);
    if (n == 0) return isInCheck(p, p.toMove) ? -126 : 0;
    const int           side  = (p.toMove ^ 1) ^ first;  // the successors' table side
    const std::uint32_t count = tablebaseCatalogue[table.ordinal].positionCount[side];
    const std::int8_t*  at[TBC_MAX_MOVES];
    std::int8_t         leaving[TBC_MAX_MOVES];
    for (int i = 0; i < n; ++i) {
        const TbMove&    m = moves[i];
        const TbPosition q = applyTbMove(p, m);
        if (!staysInTable(m)) {
            int w = 0;
            if (!lookUpTbValue(q, w)) return 127;
            leaving[i] = std::int8_t(w);
            at[i]      = &leaving[i];
            continue;
        }
        std::uint32_t& entry      = lists[p.colour[m.man]][entryOf[m.man]];
        entry                     = m.to;
        const std::uint32_t index = indexFromLists(table.ordinal, first, side, lists, q.epSquare);
        entry                     = p.square[m.man];
        if (index >= count) return 127;
        at[i] = table.bytes[side] + index;
        __builtin_prefetch(at[i]);
    }
    int  shortestLoss = -1, longestWin = -1;
    bool allWin = true;
    for (int i = 0; i < n; ++i) {
        const int w = *at[i];
        if (w == 127) return 127;
        const bool wins  = (w > 0) || w == -128;
        const bool loses = w < 0 && w != -128;
        if (loses && (shortestLoss < 0 || pliesOfValue(w) < shortestLoss)) shortestLoss = pliesOfValue(w);
        if (wins && pliesOfValue(w) > longestWin) longestWin = pliesOfValue(w);
        if (!wins) allWin = false;
    }
    if (shortestLoss >= 0) return valueOfPlies(shortestLoss + 1);
    if (allWin) return valueOfPlies(longestWin + 1);
    return 0;
}

// Whether the side is read from its uncompressed file (taken first when
// there is one), where unreached indices must hold 127.
static bool readUncompressed(const std::string& directory, int ordinal, int side) {
    std::uint64_t     bytes = 0;
    const std::string path  = directory + "/" + tablebaseCatalogue[ordinal].name + (side ? ".nbb" : ".nbw");
    return fileSize(path.c_str(), bytes);
}

static bool verifyOne(const std::string& directory, int ordinal, std::uint64_t& indices, std::uint64_t& errors) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    const auto             start = std::chrono::steady_clock::now();
    Placement              layout;
    setUpPlacement(ordinal, layout);
    VerifyCounts counts;
    const int    sides = (r.flags & TB_SYMMETRIC) ? 1 : 2;
    // Reached indices per file side.
    std::unique_ptr<std::atomic<std::uint8_t>[]> reached[2];
    for (int side = 0; side < sides; ++side) {
        reached[side].reset(new std::atomic<std::uint8_t>[r.positionCount[side]]);
        for (std::uint32_t i = 0; i < r.positionCount[side]; ++i) reached[side][i].store(0, std::memory_order_relaxed);
    }
    // The table itself, as the look-ups see it.
    TbPosition probe;
    TableSides table{ordinal, {0, 0}, {nullptr, nullptr}};
    // The table and every table its captures and promotions lead to, read
    // whole before any position is checked.
    std::vector<int>          records{ordinal};
    std::vector<std::uint8_t> used{std::uint8_t(sides == 2 ? 3 : 1)};
    subtableSidesOf(ordinal, records, used);
    for (std::size_t k = 0; k < records.size(); ++k)
        for (int side = 0; side < 2; ++side) {
            std::string problem;
            if ((used[k] >> side & 1 || used[k] >> (2 + side) & 1) && !tableSideReads(records[k], side, problem)) {
                progressOutput("%-7s cannot be read: %s\n", r.name, problem.c_str());
                ++errors;
                return false;
            }
        }
    for (int side = 0; side < 2; ++side) {
        std::uint64_t index = 0;
        while (!decodePlacement(layout, index, side, probe) || !isLegalPlacement(probe)) ++index;
        std::uint8_t men[2][5];
        materialOf(probe, men);
        recordOfMaterial(men, table.first[side]);
    }
    for (int side = 0; side < 2; ++side) table.bytes[side] = tableBytes(ordinal, sides == 2 ? side : 0);
    // A large table takes minutes: say how far it is.
    const bool large = layout.size > (std::uint64_t(1) << 26);
    for (int side = 0; side < 2; ++side) {
        const std::string label = std::string(r.name) + ": checked, " + (side ? "second" : "first") + " side to move,";
        runParallel(
            layout.size,
            [&](std::uint64_t begin, std::uint64_t end) {
                // Counted here and added once: a shared counter bumped per
                // position costs more than checking the position.
                std::uint64_t checked = 0;
                for (std::uint64_t index = begin; index < end; ++index) {
                    TbPosition p;
                    if (!decodePlacement(layout, index, side, p) || !isLegalPlacement(p)) continue;
                    if (!worthChecking(layout, p)) continue;
                    std::uint32_t lists[2][16] = {};
                    std::uint8_t  entryOf[TBC_MAX_MEN];
                    pieceListsOf(p, lists, entryOf);
                    const int           first = table.first[side];
                    const int           own   = p.toMove ^ first;
                    const std::uint32_t at    = indexFromLists(ordinal, first, own, lists, p.epSquare);
                    if (at >= r.positionCount[own]) {
                        reportError(counts, r.name, p, "index out of range", 0, 0);
                        continue;
                    }
                    reached[sides == 2 ? own : 0][at].store(1, std::memory_order_relaxed);
                    ++checked;
                    const int stored   = table.bytes[own][at];
                    const int expected = valueFromSuccessors(p, table, first, lists, entryOf);
                    if (stored != expected) reportError(counts, r.name, p, "wrong value", stored, expected);
                }
                counts.positions += checked;
            },
            large ? label.c_str() : nullptr);
    }
    std::uint64_t unreached = 0, badUnreached = 0;
    for (int side = 0; side < sides; ++side) {
        const std::int8_t* bytes = tableBytes(ordinal, side);
        const bool         raw   = readUncompressed(directory, ordinal, side);
        for (std::uint32_t i = 0; i < r.positionCount[side]; ++i) {
            if (reached[side][i].load(std::memory_order_relaxed)) continue;
            ++unreached;
            if (raw && bytes[i] != 127) ++badUnreached;
        }
    }
    if (badUnreached) {
        counts.errors += badUnreached;
        std::fprintf(stderr, "%s: %llu indices that no position reaches do not hold 127\n", r.name,
                     static_cast<unsigned long long>(badUnreached));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::uint64_t total = r.positionCount[0] + (sides == 2 ? r.positionCount[1] : 0);
    progressOutput("%-7s %11llu indices  %11llu positions  %9llu unreached  %llu errors  %.1f s\n", r.name,
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(counts.positions.load()),
                static_cast<unsigned long long>(unreached), static_cast<unsigned long long>(counts.errors.load()),
                seconds);
    indices += total;
    errors += counts.errors;
    return counts.errors == 0;
}

// A directory named on the command line that is not one.
static bool noSuchDirectory(const char* command, const std::string& directory) {
    if (isDirectory(directory.c_str())) return false;
    std::fprintf(stderr, "%s: %s: no such directory\n", command, directory.c_str());
    return true;
}

int verifyTables(const std::string& directory, const std::vector<std::string>& names) {
    std::vector<int> ordinals;
    std::string      unknown;
    if (!recordsNamed(names, TB_LAST_FIVE_MAN, ordinals, unknown)) {
        std::fprintf(stderr, "tbverify: no table of up to five men is called '%s'\n", unknown.c_str());
        return 2;
    }
    if (noSuchDirectory("tbverify", directory)) return 1;
    initTbCore();
    setTableDirectory(directory);
    std::uint64_t indices = 0, errors = 0;
    int           bad     = 0;
    const auto    start   = std::chrono::steady_clock::now();
    for (int o : ordinals)
        if (!verifyOne(directory, o, indices, errors)) ++bad;
    progressOutput("total: %zu tables, %llu indices, %d tables with errors, %llu errors, %.1f s\n", ordinals.size(),
                static_cast<unsigned long long>(indices), bad, static_cast<unsigned long long>(errors),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return bad == 0 ? 0 : 1;
}

int dumpTable(const std::string& directory, const std::string& name) {
    std::vector<int> ordinals;
    std::string      unknown;
    if (!recordsNamed({name}, TB_LAST_FIVE_MAN, ordinals, unknown)) {
        std::fprintf(stderr, "tbdump: no table of up to five men is called '%s'\n", name.c_str());
        return 2;
    }
    if (noSuchDirectory("tbdump", directory)) return 1;
    const int ordinal = ordinals[0];
    initTbCore();
    setTableDirectory(directory);
    const int sides = (tablebaseCatalogue[ordinal].flags & TB_SYMMETRIC) ? 1 : 2;
    for (int side = 0; side < sides; ++side) {
        std::string problem;
        if (!tableSideReads(ordinal, side, problem)) {
            std::fprintf(stderr, "tbdump: %s cannot be read: %s\n", name.c_str(), problem.c_str());
            return 1;
        }
    }
    Placement layout;
    setUpPlacement(ordinal, layout);
    char fen[100];
    for (int side = 0; side < 2; ++side)
        for (std::uint64_t index = 0; index < layout.size; ++index) {
            TbPosition p;
            if (!decodePlacement(layout, index, side, p) || !isLegalPlacement(p)) continue;
            for (int mirror = 0; mirror < 8; mirror += 7) {
                TbPosition q = p;
                for (int i = 0; i < q.men; ++i) q.square[i] = std::uint8_t(q.square[i] ^ mirror);
                if (q.epSquare != TBC_NO_EP) q.epSquare = std::uint8_t(q.epSquare ^ mirror);
                int v = 0;
                if (!lookUpTbValue(q, v)) {
                    writeTbFen(q, fen);
                    std::fprintf(stderr, "tbdump: %s: no index in %s\n", fen, name.c_str());
                    return 1;
                }
                writeTbFen(q, fen);
                std::printf("%s\t%d\n", fen, v);
            }
        }
    return 0;
}
