// tbmake/tablefiles.cpp: finished tables as the maker reads them: whole
// files, sides kept only compressed through the engine's own reader, and
// values by position for the generator's and the verifier's threads.
#include "tbmake/tablefiles.h"
#include <sys/types.h>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"

// Loaded file sides by ordinal and side, each read when first looked up: a
// table being made reads only the sides its moves out lead to, which is
// usually one of each record.
struct LoadedTable {
    std::vector<std::int8_t> data;
    bool                     present;
    std::string              problem;  // why it is not present
};
static std::string tableDirectory;
// Filled once per ordinal under the lock; readers take the pointer without it.
static std::unique_ptr<LoadedTable>     loadedTables[TB_RECORDS][2];
static std::atomic<const LoadedTable*>  loadedTable[TB_RECORDS][2];
static std::mutex                       loadMutex;

bool setTableDirectory(const std::string& directory) {
    tableDirectory = directory;
    forgetLoadedTables();
    return true;
}

void forgetLoadedTables() {
    std::lock_guard<std::mutex> lock(loadMutex);
    for (int i = 0; i < TB_RECORDS; ++i)
        for (int side = 0; side < 2; ++side) {
            loadedTable[i][side].store(nullptr);
            loadedTables[i][side].reset();
        }
}

bool recordsNamed(const std::vector<std::string>& names, int last, std::vector<int>& ordinals, std::string& unknown) {
    if (names.empty())
        for (int o = 1; o <= TB_LAST_FOUR_MAN; ++o) ordinals.push_back(o);
    for (const auto& name : names) {
        const int o = findTablebaseRecord(name.c_str());
        if (o <= 0 || o > last) {
            unknown = name;
            return false;
        }
        ordinals.push_back(o);
    }
    return true;
}

std::uint64_t sideBytesOf(int ordinal, int side) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    return std::uint64_t(r.positionCount[side]) * ((r.flags & TB_TWO_BYTE) ? 2 : 1);
}

bool readWholeFile(const std::string& path, std::uint64_t bytes, std::uint8_t* out, std::string& reason) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        reason = "cannot open " + path;
        return false;
    }
    bool        ok   = fseeko(f, 0, SEEK_END) == 0;
    const off_t size = ok ? ftello(f) : -1;
    ok               = ok && size >= 0 && fseeko(f, 0, SEEK_SET) == 0;
    if (ok && std::uint64_t(size) != bytes) {
        std::fclose(f);
        reason = path + " holds " + std::to_string(size) + " bytes, not " + std::to_string(bytes);
        return false;
    }
    ok = ok && std::fread(out, 1, bytes, f) == bytes;
    std::fclose(f);
    if (!ok) reason = "cannot read " + path;
    return ok;
}

int readThroughEngine(const std::string& directory, int ordinal, int side, std::uint64_t bytes, std::uint8_t* out,
                      std::string& reason) {
    forgetTableFiles();
    char message[400];
    int  result = tryRegisterTableSide(directory.c_str(), ordinal, side, message, sizeof message);
    if (result == 0) reason = "no file found";
    if (result < 0) {
        reason = message;
        if (!reason.empty() && reason.back() == '\n') reason.pop_back();
        result = ENGINE_REFUSED;
    }
    std::vector<std::uint8_t> block(TB_SLOT_DATA);
    for (std::uint64_t b = 0; result == ENGINE_READ_WHOLE && b * TB_BLOCK_BYTES < bytes; ++b) {
        const std::uint64_t start = b * TB_BLOCK_BYTES;
        const std::uint64_t want  = bytes - start < TB_BLOCK_BYTES ? bytes - start : TB_BLOCK_BYTES;
        if (readTableBlock(ordinal, side, std::uint32_t(b), block.data()) != std::int32_t(want)) {
            reason = "block " + std::to_string(b) + " does not read back as written";
            result = ENGINE_BAD_BLOCK;
        } else {
            std::memcpy(out + start, block.data(), want);
        }
    }
    forgetTableFiles();
    return result;
}

bool readTableSide(const std::string& directory, int ordinal, int side, std::vector<std::int8_t>& out,
                   std::string* problem) {
    const TablebaseRecord& r     = tablebaseCatalogue[ordinal];
    const std::string      base  = directory + "/" + r.name + (side == 0 ? ".nbw" : ".nbb");
    const std::uint32_t    bytes = r.positionCount[side];
    out.resize(bytes);
    // Unsigned bytes may stand for any object's bytes.
    std::uint8_t* data = reinterpret_cast<std::uint8_t*>(out.data());
    std::string   reason;
    bool          ok = false;
    if (std::FILE* f = std::fopen(base.c_str(), "rb")) {
        std::fclose(f);
        ok = readWholeFile(base, bytes, data, reason);
    } else {
        const int read = readThroughEngine(directory, ordinal, side, bytes, data, reason);
        if (read == ENGINE_REFUSED && !problem) std::fprintf(stderr, "%s\n", reason.c_str());
        if (read == ENGINE_NO_FILE) reason = "no file " + base + " or " + base + ".emd";
        if (read == ENGINE_BAD_BLOCK) reason = base + ".emd: " + reason;
        ok = read == ENGINE_READ_WHOLE;
    }
    if (!ok) out.clear();
    if (!ok && problem) *problem = reason;
    return ok;
}

static const LoadedTable& tableOf(int ordinal, int fileSide) {
    std::atomic<const LoadedTable*>& slot = loadedTable[ordinal][fileSide];
    if (const LoadedTable* ready = slot.load(std::memory_order_acquire)) return *ready;
    std::lock_guard<std::mutex> lock(loadMutex);
    if (const LoadedTable* ready = slot.load()) return *ready;
    loadedTables[ordinal][fileSide].reset(new LoadedTable());
    LoadedTable& t = *loadedTables[ordinal][fileSide];
    t.present      = readTableSide(tableDirectory, ordinal, fileSide, t.data, &t.problem);
    slot.store(&t, std::memory_order_release);
    return t;
}

// Record of a material, by 2 bits per count (first colour's pawns lowest):
// 0 not looked up yet, else (ordinal + 1) x 2 + 1 when colour 1 is the side
// named first, or 1 alone when no record has this material.
static std::atomic<std::uint16_t> recordByMaterial[1 << 20];

int recordOfMaterial(const std::uint8_t counts[2][5], int& first) {
    std::uint32_t key = 0;
    for (int c = 1; c >= 0; --c)
        for (int t = 4; t >= 0; --t) key = key * 4 + (counts[c][t] > 3 ? 3 : counts[c][t]);
    std::uint16_t entry = recordByMaterial[key].load(std::memory_order_relaxed);
    if (entry == 0) {
        int f = 0, o = findTablebaseRecord(materialName(counts[0], counts[1]).c_str());
        if (o <= 0) {
            f = 1;
            o = findTablebaseRecord(materialName(counts[1], counts[0]).c_str());
        }
        entry = std::uint16_t(o <= 0 ? 1 : ((o + 1) * 2 + f));
        recordByMaterial[key].store(entry, std::memory_order_relaxed);
    }
    first = entry & 1;
    return entry == 1 ? -1 : entry / 2 - 1;
}

bool indexOfPosition(const TbPosition& p, int& ordinal, int& fileSide, std::uint32_t& index) {
    std::uint8_t counts[2][5];
    materialOf(p, counts);
    int first = 0;
    ordinal   = recordOfMaterial(counts, first);
    if (ordinal <= 0) return false;
    std::uint32_t lists[2][16] = {};
    pieceListsOf(p, lists);
    const int              tableSide = p.toMove ^ first;
    const TablebaseRecord& r         = tablebaseCatalogue[ordinal];
    index    = indexFromLists(ordinal, first, tableSide, lists, p.epSquare);
    fileSide = (r.flags & TB_SYMMETRIC) ? 0 : tableSide;
    return index < r.positionCount[tableSide];
}

std::uint32_t indexFromLists(int ordinal, int first, int tableSide, const std::uint32_t lists[2][16],
                             std::uint8_t epSquare) {
    return tablebaseCatalogue[ordinal].indexRoutine[tableSide](lists[first], lists[first ^ 1], epSquare,
                                                               std::uint32_t(first));
}

bool lookUpTbValue(const TbPosition& p, int& value) {
    bool bare = true;
    for (int i = 2; i < p.men; ++i)
        if (p.square[i] != TBC_GONE) bare = false;
    if (bare) {
        value = 0;
        return true;
    }
    int           ordinal = 0, fileSide = 0;
    std::uint32_t index   = 0;
    if (!indexOfPosition(p, ordinal, fileSide, index)) return false;
    const LoadedTable& t = tableOf(ordinal, fileSide);
    if (!t.present || index >= t.data.size()) return false;
    value = t.data[index];
    return true;
}

const std::int8_t* tableBytes(int ordinal, int fileSide) { return tableOf(ordinal, fileSide).data.data(); }

bool tableSideReads(int ordinal, int fileSide, std::string& problem) {
    const LoadedTable& t = tableOf(ordinal, fileSide);
    problem              = t.problem;
    return t.present;
}
