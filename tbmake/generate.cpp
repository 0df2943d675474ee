// tbmake/generate.cpp: retrograde generation of one table at a time. Positions
// live in the folded placement numbering (placement.h: each position once,
// by symmetry and with like men as sets), one value byte and one move
// counter per position and side; the catalogue's index layout is only
// produced at the end, by walking every placement once.
#include "tbmake/generate.h"
#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"
#include "tbmake/pack.h"
#include "tbmake/parallel.h"
#include "tbmake/progress.h"
#include "tbmake/placement.h"
#include "tbmake/tablefiles.h"
#include "tbmake/tbposition.h"
#include "tbmake/unmoves.h"

// Value byte of a position during generation:
//   0         not decided yet (a draw if it stays so)
//   1 .. 254  decided, distance = code - 1 plies (odd: side to move wins)
//   255       no position (broken placement, or the side not to move in check)
// Beyond 253 plies distances saturate, keeping their parity: 253 stands for
// every loss of 252 plies or more, 254 for every win of 253 or more. The
// stored byte holds no more than a win in 126 moves or a loss in 125
// either, so those all become its far win and far loss (kppkp has a few
// losses in 127 moves, which the engine's reader knows by their indices).
// A win code may be set early from a capture or promotion and is lowered
// when a shorter win turns up; a loss code is set once, possibly ahead of
// the pass that reaches it.
constexpr std::uint8_t CODE_ILLEGAL = 255;
constexpr int          MAX_PLIES    = 253;  // the saturated win; MAX_PLIES - 1 the saturated loss
// Move counter: legal moves inside the table not yet known to lose, each
// counted as its successor's symmetry order (2 for a board that is its own
// mirror image, else 1); NEVER_LOST marks a position that a draw or a win
// outside the table saves. A predecessor P of a position S is reached by
// S's unmoves |Stab S| / |Stab P| times per move of P into S's symmetry
// class, so each hit takes |Stab P| off, and the counter reaches 0 exactly
// when every move inside loses. With pawns every order is 1.
constexpr std::uint8_t NEVER_LOST = 255;

// A position's value byte and move counter side by side: a pass that finds
// a predecessor undecided reads its counter from the same cache line.
struct PositionState {
    std::atomic<std::uint8_t> value;
    std::atomic<std::uint8_t> counter;
};
static_assert(sizeof(PositionState) == 2);

using StateArray = std::unique_ptr<PositionState[], void (*)(void*)>;

// The longest loss through a capture or promotion of the positions that
// have one and moves inside besides, found while setting up: a pass needs
// it when the last of those moves turns out to lose, and keeping it here
// lets the sub-tables leave memory before the passes. One run of placements
// at a time, in placement order within it.
struct OutsideLosses {
    std::uint64_t              begin = 0;
    std::vector<std::uint32_t> index;  // placements, rising (five men have fewer than 2^32)
    std::vector<std::uint8_t>  plies;
};

// One bit a placement, set while its value is decided and not yet passed
// on: a pass visits these instead of reading every state, most of which it
// would skip (a pawn table takes some 200 passes).
using PendingBits = std::unique_ptr<std::atomic<std::uint64_t>[]>;

struct Generation {
    Placement                  layout;
    StateArray                 state[2]{{nullptr, releaseLarge}, {nullptr, releaseLarge}};  // per side to move
    PendingBits                pending[2];
    std::vector<OutsideLosses> outside[2];  // per side to move, by `begin`
    std::mutex                 outsideMutex;
    std::atomic<bool>          failed{false};
    std::atomic<int>           highestCode{0};
};

// On 2 MB pages where the system allows: the passes touch the states at
// random, and on 4 KB pages nearly every touch would miss the TLB as well.
static StateArray allocateStates(std::uint64_t count) {
    void* block = allocateLarge(std::size_t(count * sizeof(PositionState)));
    if (!block) throw std::bad_alloc();
    auto* states = static_cast<PositionState*>(block);
    for (std::uint64_t i = 0; i < count; ++i) new (&states[i]) PositionState;  // trivial: writes nothing
    return StateArray(states, releaseLarge);
}

static void markPending(Generation& g, int side, std::uint64_t index) {
    g.pending[side][index >> 6].fetch_or(std::uint64_t(1) << (index & 63), std::memory_order_relaxed);
}

static void noteCode(Generation& g, int code) {
    int seen = g.highestCode.load(std::memory_order_relaxed);
    while (code > seen && !g.highestCode.compare_exchange_weak(seen, code)) {
    }
}

static std::uint8_t codeOfPlies(Generation& g, int plies) {
    if (plies > MAX_PLIES) plies = (plies & 1) ? MAX_PLIES : MAX_PLIES - 1;
    noteCode(g, plies + 1);
    return std::uint8_t(plies + 1);
}

// The code a pass at this distance passes on: past the saturation, the
// saturated code of the distance's parity, so that a far loss found from a
// far win is passed on in the next pass, and so on until nothing changes.
static std::uint8_t passCode(int plies) {
    return std::uint8_t(plies <= MAX_PLIES ? plies + 1 : (plies & 1) ? MAX_PLIES + 1 : MAX_PLIES);
}

static bool opponentLoses(int v) { return v < 0 && v != -128; }

// Longest loss through a capture or promotion of a placement, in plies from
// its side's view, or -1 when it has none that loses.
static int outsideLossOf(const Generation& g, int side, std::uint64_t index) {
    const std::vector<OutsideLosses>& runs = g.outside[side];
    auto run = std::upper_bound(runs.begin(), runs.end(), index,
                                [](std::uint64_t i, const OutsideLosses& r) { return i < r.begin; });
    if (run == runs.begin()) return -1;
    --run;
    auto at = std::lower_bound(run->index.begin(), run->index.end(), std::uint32_t(index));
    return at != run->index.end() && *at == index ? run->plies[std::size_t(at - run->index.begin())] : -1;
}

// 1. Every position: broken, mate, stalemate, the best way out of the table,
// and the number of moves that stay inside.
static std::uint64_t initialisePositions(Generation& g, int side, std::uint64_t begin, std::uint64_t end) {
    TbMove        moves[TBC_MAX_MOVES];
    std::uint64_t legal = 0;
    OutsideLosses losses;
    losses.begin = begin;
    for (std::uint64_t index = begin; index < end; ++index) {
        auto&      value   = g.state[side][index].value;
        auto&      counter = g.state[side][index].counter;
        TbPosition p;
        if (!decodePlacement(g.layout, index, side, p) || !isLegalPlacement(p)) {
            value.store(CODE_ILLEGAL, std::memory_order_relaxed);
            counter.store(NEVER_LOST, std::memory_order_relaxed);
            continue;
        }
        ++legal;
        // Most positions need only their captures and promotions listed.
        int  n = 0, listed = 0, inside = 0, shortestWin = -1, longestLoss = -1;
        bool drawOutside = false;
        if (splitTbMoves(p, g.layout.pawnless, moves, listed, inside))
            n = listed + inside;
        else
            n = listed = generateTbMoves(p, moves);
        for (int i = 0; i < listed; ++i) {
            const TbMove& m = moves[i];
            if (staysInTable(m)) {
                const int kings[2] = {m.man == 0 ? m.to : p.square[0], m.man == 1 ? m.to : p.square[1]};
                const bool mirror  = g.layout.pawnless && kingsShareLongDiagonal(kings[0], kings[1]) &&
                                    isOwnMirrorImage(g.layout, applyTbMove(p, m));
                inside += mirror ? 2 : 1;
                continue;
            }
            int              v    = 0;
            const TbPosition next = applyTbMove(p, moves[i]);
            if (!lookUpTbValue(next, v) || v == 127) {
                if (!g.failed.exchange(true)) {
                    int           ordinal = 0, fileSide = 0;
                    std::uint32_t at      = 0;
                    std::string   problem = "no table holds the position";
                    if (indexOfPosition(next, ordinal, fileSide, at) && !tableSideReads(ordinal, fileSide, problem))
                        progressStep("tbgen: cannot read a table the captures or promotions lead to: %s",
                                     problem.c_str());
                    else
                        progressStep("tbgen: no usable value after a capture or promotion (%s)",
                                     v == 127 ? "an unreached index" : problem.c_str());
                }
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
            if (inside == 0) {
                code = codeOfPlies(g, longestLoss);
            } else if (longestLoss >= 0) {
                losses.index.push_back(std::uint32_t(index));
                losses.plies.push_back(std::uint8_t(longestLoss));
            }
        }
        value.store(code, std::memory_order_relaxed);
        counter.store(count, std::memory_order_relaxed);
        if (code) markPending(g, side, index);
    }
    if (!losses.index.empty()) {
        losses.index.shrink_to_fit();
        losses.plies.shrink_to_fit();
        std::lock_guard<std::mutex> lock(g.outsideMutex);
        g.outside[side].push_back(std::move(losses));
    }
    return legal;
}

// 2. One pass: every position decided at this distance passes its result to
// the positions one move before it. A position's predecessors are all
// found and their states fetched ahead before any is updated, so their
// cache misses overlap instead of waiting one by one behind the atomics.
constexpr int MAX_PREDECESSORS = 256;  // of one position: three queens and a king have 89 unmoves

// The predecessors of one position decided at `plies`: after a loss they
// win in one more, after a win their move counters drop.
static void passOn(Generation& g, int side, std::uint64_t index, int plies) {
    const bool    wins = (plies & 1) == 0;  // a move into a lost position wins
    std::uint64_t found[MAX_PREDECESSORS];
    std::uint8_t  hit[MAX_PREDECESSORS];
    TbPosition    p;
    decodePlacement(g.layout, index, side, p);
    const int      before = side ^ 1;
    PositionState* states = g.state[before].get();
    int            n      = 0;
    forEachPredecessor(p, [&](const TbPosition& q) {
        const std::uint64_t at = encodePlacement(g.layout, q);
        if (at == NO_PLACEMENT) return;  // kings side by side
        if (n == MAX_PREDECESSORS) {
            if (!g.failed.exchange(true)) progressStep("tbgen: too many predecessors");
            return;
        }
        __builtin_prefetch(&states[at], 1);
        found[n] = at;
        hit[n++] = !wins && g.layout.pawnless && kingsShareLongDiagonal(q.square[0], q.square[1]) &&
                           isOwnMirrorImage(g.layout, q)
                       ? 2
                       : 1;
    });
    for (int k = 0; k < n; ++k) {
        auto& value = states[found[k]].value;
        if (wins) {
            // Keep the shortest win.
            const std::uint8_t win = codeOfPlies(g, plies + 1);
            std::uint8_t       now = value.load(std::memory_order_relaxed);
            while (now != CODE_ILLEGAL && (now == 0 || now > win))
                if (value.compare_exchange_weak(now, win, std::memory_order_relaxed)) {
                    markPending(g, before, found[k]);
                    break;
                }
            continue;
        }
        if (value.load(std::memory_order_relaxed) != 0) continue;
        auto& counter = states[found[k]].counter;
        if (counter.load(std::memory_order_relaxed) == NEVER_LOST) continue;
        if (counter.fetch_sub(hit[k], std::memory_order_relaxed) != hit[k]) continue;
        // Every move inside now loses, the last at this distance; a
        // capture or promotion may lose more slowly.
        const int outside = outsideLossOf(g, before, found[k]);
        value.store(codeOfPlies(g, outside > plies + 1 ? outside : plies + 1), std::memory_order_relaxed);
        markPending(g, before, found[k]);
    }
}

static void propagate(Generation& g, int plies, std::uint64_t begin, std::uint64_t end,
                      std::atomic<std::uint64_t>& frontier) {
    const std::uint8_t code = passCode(plies);
    std::uint64_t      seen = 0;
    for (int side = 0; side < 2; ++side)
        for (std::uint64_t word = begin >> 6; word << 6 < end; ++word) {
            std::uint64_t bits = g.pending[side][word].load(std::memory_order_relaxed), done = 0;
            for (; bits; bits &= bits - 1) {
                const std::uint64_t index = word << 6 | std::uint64_t(__builtin_ctzll(bits));
                if (g.state[side][index].value.load(std::memory_order_relaxed) != code) continue;
                done |= bits & (0 - bits);
                ++seen;
                passOn(g, side, index, plies);
            }
            // Every value set in this pass is further away than this one.
            if (done) g.pending[side][word].fetch_and(~done, std::memory_order_relaxed);
        }
    frontier += seen;
}

// 3. The catalogue's layout: every placement of a position writes its value
// at its index; two placements of one index must agree. Without pawns the
// catalogue gives a position with both kings on the a1-h8 diagonal and its
// reflection in it two indices, which one placement stands for.
static bool writeTable(Generation& g, int ordinal, const std::string& directory, bool verbose) {
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
                const std::uint8_t code = g.state[side][index].value.load(std::memory_order_relaxed);
                if (code == CODE_ILLEGAL) continue;
                TbPosition p;
                decodePlacement(g.layout, index, side, p);
                const std::int8_t v      = std::int8_t(code == 0 ? 0 : valueOfPlies(code - 1));
                const bool        twoWays = g.layout.pawnless && (p.square[0] & 7) == (p.square[0] >> 3) &&
                                     (p.square[1] & 7) == (p.square[1] >> 3);
                for (int image = 0; image < (twoWays ? 2 : 1); ++image) {
                    const std::uint32_t at = fileIndexOf(ordinal, side, image ? transposedPosition(p) : p);
                    if (at >= count) {
                        ++outOfRange;
                        continue;
                    }
                    std::int8_t was = 127;
                    if (checkOnly) {
                        if (stored[at].load(std::memory_order_relaxed) != v) ++conflicts;
                    } else if (!stored[at].compare_exchange_strong(was, v, std::memory_order_relaxed) && was != v)
                        ++conflicts;
                }
            }
        }, verbose ? label.c_str() : nullptr);
        if (checkOnly) continue;
        // Written under a name of this process's own and synced before it
        // takes its final name: a file under a final name is always whole.
        const std::string path = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        const std::string temporary = path + ".part-" + scratchTag();
        std::FILE*        f    = std::fopen(temporary.c_str(), "wb");
        if (!f) {
            progressStep("tbgen: cannot write %s", temporary.c_str());
            return false;
        }
        std::vector<std::int8_t> bytes(1 << 20);
        bool ok = true;
        for (std::uint32_t i = 0; i < count && ok; i += std::uint32_t(bytes.size())) {
            const std::uint32_t n = count - i < bytes.size() ? count - i : std::uint32_t(bytes.size());
            for (std::uint32_t k = 0; k < n; ++k) bytes[k] = stored[i + k].load(std::memory_order_relaxed);
            ok = std::fwrite(bytes.data(), 1, n, f) == n;
        }
        ok = std::fflush(f) == 0 && ok;
        ok = syncToDisk(f) && ok;
        ok = std::fclose(f) == 0 && ok;
        if (!ok || !replaceFile(temporary.c_str(), path.c_str())) {
            progressStep("tbgen: cannot write %s", path.c_str());
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (conflicts || outOfRange) {
        progressStep("tbgen: %s: %llu placements disagree at one index, %llu indices out of range", r.name,
                     static_cast<unsigned long long>(conflicts.load()),
                     static_cast<unsigned long long>(outOfRange.load()));
        return false;
    }
    return true;
}

enum class TableState { MISSING, UNCOMPRESSED, COMPRESSED };

// Uncompressed when every side's file has the catalogue's size; compressed
// when instead every side has a .emd file that the engine's reader accepts.
// With `pack`, a side found both compressed and uncompressed was stopped
// between the rename of its packed file, read back against the raw file
// before it took its name, and the removal of the raw file: the removal is
// finished, rather than the table made again.
static TableState tableState(int ordinal, const std::string& directory, bool pack) {
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    const int              sides = (r.flags & TB_SYMMETRIC) ? 1 : 2;
    bool                   raw   = true;
    for (int side = 0; side < sides; ++side) {
        std::uint64_t     bytes = 0, packedBytes = 0;
        const std::string path  = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        bool whole = fileSize(path.c_str(), bytes) && bytes == sideBytesOf(ordinal, side);
        if (whole && pack && fileSize((path + ".emd").c_str(), packedBytes)) {
            std::remove(path.c_str());
            whole = false;
        }
        if (!whole) raw = false;
    }
    if (raw) return TableState::UNCOMPRESSED;
    bool packed = true;
    for (int side = 0; side < sides && packed; ++side) {
        std::uint64_t     bytes = 0;
        const std::string path  = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
        char              message[400];
        forgetTableFiles();
        packed = !fileSize(path.c_str(), bytes) && fileSize((path + ".emd").c_str(), bytes) &&
                 tryRegisterTableSide(directory.c_str(), ordinal, side, message, sizeof message) == 1;
    }
    forgetTableFiles();
    return packed ? TableState::COMPRESSED : TableState::MISSING;
}

// The job under way, for the progress lines; written only by generateTables
// and makeTable.
static int                                   tableNumber = 0, tablesToMake = 0;  // this table is k of N
static std::chrono::steady_clock::time_point jobStart;
static double        secondsSpent   = 0;  // s on the tables made so far in this run, packing included
static std::uint64_t placementsMade = 0;  // their placements a side
static std::uint64_t placementsAhead = 0; // placements a side of the tables to make after this one

static double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The measure of work: every phase walks every placement of both sides
// (the catalogue's counts would not do: a table without pawns has six
// times fewer indices than one with, for as many placements).
static std::uint64_t placementsOf(int ordinal) {
    Placement layout;
    setUpPlacement(ordinal, layout, true);
    return layout.size;
}

// Catalogue positions of a record, both sides to move.
static std::uint64_t positionsOf(int ordinal) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    return std::uint64_t(r.positionCount[0]) + r.positionCount[1];
}

// Bytes of a record's uncompressed files (one file for a symmetric record).
// The second side's file, which a symmetric record does not have.
static std::uint64_t secondSideBytesOf(int ordinal) {
    return (tablebaseCatalogue[ordinal].flags & TB_SYMMETRIC) ? 0 : sideBytesOf(ordinal, 1);
}

std::uint64_t rawBytesOf(int ordinal) { return sideBytesOf(ordinal, 0) + secondSideBytesOf(ordinal); }

static std::uint64_t largestSideOf(int ordinal) { return std::max(sideBytesOf(ordinal, 0), secondSideBytesOf(ordinal)); }

// "1:02:03" or "4:05".
static std::string clockText(double seconds) {
    const long total = long(seconds + 0.5);
    char       text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// Time left for this table and the whole job at the speed of the tables made
// so far in this run, per placement. Small tables, which fit the caches,
// go faster per placement than large ones, so the figure grows honest as
// the job reaches its large tables.
static std::string estimateText(int ordinal, double tableSeconds) {
    if (placementsMade == 0) return "time left known after the first table";
    const double perPlacement = secondsSpent / double(placementsMade);
    double       tableLeft    = perPlacement * double(placementsOf(ordinal)) - tableSeconds;
    if (tableLeft < 0) tableLeft = 0;
    return "left: table ~" + clockText(tableLeft) + ", job ~" +
           clockText(tableLeft + perPlacement * double(placementsAhead));
}

// Bytes of a record's files now in the directory, in either form.
static std::uint64_t bytesOnDisk(int ordinal, const std::string& directory) {
    std::uint64_t total = 0;
    for (const char* ending : {".nbw", ".nbb", ".nbw.emd", ".nbb.emd"}) {
        std::uint64_t bytes = 0;
        if (fileSize((directory + "/" + tablebaseCatalogue[ordinal].name + ending).c_str(), bytes)) total += bytes;
    }
    return total;
}

static double megabytes(std::uint64_t bytes) { return double(bytes) / 1e6; }

// Compresses every side of a record and removes its uncompressed files.
static bool packRecord(int ordinal, const std::string& directory) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    for (int side = 0; side < ((r.flags & TB_SYMMETRIC) ? 1 : 2); ++side) {
        PackSummary summary;
        std::string error;
        const auto  start = std::chrono::steady_clock::now();
        if (!packTableSide(directory, ordinal, side, true, error, &summary)) {
            progressStep("tbgen: packing %s: %s", r.name, error.c_str());
            return false;
        }
        progressOutput("packed %s/%s%s.emd (%llu bytes) in %.1f s\n", directory.c_str(), r.name, side ? ".nbb" : ".nbw",
                    static_cast<unsigned long long>(summary.packedBytes), secondsSince(start));
    }
    return true;
}

// Makes one record from the tables its captures and promotions lead to,
// which must be in the directory; with `pack` compresses it at once.
static bool makeTable(int ordinal, const std::string& directory, bool pack) {
    forgetLoadedTables();
    restartPeakMemory();
    const auto             start = std::chrono::steady_clock::now();
    // The whole process's CPU time: a table's share is the difference across
    // it, as tables are made one at a time.
    const double           cpuAtStart = processCpuSeconds();
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    int                    passes = 0, longestPlies = 0;
    char                   head[64];
    std::snprintf(head, sizeof head, "[%d/%d] %s", tableNumber, tablesToMake, r.name);
    {
        Generation g;
        setUpPlacement(ordinal, g.layout, true);
        progressDetail("%s: %llu placements a side, %.0f MB", head,
                     static_cast<unsigned long long>(g.layout.size), 4.0 * double(g.layout.size) / 1e6);
        for (int side = 0; side < 2; ++side) {
            g.state[side] = allocateStates(g.layout.size);
            g.pending[side].reset(new std::atomic<std::uint64_t>[(g.layout.size + 63) / 64]());
        }
        // Tenths of the set-up and of the writing for large tables, whose
        // phases take minutes; with --verbose for every table, and within
        // each pass of a large one too.
        const bool        large = verboseProgress() || g.layout.size > (std::uint64_t(1) << 26);
        const std::string setUpLabel[2] = {std::string(r.name) + ": set-up, first side to move,",
                                           std::string(r.name) + ": set-up, second side to move,"};
        // A side's moves out of the table read the sub-table sides of the
        // other side to move, so each side's set-up has only its own in
        // memory, and the passes none.
        std::atomic<std::uint64_t> legal{0};
        for (int side = 0; side < 2; ++side) {
            runParallel(
                g.layout.size, [&](std::uint64_t b, std::uint64_t e) { legal += initialisePositions(g, side, b, e); },
                large ? setUpLabel[side].c_str() : nullptr);
            forgetLoadedTables();
            std::sort(g.outside[side].begin(), g.outside[side].end(),
                      [](const OutsideLosses& a, const OutsideLosses& b) { return a.begin < b.begin; });
        }
        if (g.failed) return false;
        std::uint64_t kept = 0;
        for (const auto& side : g.outside)
            for (const OutsideLosses& run : side) kept += run.index.size();
        progressDetail("%s: %llu positions set up, %llu with a loss out of the table kept (%.1f s); %s", head,
                     static_cast<unsigned long long>(legal.load()), static_cast<unsigned long long>(kept),
                     secondsSince(start), estimateText(ordinal, secondsSince(start)).c_str());
        std::uint64_t decided = 0;
        int           emptyPasses = 0;  // in a row, past the saturation
        for (int plies = 0;; ++plies) {
            if (plies < MAX_PLIES && plies + 1 > g.highestCode.load()) break;
            if (emptyPasses == 2) break;  // nothing pending of either parity
            if (plies > 4 * MAX_PLIES) {
                progressStep("tbgen: %s: the saturated distances do not settle", r.name);
                return false;
            }
            std::atomic<std::uint64_t> frontier{0};
            const std::string label = std::string(r.name) + ": pass " + std::to_string(plies + 1) + ",";
            runParallel(
                g.layout.size, [&](std::uint64_t b, std::uint64_t e) { propagate(g, plies, b, e, frontier); },
                verboseProgress() && g.layout.size > (std::uint64_t(1) << 26) ? label.c_str() : nullptr);
            decided += frontier.load();
            ++passes;
            if (frontier.load()) longestPlies = plies;
            emptyPasses = plies >= MAX_PLIES - 1 && !frontier.load() ? emptyPasses + 1 : 0;
            const double seconds = secondsSince(start);
            progressDetail("%s: pass %d: %llu positions %s in %d (%.1f s); %llu of %llu decided, job %s, %s",
                         head, plies + 1, static_cast<unsigned long long>(frontier.load()),
                         (plies & 1) ? "win" : "lose", (plies + 1) / 2, seconds,
                         static_cast<unsigned long long>(decided), static_cast<unsigned long long>(legal.load()),
                         clockText(secondsSince(jobStart)).c_str(), estimateText(ordinal, seconds).c_str());
        }
        if (g.failed) return false;
        for (auto& side : g.outside) std::vector<OutsideLosses>().swap(side);
        progressDetail("%s: writing", head);
        if (!writeTable(g, ordinal, directory, large)) return false;
    }
    const double seconds = secondsSince(start);
    if (r.flags & TB_SYMMETRIC)
        progressOutput("wrote %s/%s.nbw (%u bytes) in %.1f s\n", directory.c_str(), r.name, r.positionCount[0], seconds);
    else
        progressOutput("wrote %s/%s.nbw (%u bytes) and %s.nbb (%u bytes) in %.1f s\n", directory.c_str(), r.name,
                    r.positionCount[0], r.name, r.positionCount[1], seconds);
    if (pack && !packRecord(ordinal, directory)) return false;
    // One line a table for the job's ledger.
    progressOutput("table %s: %u + %u positions, %d passes, longest mate %d moves, %.1f s, %.1f s CPU, peak %.0f MB, "
                "%llu bytes on disk\n",
                r.name, r.positionCount[0], (r.flags & TB_SYMMETRIC) ? 0u : r.positionCount[1], passes,
                (longestPlies + 1) / 2, secondsSince(start), processCpuSeconds() - cpuAtStart,
                megabytes(peakMemoryBytes()), static_cast<unsigned long long>(bytesOnDisk(ordinal, directory)));
    return true;
}

// Each record after every record its captures and promotions lead to
// (those have fewer men, or fewer pawns, so the walk ends).
static void addInOrder(int ordinal, std::vector<int>& order, std::vector<bool>& listed) {
    if (listed[std::size_t(ordinal)]) return;
    listed[std::size_t(ordinal)] = true;
    std::vector<int> needed;
    subtablesOf(ordinal, needed);
    for (int sub : needed) addInOrder(sub, order, listed);
    order.push_back(ordinal);
}

std::vector<int> jobOrder(const std::vector<int>& ordinals) {
    std::vector<int>  order;
    std::vector<bool> listed(TB_RECORDS, false);
    for (int o : ordinals) addInOrder(o, order, listed);
    return order;
}

void recordsOfMen(int men, std::vector<int>& ordinals) {
    const int last = men == 3 ? TB_LAST_THREE_MAN : men == 4 ? TB_LAST_FOUR_MAN : TB_LAST_FIVE_MAN;
    for (int o = 1; o <= last; ++o) ordinals.push_back(o);
}

// Bytes of memory making one record takes at its peak: a value byte and a
// move counter per placement and side (rounded up to 2 MB pages); while
// one side is set up, the sub-table sides its moves read held whole and
// the losses out of the table kept (five bytes each, for at most an eighth
// of the placements: 8.5% in krpk, the most measured, 2.5% in knpkn) and
// a pending bit a placement (left out: a sixteenth of the states); while
// writing, the same states and one side in the catalogue's order. The
// packer then holds one side raw, its parse (up to four bytes a position),
// the coded blocks and the image, and later the raw side, the image and the
// side read back.
std::uint64_t memoryToMake(int ordinal, bool pack) {
    Placement layout;
    setUpPlacement(ordinal, layout, true);
    std::vector<int>          needed;
    std::vector<std::uint8_t> sides;
    subtableSidesOf(ordinal, needed, sides);
    std::uint64_t read[2] = {0, 0};  // by the colour that moves out
    for (std::size_t k = 0; k < needed.size(); ++k)
        for (int bit = 0; bit < 4; ++bit)
            if (sides[k] >> bit & 1) read[bit >> 1] += sideBytesOf(needed[k], bit & 1);
    const std::uint64_t side    = largestSideOf(ordinal);
    const std::uint64_t states  = 2 * ((((2 * layout.size) >> 21) + 1) << 21);  // both sides
    const std::uint64_t kept    = 2 * 5 * layout.size / 8;
    std::uint64_t       largest = states + std::max(std::max(read[0], read[1]) + kept, side);
    if (pack && 7 * side > largest) largest = 7 * side;
    return largest;
}

// A packed file is never longer than its raw bytes, a block record each
// and the header: a block that coding does not shorten is stored.
static std::uint64_t packedBound(int ordinal) { return rawBytesOf(ordinal) + rawBytesOf(ordinal) / 1024 + 65536; }

// The figures the job is checked against. BRIX_TB_FREE_BYTES and
// BRIX_TB_FREE_MEMORY (bytes), when set, stand in for the file system's and
// the kernel's figures: they exist so that a test can show the refusal
// without filling a disk.
static std::uint64_t freeDiskBytes(const std::string& directory) {
    if (const char* injected = std::getenv("BRIX_TB_FREE_BYTES")) return std::strtoull(injected, nullptr, 10);
    return ::freeDiskBytes(directory.c_str());
}

static std::uint64_t freeMemoryBytes() {
    if (const char* injected = std::getenv("BRIX_TB_FREE_MEMORY")) return std::strtoull(injected, nullptr, 10);
    return availableMemoryBytes();
}

// Scratch files of runs stopped on this host: an uncompressed file
// "NAME.nbw.part-HOST-PID" or a packer's directory ".tbpack-HOST-PID-XXXXXX"
// whose process is gone. Those of a live process (another tbgen working in
// the same directory) and of other hosts are left alone.
static void removeLeftovers(const std::string& directory) {
    const std::string mine = scratchTag();
    const std::string host = mine.substr(0, mine.rfind('-'));
    for (const auto& name : directoryEntries(directory.c_str())) {
        std::string  tag;
        const bool   packer = name.compare(0, 8, ".tbpack-") == 0 && name.size() > 15;
        const size_t part   = name.find(".part-");
        if (packer)
            tag = name.substr(8, name.size() - 15);
        else if (part != std::string::npos)
            tag = name.substr(part + 6);
        else
            continue;
        const size_t dash = tag.rfind('-');
        if (dash == std::string::npos || tag.compare(0, dash, host) != 0 || dash != host.size()) continue;
        const long pid = std::strtol(tag.c_str() + dash + 1, nullptr, 10);
        if (pid <= 0 || !processGone(pid)) continue;
        const std::string path = directory + "/" + name;
        if (packer) {
            for (const auto& inside : directoryEntries(path.c_str())) std::remove((path + "/" + inside).c_str());
            removeDirectory(path.c_str());
        } else {
            std::remove(path.c_str());
        }
        progressStep("tbgen: removed %s, left by a run that was stopped", path.c_str());
    }
}


enum class Work { SKIP, PACK, MAKE };

int generateTables(const std::string& directory, const std::vector<std::string>& names, bool pack, int men,
                   bool verbose) {
    // 1. The records asked for, each after the records it needs.
    std::vector<int> ordinals;
    std::string      unknown;
    if (men) {
        recordsOfMen(men, ordinals);
    } else if (!recordsNamed(names, TB_LAST_FIVE_MAN, ordinals, unknown)) {
        progressStep("tbgen: no table of up to five men is called '%s'", unknown.c_str());
        return 2;
    }
    makeDirectory(directory.c_str());
    initTbCore();
    setTableDirectory(directory);
    removeLeftovers(directory);
    setVerboseProgress(verbose);
    const std::vector<int> order = jobOrder(ordinals);

    // 2. What each needs: records named on the command line are made again;
    //    the others are kept when complete (a restarted job skips them), and
    //    compressed when found uncompressed and `pack` asks for it.
    std::vector<Work> work(order.size(), Work::MAKE);
    std::uint64_t     diskNeeded = 0, largestRaw = 0, memoryNeeded = 0, positions = 0;
    int               skipped = 0, toPack = 0;
    const char*       largestName = "";
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int o = order[i];
        if (names.empty() || std::find(ordinals.begin(), ordinals.end(), o) == ordinals.end()) {
            const TableState state = tableState(o, directory, pack);
            if (state == TableState::COMPRESSED || (state == TableState::UNCOMPRESSED && !pack))
                work[i] = Work::SKIP;
            else if (state == TableState::UNCOMPRESSED)
                work[i] = Work::PACK;
        }
        if (work[i] == Work::SKIP) {
            ++skipped;
            continue;
        }
        std::uint64_t memory = 7 * largestSideOf(o);
        if (work[i] == Work::PACK) {
            ++toPack;
            diskNeeded += packedBound(o);
        } else {
            ++tablesToMake;
            positions += positionsOf(o);
            placementsAhead += placementsOf(o);
            diskNeeded += pack ? packedBound(o) : rawBytesOf(o);
            if (rawBytesOf(o) > largestRaw) largestRaw = rawBytesOf(o);
            memory = memoryToMake(o, pack);
        }
        if (memory > memoryNeeded) memoryNeeded = memory, largestName = tablebaseCatalogue[o].name;
    }
    // A packed table's raw files stay until its packed files are read back.
    if (pack) diskNeeded += largestRaw;

    // 3. Enough disk and memory for the whole job, or nothing is started.
    const std::uint64_t diskFree = freeDiskBytes(directory), memoryFree = freeMemoryBytes();
    progressStep("tbgen: %d tables to make (%llu positions), %d to compress, %d complete; needs %.0f MB of disk "
                 "(%.0f MB free) and %.0f MB of memory (%.0f MB available)",
                 tablesToMake, static_cast<unsigned long long>(positions), toPack, skipped,
                 megabytes(diskNeeded), megabytes(diskFree), megabytes(memoryNeeded), megabytes(memoryFree));
    if (diskNeeded > diskFree) {
        progressStep("tbgen: not enough disk space: the tables need %.0f MB in %s, only %.0f MB are free",
                     megabytes(diskNeeded), directory.c_str(), megabytes(diskFree));
        return 1;
    }
    if (memoryNeeded > memoryFree) {
        progressStep("tbgen: not enough memory: %s needs %.0f MB, only %.0f MB are available", largestName,
                     megabytes(memoryNeeded), megabytes(memoryFree));
        return 1;
    }

    // 4. The work, in order.
    jobStart           = std::chrono::steady_clock::now();
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int o = order[i];
        if (work[i] == Work::SKIP) continue;
        bool ok = true;
        if (work[i] == Work::PACK) {
            ok = packRecord(o, directory);
        } else {
            ++tableNumber;
            placementsAhead -= placementsOf(o);
            const auto start = std::chrono::steady_clock::now();
            ok               = makeTable(o, directory, pack);
            secondsSpent += secondsSince(start);
            placementsMade += placementsOf(o);
            // The first tables, made in moments, say little of the speed.
            const std::string left =
                secondsSpent < 2 ? std::string()
                                 : ", about " + clockText(secondsSpent / double(placementsMade) * double(placementsAhead)) +
                                       " left";
            if (ok)
                progressStep("[%d/%d] %s: made in %.1f s; job %s%s", tableNumber, tablesToMake, tablebaseCatalogue[o].name,
                             secondsSince(start), clockText(secondsSince(jobStart)).c_str(), left.c_str());
        }
        if (!ok) {
            progressStep("tbgen: %s failed", tablebaseCatalogue[o].name);
            return 1;
        }
        bytes += bytesOnDisk(o, directory);
    }
    progressOutput("made %d tables, compressed %d found uncompressed, kept %d complete: %llu bytes written\n",
                tablesToMake, toPack, skipped, static_cast<unsigned long long>(bytes));
    progressOutput("done in %.1f s\n", secondsSince(jobStart));
    return 0;
}
