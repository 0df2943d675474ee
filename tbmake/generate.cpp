// tbmake/generate.cpp: retrograde generation of one table at a time. Positions
// live in a placement index of our own (first king on files a-d by the
// left-right mirror, then every other man on 64 squares), one value byte and
// one move counter per position and side; the catalogue's index layout is
// only produced at the end, by walking every placement once.
#include "tbmake/generate.h"
#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"
#include "tbmake/pack.h"
#include "tbmake/parallel.h"
#include "tbmake/placement.h"
#include "tbmake/tablefiles.h"
#include "tbmake/tbposition.h"
#include "tbmake/unmoves.h"

// Value byte of a position during generation:
//   0         not decided yet (a draw if it stays so)
//   1 .. 253  decided, distance = code - 1 plies (odd: side to move wins)
//   255       no position (broken placement, or the side not to move in check)
// A win code may be set early from a capture or promotion and is lowered
// when a shorter win turns up; a loss code is set once, possibly ahead of
// the pass that reaches it.
constexpr std::uint8_t CODE_ILLEGAL = 255;
constexpr int          MAX_PLIES    = 252;
// Move counter: legal moves inside the table not yet known to lose;
// NEVER_LOST marks a position that a draw or a win outside the table saves.
constexpr std::uint8_t NEVER_LOST = 255;

struct Generation {
    Placement                                  layout;
    std::unique_ptr<std::atomic<std::uint8_t>[]> value[2];
    std::unique_ptr<std::atomic<std::uint8_t>[]> counter[2];
    std::atomic<bool>                          failed{false};
    std::atomic<int>                           highestCode{0};
};

static void noteCode(Generation& g, int code) {
    int seen = g.highestCode.load(std::memory_order_relaxed);
    while (code > seen && !g.highestCode.compare_exchange_weak(seen, code)) {
    }
}

static std::uint8_t codeOfPlies(Generation& g, int plies) {
    if (plies > MAX_PLIES) {
        // Longer than any table of up to five men is known to need.
        if (!g.failed.exchange(true)) std::fprintf(stderr, "tbgen: distance beyond %d plies\n", MAX_PLIES);
        plies = MAX_PLIES;
    }
    noteCode(g, plies + 1);
    return std::uint8_t(plies + 1);
}

static bool opponentWins(int v) { return (v > 0 && v != 127) || v == -128; }
static bool opponentLoses(int v) { return v < 0 && v != -128; }

// Longest loss through a capture or promotion, in plies from this side's
// view, or -1 when every way out of the table is a win or a draw or none.
static int longestLossOutside(Generation& g, const TbPosition& p) {
    TbMove moves[TBC_MAX_MOVES];
    const int n = generateTbMoves(p, moves);
    int longest = -1;
    for (int i = 0; i < n; ++i) {
        if (staysInTable(moves[i])) continue;
        int v = 0;
        if (!lookUpTbValue(applyTbMove(p, moves[i]), v)) {
            g.failed = true;
            continue;
        }
        if (opponentWins(v) && pliesOfValue(v) + 1 > longest) longest = pliesOfValue(v) + 1;
    }
    return longest;
}

// 1. Every position: broken, mate, stalemate, the best way out of the table,
// and the number of moves that stay inside.
static void initialisePositions(Generation& g, int side, std::uint64_t begin, std::uint64_t end) {
    TbMove moves[TBC_MAX_MOVES];
    for (std::uint64_t index = begin; index < end; ++index) {
        auto&      value   = g.value[side][index];
        auto&      counter = g.counter[side][index];
        TbPosition p;
        if (!decodePlacement(g.layout, index, side, p) || !isLegalPlacement(p)) {
            value.store(CODE_ILLEGAL, std::memory_order_relaxed);
            counter.store(NEVER_LOST, std::memory_order_relaxed);
            continue;
        }
        const int n = generateTbMoves(p, moves);
        int inside = 0, shortestWin = -1, longestLoss = -1;
        bool drawOutside = false;
        for (int i = 0; i < n; ++i) {
            if (staysInTable(moves[i])) {
                ++inside;
                continue;
            }
            int v = 0;
            if (!lookUpTbValue(applyTbMove(p, moves[i]), v) || v == 127) {
                if (!g.failed.exchange(true))
                    std::fprintf(stderr, "tbgen: no usable value after a capture or promotion\n");
                continue;
            }
            if (v == 0)
                drawOutside = true;
            else if (opponentLoses(v)) {
                const int plies = pliesOfValue(v) + 1;
                if (shortestWin < 0 || plies < shortestWin) shortestWin = plies;
            } else if (pliesOfValue(v) + 1 > longestLoss)
                longestLoss = pliesOfValue(v) + 1;
        }
        std::uint8_t code = 0, count = NEVER_LOST;
        if (n == 0) {
            if (isInCheck(p, side)) code = codeOfPlies(g, 0), count = 0;
        } else if (shortestWin >= 0)
            code = codeOfPlies(g, shortestWin);
        else if (!drawOutside) {
            count = std::uint8_t(inside);
            if (inside == 0) code = codeOfPlies(g, longestLoss);
        }
        value.store(code, std::memory_order_relaxed);
        counter.store(count, std::memory_order_relaxed);
    }
}

// 2. One pass: every position decided at this distance passes its result to
// the positions one move before it.
static void propagate(Generation& g, int plies, std::uint64_t begin, std::uint64_t end,
                      std::atomic<std::uint64_t>& frontier) {
    const std::uint8_t code = std::uint8_t(plies + 1);
    std::uint64_t      seen = 0;
    for (int side = 0; side < 2; ++side)
        for (std::uint64_t index = begin; index < end; ++index) {
            if (g.value[side][index].load(std::memory_order_relaxed) != code) continue;
            ++seen;
            TbPosition p;
            decodePlacement(g.layout, index, side, p);
            const int before = side ^ 1;
            forEachPredecessor(p, [&](const TbPosition& q) {
                const std::uint64_t at    = encodePlacement(g.layout, q);
                auto&               value = g.value[before][at];
                if ((plies & 1) == 0) {
                    // A move into a lost position wins; keep the shortest.
                    const std::uint8_t win = codeOfPlies(g, plies + 1);
                    std::uint8_t       now = value.load(std::memory_order_relaxed);
                    while (now != CODE_ILLEGAL && (now == 0 || now > win) &&
                           !value.compare_exchange_weak(now, win, std::memory_order_relaxed)) {
                    }
                    return;
                }
                if (value.load(std::memory_order_relaxed) != 0) return;
                auto& counter = g.counter[before][at];
                if (counter.load(std::memory_order_relaxed) == NEVER_LOST) return;
                if (counter.fetch_sub(1, std::memory_order_relaxed) != 1) return;
                // Every move inside now loses, the last at this distance; a
                // capture or promotion may lose more slowly.
                const int outside = longestLossOutside(g, q);
                value.store(codeOfPlies(g, outside > plies + 1 ? outside : plies + 1), std::memory_order_relaxed);
            });
        }
    frontier += seen;
}

// 3. The catalogue's layout: every placement of a position writes its value
// at its index; two placements of one index must agree.
static bool writeTable(Generation& g, int ordinal, const std::string& directory) {
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    const int              sides = (r.flags & TB_SYMMETRIC) ? 1 : 2;
    std::unique_ptr<std::atomic<std::int8_t>[]> stored;
    std::atomic<std::uint64_t> conflicts{0}, outOfRange{0};
    for (int side = 0; side < 2; ++side) {
        const bool          checkOnly = side >= sides;  // symmetric: side 1 must agree with the one file
        const std::uint32_t count     = r.positionCount[side];
        if (!checkOnly) {
            stored.reset(new std::atomic<std::int8_t>[count]);
            for (std::uint32_t i = 0; i < count; ++i) stored[i].store(127, std::memory_order_relaxed);
        }
        const std::string label = std::string(r.name) + (side == 0 ? ": writing .nbw," : ": writing .nbb,");
        runParallel(g.layout.size, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t index = begin; index < end; ++index) {
                const std::uint8_t code = g.value[side][index].load(std::memory_order_relaxed);
                if (code == CODE_ILLEGAL) continue;
                TbPosition p;
                decodePlacement(g.layout, index, side, p);
                const std::uint32_t at = fileIndexOf(ordinal, side, p);
                if (at >= count) {
                    ++outOfRange;
                    continue;
                }
                const std::int8_t v   = std::int8_t(code == 0 ? 0 : valueOfPlies(code - 1));
                std::int8_t       was = 127;
                if (checkOnly) {
                    if (stored[at].load(std::memory_order_relaxed) != v) ++conflicts;
                } else if (!stored[at].compare_exchange_strong(was, v, std::memory_order_relaxed) && was != v)
                    ++conflicts;
            }
        }, g.layout.size > (std::uint64_t(1) << 26) ? label.c_str() : nullptr);
        if (checkOnly) continue;
        const std::string path = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        const std::string temporary = path + ".part";
        std::FILE*        f    = std::fopen(temporary.c_str(), "wb");
        if (!f) {
            std::fprintf(stderr, "tbgen: cannot write %s\n", temporary.c_str());
            return false;
        }
        std::vector<std::int8_t> bytes(1 << 20);
        bool ok = true;
        for (std::uint32_t i = 0; i < count && ok; i += std::uint32_t(bytes.size())) {
            const std::uint32_t n = count - i < bytes.size() ? count - i : std::uint32_t(bytes.size());
            for (std::uint32_t k = 0; k < n; ++k) bytes[k] = stored[i + k].load(std::memory_order_relaxed);
            ok = std::fwrite(bytes.data(), 1, n, f) == n;
        }
        ok = std::fclose(f) == 0 && ok;
        if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::fprintf(stderr, "tbgen: cannot write %s\n", path.c_str());
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (conflicts || outOfRange) {
        std::fprintf(stderr, "tbgen: %s: %llu placements disagree at one index, %llu indices out of range\n", r.name,
                     static_cast<unsigned long long>(conflicts.load()),
                     static_cast<unsigned long long>(outOfRange.load()));
        return false;
    }
    return true;
}

enum class TableState { MISSING, UNCOMPRESSED, COMPRESSED };

// Uncompressed when every side's file has the catalogue's size; compressed
// when instead every side has a .emd file that the engine's reader accepts.
static TableState tableState(int ordinal, const std::string& directory) {
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    const int              sides = (r.flags & TB_SYMMETRIC) ? 1 : 2;
    bool                   raw   = true;
    for (int side = 0; side < sides; ++side) {
        struct stat info;
        const std::string path = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        if (stat(path.c_str(), &info) != 0 || std::uint64_t(info.st_size) != r.positionCount[side]) raw = false;
    }
    if (raw) return TableState::UNCOMPRESSED;
    bool packed = true;
    for (int side = 0; side < sides && packed; ++side) {
        struct stat info;
        const std::string path = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        char              message[400];
        forgetTableFiles();
        packed = stat(path.c_str(), &info) != 0 && stat((path + ".emd").c_str(), &info) == 0 &&
                 tryRegisterTableSide(directory.c_str(), ordinal, side, message, sizeof message) == 1;
    }
    forgetTableFiles();
    return packed ? TableState::COMPRESSED : TableState::MISSING;
}

// Compresses every side of a record and removes its uncompressed files.
static bool packRecord(int ordinal, const std::string& directory) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    for (int side = 0; side < ((r.flags & TB_SYMMETRIC) ? 1 : 2); ++side) {
        PackSummary summary;
        std::string error;
        const auto  start = std::chrono::steady_clock::now();
        if (!packTableSide(directory, ordinal, side, true, error, &summary)) {
            std::fprintf(stderr, "tbgen: packing %s: %s\n", r.name, error.c_str());
            return false;
        }
        std::printf("packed %s/%s%s.emd (%llu bytes) in %.1f s\n", directory.c_str(), r.name, side ? ".nbb" : ".nbw",
                    static_cast<unsigned long long>(summary.packedBytes),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::fflush(stdout);
    }
    return true;
}

static bool generateOne(int ordinal, const std::string& directory, bool always, bool pack);

// Captures and promotions lead to these records; make the missing ones.
static bool makeSubtables(int ordinal, const std::string& directory, bool pack) {
    std::vector<int> needed;
    subtablesOf(ordinal, needed);
    for (int sub : needed)
        if (!generateOne(sub, directory, false, pack)) return false;
    return true;
}

// With `pack` a table is compressed as soon as it is written, and one found
// uncompressed is compressed instead of kept as it is.
static bool generateOne(int ordinal, const std::string& directory, bool always, bool pack) {
    if (!always) {
        const TableState state = tableState(ordinal, directory);
        if (state == TableState::COMPRESSED) return true;
        if (state == TableState::UNCOMPRESSED) return !pack || packRecord(ordinal, directory);
    }
    if (!makeSubtables(ordinal, directory, pack)) return false;
    forgetLoadedTables();
    const auto             start = std::chrono::steady_clock::now();
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    Generation             g;
    setUpPlacement(ordinal, g.layout);
    std::fprintf(stderr, "%s: %llu placements a side, %.0f MB\n", r.name,
                 static_cast<unsigned long long>(g.layout.size), 4.0 * double(g.layout.size) / 1e6);
    for (int side = 0; side < 2; ++side) {
        g.value[side].reset(new std::atomic<std::uint8_t>[g.layout.size]);
        g.counter[side].reset(new std::atomic<std::uint8_t>[g.layout.size]);
    }
    const bool        large = g.layout.size > (std::uint64_t(1) << 26);
    const std::string setUpLabel[2] = {std::string(r.name) + ": set-up, first side to move,",
                                       std::string(r.name) + ": set-up, second side to move,"};
    for (int side = 0; side < 2; ++side)
        runParallel(
            g.layout.size, [&](std::uint64_t b, std::uint64_t e) { initialisePositions(g, side, b, e); },
            large ? setUpLabel[side].c_str() : nullptr);
    if (g.failed) return false;
    std::fprintf(stderr, "%s: positions set up (%.1f s)\n", r.name,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (int plies = 0; plies <= MAX_PLIES; ++plies) {
        if (plies + 1 > g.highestCode.load()) break;
        std::atomic<std::uint64_t> frontier{0};
        runParallel(g.layout.size, [&](std::uint64_t b, std::uint64_t e) { propagate(g, plies, b, e, frontier); });
        std::fprintf(stderr, "%s: pass %d: %llu positions %s in %d (%.1f s)\n", r.name, plies + 1,
                     static_cast<unsigned long long>(frontier.load()), (plies & 1) ? "win" : "lose", (plies + 1) / 2,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (g.failed) return false;
    g.counter[0].reset();
    g.counter[1].reset();
    std::fprintf(stderr, "%s: writing\n", r.name);
    if (!writeTable(g, ordinal, directory)) return false;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (r.flags & TB_SYMMETRIC)
        std::printf("wrote %s/%s.nbw (%u bytes) in %.1f s\n", directory.c_str(), r.name, r.positionCount[0], seconds);
    else
        std::printf("wrote %s/%s.nbw (%u bytes) and %s.nbb (%u bytes) in %.1f s\n", directory.c_str(), r.name,
                    r.positionCount[0], r.name, r.positionCount[1], seconds);
    std::fflush(stdout);
    return !pack || packRecord(ordinal, directory);
}

int generateTables(const std::string& directory, const std::vector<std::string>& names, bool pack) {
    std::vector<int> ordinals;
    std::string      unknown;
    if (!recordsNamed(names, TB_LAST_FIVE_MAN, ordinals, unknown)) {
        std::fprintf(stderr, "tbgen: no table of up to five men is called '%s'\n", unknown.c_str());
        return 2;
    }
    mkdir(directory.c_str(), 0777);
    initTbCore();
    setTableDirectory(directory);
    const auto start = std::chrono::steady_clock::now();
    for (int o : ordinals)
        if (!generateOne(o, directory, !names.empty(), pack)) {
            std::fprintf(stderr, "tbgen: %s failed\n", tablebaseCatalogue[o].name);
            return 1;
        }
    std::printf("done in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
