// tbmake/pack.cpp: the tbpack command and the packing of one table side.
// A new file waits under a scratch name until the engine's reader has given
// every block of it back unchanged.
#include "tbmake/pack.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tablebase/emdformat.h"
#include "tbmake/blockparse.h"
#include "tbmake/progress.h"
#include "tbmake/tablefiles.h"

namespace {

constexpr std::size_t BLOCK = EMD_BLOCK_BYTES;

constexpr const char* SIDE_ENDING[2] = {".nbw", ".nbb"};

bool writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok      = std::fflush(f) == 0 && ok;
    ok      = syncToDisk(f) && ok;
    return std::fclose(f) == 0 && ok;
}

// Every block of the side registered from `directory` (where the .emd is
// the only file of the record) must come back as the raw bytes; with
// `fillFree`, free bytes aside.
bool verifyThroughReader(const std::string& directory, int ordinal, int side, const std::vector<std::uint8_t>& raw,
                         bool fillFree, std::string& error) {
    std::vector<std::uint8_t> back(raw.size());
    const int read = readThroughEngine(directory, ordinal, side, raw.size(), back.data(), error);
    if (read == ENGINE_NO_FILE || read == ENGINE_REFUSED) error = "the engine's reader refuses the packed file: " + error;
    if (read != ENGINE_READ_WHOLE) return false;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (back[i] != raw[i] && !(fillFree && raw[i] == FREE_BYTE)) {
            error = "block " + std::to_string(i / BLOCK) + " does not read back as written";
            return false;
        }
    return true;
}

}  // namespace

std::string scratchTag() {
    return hostName() + "-" + std::to_string(processId());
}

bool packTableSide(const std::string& directory, int ordinal, int side, bool removeRaw, std::string& error,
                   PackSummary* summary) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    if ((r.flags & TB_SYMMETRIC) && side == 1) {
        error = std::string(r.name) + " is symmetric: it has no .nbb file";
        return false;
    }
    const std::string name    = std::string(r.name) + SIDE_ENDING[side];
    const std::string rawPath = directory + "/" + name;
    const std::uint64_t       expected = sideBytesOf(ordinal, side);
    std::vector<std::uint8_t> raw(expected);
    if (!readWholeFile(rawPath, expected, raw.data(), error)) return false;
    if (raw.empty()) {
        error = rawPath + " holds 0 bytes, not 0";
        return false;
    }
    // Two-byte values have no free byte: a 127 there may be half a value.
    const bool                      fillFree = !(r.flags & TB_TWO_BYTE);
    const std::vector<std::uint8_t> image    = packTableImage(raw.data(), raw.size(), summary, 0, fillFree);
    if (image.size() > 0xFFFFFFFFu) {
        error = "the packed file would pass the 4 GB that its 32-bit block offsets can address";
        return false;
    }

    // The new file waits in a scratch directory of its own, where the reader
    // finds it and no uncompressed file of the same name comes first.
    const std::string scratch = makeScratchDirectory(directory + "/.tbpack-" + scratchTag() + "-");
    if (scratch.empty()) {
        error = "cannot make a scratch directory in " + directory;
        return false;
    }
    const std::string written = scratch + "/" + name + ".emd", final = rawPath + ".emd";
    bool ok = writeWholeFile(written, image);
    if (!ok) error = "cannot write " + written;
    ok = ok && verifyThroughReader(scratch, ordinal, side, raw, fillFree, error);
    if (ok && !replaceFile(written.c_str(), final.c_str())) {
        error = "cannot rename " + written + " to " + final;
        ok    = false;
    }
    if (!ok) std::remove(written.c_str());
    removeDirectory(scratch.c_str());
    if (ok && removeRaw && std::remove(rawPath.c_str()) != 0) {
        error = "cannot remove " + rawPath;
        ok    = false;
    }
    return ok;
}

int packTables(const std::string& directory, const std::vector<std::string>& names, bool removeRaw) {
    auto rawExists = [&](int ordinal, int side) {
        std::uint64_t bytes = 0;
        return fileSize((directory + "/" + tablebaseCatalogue[ordinal].name + SIDE_ENDING[side]).c_str(), bytes);
    };
    auto sidesOf = [](int ordinal) { return (tablebaseCatalogue[ordinal].flags & TB_SYMMETRIC) ? 1 : 2; };
    std::vector<int> ordinals;
    std::string      unknown;
    if (!names.empty() && !recordsNamed(names, TB_RECORDS - 1, ordinals, unknown)) {
        std::fprintf(stderr, "tbpack: no table is called '%s'\n", unknown.c_str());
        return 2;
    }
    if (names.empty())
        for (int o = 1; o < TB_RECORDS; ++o) {
            bool all = true;
            for (int side = 0; side < sidesOf(o); ++side) all = all && rawExists(o, side);
            if (all) ordinals.push_back(o);
        }
    if (ordinals.empty()) {
        std::fprintf(stderr, "tbpack: no uncompressed tables in %s\n", directory.c_str());
        return 1;
    }
    const auto    start    = std::chrono::steady_clock::now();
    const clock_t cpuStart = std::clock();
    std::uint64_t rawTotal = 0, packedTotal = 0, rawAhead = 0;
    int           files = 0, filesToPack = 0;
    for (int o : ordinals)
        for (int side = 0; side < sidesOf(o); ++side) rawAhead += sideBytesOf(o, side), ++filesToPack;
    for (int o : ordinals)
        for (int side = 0; side < sidesOf(o); ++side) {
            const auto  fileStart = std::chrono::steady_clock::now();
            PackSummary summary;
            std::string error;
            if (!packTableSide(directory, o, side, removeRaw, error, &summary)) {
                progressStep("tbpack: %s%s: %s", tablebaseCatalogue[o].name, SIDE_ENDING[side], error.c_str());
                return 1;
            }
            rawTotal += summary.rawBytes;
            rawAhead -= summary.rawBytes;
            packedTotal += summary.packedBytes;
            ++files;
            // Time left at the speed so far, per raw byte.
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const long   left    = long(seconds / double(rawTotal) * double(rawAhead) + 0.5);
            progressStep("[%d/%d] %s%s.emd: %llu -> %llu bytes (%.2f%%, %u of %u blocks stored), %.2f s; about "
                         "%ld:%02ld left",
                         files, filesToPack, tablebaseCatalogue[o].name, SIDE_ENDING[side],
                         static_cast<unsigned long long>(summary.rawBytes),
                         static_cast<unsigned long long>(summary.packedBytes),
                         100.0 * double(summary.packedBytes) / double(summary.rawBytes), summary.storedBlocks,
                         summary.blocks,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count(),
                         left / 60, left % 60);
        }
    std::printf("packed %d files: %llu -> %llu bytes (%.2f%%) in %.1f s, %.1f s of CPU%s\n", files,
                static_cast<unsigned long long>(rawTotal), static_cast<unsigned long long>(packedTotal),
                100.0 * double(packedTotal) / double(rawTotal),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                double(std::clock() - cpuStart) / CLOCKS_PER_SEC, removeRaw ? ", uncompressed files removed" : "");
    return 0;
}
