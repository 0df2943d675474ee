// tbmake/speed.cpp: how fast the engine reads its tables. Every block of
// every table side in a directory is read (and decoded when compressed)
// over and over, after a first pass that brings the files into the page
// cache; then
// random probes run against a cache of three slots, so nearly every probe
// reads and decodes a block.
#include "tbmake/speed.h"
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"
#include "tbmake/tablefiles.h"

namespace {

struct TableSide {
    int           ordinal, side;
    std::uint32_t blocks;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int measureTableReading(const std::string& directory, const std::vector<std::string>& names) {
    forgetTableFiles();
    std::vector<TableSide> sides;
    for (int r = 1; r < TB_RECORDS; ++r) {
        bool wanted = names.empty();
        for (const std::string& name : names) wanted |= name == tablebaseCatalogue[r].name;
        if (!wanted) continue;
        for (int s = 0; s < 2; ++s) {
            if (s == 1 && (tablebaseCatalogue[r].flags & TB_SYMMETRIC)) continue;
            char      message[400];
            const int found = tryRegisterTableSide(directory.c_str(), r, s, message, sizeof message);
            if (found < 0) {
                std::fputs(message, stderr);
                return 1;
            }
            const std::uint64_t bytes = sideBytesOf(r, s);
            if (found == 1) sides.push_back({r, s, std::uint32_t((bytes + TB_BLOCK_BYTES - 1) / TB_BLOCK_BYTES)});
        }
    }
    if (sides.empty()) {
        std::fprintf(stderr, "tbspeed: no tables in %s\n", directory.c_str());
        return 1;
    }

    // A first pass brings the files into the page cache; then whole passes
    // repeat for at least half a second.
    static std::uint8_t data[TB_SLOT_DATA];
    std::uint64_t       bytes = 0, blocks = 0;
    double              seconds = 0, cpu = 0;
    for (int pass = 0; pass == 0 || seconds < 0.5; ++pass) {
        if (pass == 1) bytes = blocks = 0;
        const auto   start    = std::chrono::steady_clock::now();
        // CPU time too: the fair figure on a machine that is busy with other
        // work, where wall time counts the waits for a core.
        const double cpuStart = processCpuSeconds();
        for (const TableSide& t : sides)
            for (std::uint32_t b = 0; b < t.blocks; ++b) {
                const std::int32_t n = readTableBlock(t.ordinal, t.side, b, data);
                if (n < 0) {
                    std::fprintf(stderr, "tbspeed: %s block %u cannot be read\n", tableFileName(t.ordinal, t.side), b);
                    return 1;
                }
                bytes += std::uint64_t(n);
                ++blocks;
            }
        if (pass > 0) seconds += secondsSince(start), cpu += processCpuSeconds() - cpuStart;
    }
    std::printf("%zu table sides, %llu blocks read, %.1f MB in %.3f s (%.3f s CPU): %.0f MB/s (%.0f MB/s of CPU), "
                "%.1f us a block (%.1f us CPU)\n",
                sides.size(), static_cast<unsigned long long>(blocks), double(bytes) / 1e6, seconds, cpu,
                double(bytes) / 1e6 / seconds, double(bytes) / 1e6 / cpu, seconds * 1e6 / double(blocks),
                cpu * 1e6 / double(blocks));

    // Random probes through three cache slots: almost every one a miss.
    allocateBlockCache(3 * TB_SLOT_BYTES);
    std::mt19937_64    random(20261209);
    constexpr int      PROBES = 200000;
    const std::uint64_t before = tableBlockReads;
    const auto          start    = std::chrono::steady_clock::now();
    const double        cpuStart = processCpuSeconds();
    std::int64_t        sum      = 0;
    for (int i = 0; i < PROBES; ++i) {
        const TableSide&    t     = sides[random() % sides.size()];
        const std::uint32_t count = tablebaseCatalogue[t.ordinal].positionCount[t.side];
        sum += lookupTableValue(t.ordinal, t.side, std::uint32_t(random() % count));
    }
    const double        probeSeconds = secondsSince(start), probeCpu = processCpuSeconds() - cpuStart;
    const std::uint64_t misses       = tableBlockReads - before;
    std::printf("%d random probes, %llu misses: %.2f us a probe (%.2f us CPU; checksum %lld)\n", PROBES,
                static_cast<unsigned long long>(misses), probeSeconds * 1e6 / PROBES, probeCpu * 1e6 / PROBES,
                static_cast<long long>(sum));
    allocateBlockCache(0);
    forgetTableFiles();
    return 0;
}
