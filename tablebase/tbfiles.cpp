// tablebase/tbfiles.cpp: registration of uncompressed table files and the
// block cache. The cache is one fixed area carved into slots at start-up, so a
// probe never allocates: a miss reuses the least recently used slot.
#include "tablebase/tbfiles.h"
#include <sys/types.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <new>
#include "tablebase/catalogue.h"

std::uint32_t cacheSlotCount  = 0;
std::uint64_t tableBlockReads = 0;

namespace {

constexpr std::int32_t NO_SLOT = -1;
constexpr const char*  SIDE_ENDING[2] = {".nbw", ".nbb"};

// One table side: the name is empty while the side is not registered.
struct TableFile {
    char        fileName[300];
    std::FILE*  file;  // opened on the first read, then kept open
};

// Header of one cache slot; the links are slot numbers (NO_SLOT: none).
struct CacheSlot {
    std::int32_t  ordinal;
    std::int32_t  side;
    std::uint32_t block;
    std::int32_t  older, newer;          // recently-used list
    std::int32_t  chainNext, chainPrev;  // hash chain of the table side; free list through chainNext
    std::uint8_t* data;                  // TB_SLOT_DATA bytes
};

TableFile    tableFiles[TB_RECORDS][2];
std::int32_t chainHeads[TB_RECORDS][2][TB_CHAINS];  // first slot of each chain

CacheSlot*    slots       = nullptr;
std::uint8_t* cacheMemory = nullptr;
std::int32_t  mostRecent = NO_SLOT, leastRecent = NO_SLOT, freeSlots = NO_SLOT;

// Fixed entries of kppkp with black to move, answered without reading.
constexpr std::uint32_t KPPKP_FIXED[7] = {56802428, 56811076, 56849992, 56858640,
                                          59592489, 67775659, 71071628};
constexpr int KPPKP = 36;

bool isSymmetric(int ordinal) { return (tablebaseCatalogue[ordinal].flags & TB_SYMMETRIC) != 0; }
int  valueWidth(int ordinal) { return (tablebaseCatalogue[ordinal].flags & TB_TWO_BYTE) ? 2 : 1; }

// Bytes the table side holds: the position count times the value width.
std::uint64_t tableBytes(int ordinal, int side) {
    return std::uint64_t(tablebaseCatalogue[ordinal].positionCount[side]) * std::uint64_t(valueWidth(ordinal));
}

void unlinkRecent(std::int32_t i) {
    CacheSlot& s = slots[i];
    if (s.older != NO_SLOT) slots[s.older].newer = s.newer; else leastRecent = s.newer;
    if (s.newer != NO_SLOT) slots[s.newer].older = s.older; else mostRecent = s.older;
}

void linkMostRecent(std::int32_t i) {
    slots[i].older = mostRecent;
    slots[i].newer = NO_SLOT;
    if (mostRecent != NO_SLOT) slots[mostRecent].newer = i; else leastRecent = i;
    mostRecent = i;
}

std::int32_t& chainHead(const CacheSlot& s) { return chainHeads[s.ordinal][s.side][s.block & (TB_CHAINS - 1)]; }

void unlinkChain(std::int32_t i) {
    CacheSlot& s = slots[i];
    if (s.chainPrev != NO_SLOT) slots[s.chainPrev].chainNext = s.chainNext; else chainHead(s) = s.chainNext;
    if (s.chainNext != NO_SLOT) slots[s.chainNext].chainPrev = s.chainPrev;
}

void linkChainFront(std::int32_t i) {
    CacheSlot&    s    = slots[i];
    std::int32_t& head = chainHead(s);
    s.chainPrev        = NO_SLOT;
    s.chainNext        = head;
    if (head != NO_SLOT) slots[head].chainPrev = i;
    head = i;
}

void clearChains(int ordinal, int side) {
    for (std::int32_t& head : chainHeads[ordinal][side]) head = NO_SLOT;
}

void closeFile(TableFile& t) {
    if (t.file) std::fclose(t.file);
    t.file = nullptr;
}

}  // namespace

// Reads one block of an uncompressed side into `data`. Only the last block
// of a table may come up short; a shorter read anywhere means the file
// changed under us, and its bytes would be stale slot memory.
std::int32_t readTableBlock(int ordinal, int side, std::uint32_t block, std::uint8_t* data) {
    TableFile& t = tableFiles[ordinal][side];
    if (!t.file) {
        t.file = std::fopen(t.fileName, "rb");
        if (!t.file) {
            closeTableFiles();  // perhaps out of handles: free them all and try again
            t.file = std::fopen(t.fileName, "rb");
            if (!t.file) return -1;
        }
    }
    const std::uint64_t start = std::uint64_t(block) * TB_BLOCK_BYTES, length = tableBytes(ordinal, side);
    if (start >= length) return -1;
    const std::uint64_t expected = length - start < TB_BLOCK_BYTES ? length - start : TB_BLOCK_BYTES;
    if (fseeko(t.file, off_t(start), SEEK_SET) != 0) return -1;
    ++tableBlockReads;
    const std::size_t got = std::fread(data, 1, TB_BLOCK_BYTES, t.file);
    if (got < TB_BLOCK_BYTES && std::ferror(t.file)) {
        std::clearerr(t.file);
        return -1;
    }
    return got >= expected ? std::int32_t(expected) : -1;
}

namespace {

// The signed byte at `offset` of a block, through the cache; TB_VALUE_UNKNOWN
// when the block cannot be read, which also drops the table side.
std::int32_t fetchTableByte(int ordinal, int side, std::uint32_t block, std::uint32_t offset) {
    // 1. A hit becomes the most recently used and moves to the front of its chain.
    for (std::int32_t i = chainHeads[ordinal][side][block & (TB_CHAINS - 1)]; i != NO_SLOT; i = slots[i].chainNext) {
        if (slots[i].block != block) continue;
        if (i != mostRecent) {  // repeated probes of one block skip the relinking
            unlinkRecent(i);
            linkMostRecent(i);
        }
        if (slots[i].chainPrev != NO_SLOT) {
            unlinkChain(i);
            linkChainFront(i);
        }
        return std::int8_t(slots[i].data[offset]);
    }
    // 2. A miss takes a free slot, or else the least recently used one.
    std::int32_t i = freeSlots;
    if (i != NO_SLOT) {
        freeSlots = slots[i].chainNext;
    } else {
        i = leastRecent;
        if (i == NO_SLOT) return TB_VALUE_UNKNOWN;  // a cache too small for one slot
        unlinkRecent(i);
        unlinkChain(i);
    }
    // 3-4. Read the block; a failure drops the side for the rest of the run.
    if (readTableBlock(ordinal, side, block, slots[i].data) < 0) {
        slots[i].chainNext = freeSlots;
        freeSlots          = i;
        TableFile& t       = tableFiles[ordinal][side];
        closeFile(t);
        t.fileName[0] = '\0';
        return TB_VALUE_UNKNOWN;
    }
    // 6. The new block is the most recently used and heads its chain.
    CacheSlot& s = slots[i];
    s.ordinal    = ordinal;
    s.side       = side;
    s.block      = block;
    linkMostRecent(i);
    linkChainFront(i);
    return std::int8_t(s.data[offset]);
}

// One stored byte as a value: wins and losses at +-32640 plus the byte, so
// that the probe's 2v + 10002 / 2v - 10004 lands them just below mate
// scores; -128 and -127 are the far win and the far loss; 127 is "no value".
constexpr std::int32_t mapByte(std::int32_t b) {
    return b == 0 ? 0 : b == 127 ? TB_VALUE_UNKNOWN : b == -128 ? 32640 : b == -127 ? -32640 : b > 0 ? 32640 + b : b - 32640;
}

}  // namespace

bool isTableSideRegistered(int ordinal, int side) { return tableFiles[ordinal][side].fileName[0] != '\0'; }

const char* tableFileName(int ordinal, int side) { return tableFiles[ordinal][side].fileName; }

void closeTableFiles() {
    for (auto& record : tableFiles)
        for (TableFile& t : record) closeFile(t);
}

void forgetTableFiles() {
    for (int r = 0; r < TB_RECORDS; ++r)
        for (int s = 0; s < 2; ++s) {
            closeFile(tableFiles[r][s]);
            tableFiles[r][s].fileName[0] = '\0';
            clearChains(r, s);
        }
}

// The signature is ours: text to recognise the file by, padded with zeros.
const char EMD_SIGNATURE[64] = "Brix endgame table, 8 KB blocks, canonical Huffman codes\n";

std::uint32_t emdChecksum(const std::uint8_t* bytes, std::size_t length) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) == 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i) value = (value >> 8) ^ table[(value ^ bytes[i]) & 255];
    return value;
}

bool registerTableSide(const char* directory, int ordinal, int side) {
    char message[400];
    const int result = tryRegisterTableSide(directory, ordinal, side, message, sizeof message);
    if (result >= 0) return result == 1;
    std::fputs(message, stdout);
    std::fflush(stdout);
    std::exit(1);
}

int tryRegisterTableSide(const char* directory, int ordinal, int side, char* message, std::size_t messageSize) {
    message[0] = '\0';
    // 1. Symmetric records have only the white-to-move file.
    if (isSymmetric(ordinal)) side = 0;
    TableFile& t = tableFiles[ordinal][side];
    if (isTableSideRegistered(ordinal, side)) return 1;

    // 2. The uncompressed file: its length must be the catalogue's.
    char name[sizeof t.fileName];
    const int n = std::snprintf(name, sizeof name, "%s%s%s%s", directory, directory[0] ? "/" : "",
                                tablebaseCatalogue[ordinal].name, SIDE_ENDING[side]);
    if (n < 0 || std::size_t(n) >= sizeof name) return 0;  // a name this long cannot be ours
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return 0;
    if (fseeko(f, 0, SEEK_END) != 0) {
        std::fclose(f);
        std::snprintf(message, messageSize, "*** Seek in %s failed\n", name);
        return -1;
    }
    const off_t length = ftello(f);
    std::fclose(f);
    if (tablebaseCatalogue[ordinal].positionCount[side] != 0 &&
        (length < 0 || std::uint64_t(length) != tableBytes(ordinal, side))) {
        std::snprintf(message, messageSize, "*** %s corrupted\n", name);
        return -1;
    }
    std::memcpy(t.fileName, name, std::size_t(n) + 1);
    t.file = nullptr;
    clearChains(ordinal, side);
    return 1;
}

bool allocateBlockCache(std::size_t bytes) {
    std::free(cacheMemory);
    delete[] slots;
    cacheMemory    = nullptr;
    slots          = nullptr;
    cacheSlotCount = 0;
    mostRecent = leastRecent = freeSlots = NO_SLOT;
    for (auto& record : chainHeads)
        for (auto& sideHeads : record)
            for (std::int32_t& head : sideHeads) head = NO_SLOT;

    const std::size_t count = bytes / TB_SLOT_BYTES;
    if (count == 0) return true;  // too small for a slot: every lookup answers unknown
    // Headers apart from the data areas; both together stay within `bytes`.
    cacheMemory = static_cast<std::uint8_t*>(std::malloc(count * TB_SLOT_DATA));
    slots       = new (std::nothrow) CacheSlot[count];
    if (!cacheMemory || !slots) {
        std::free(cacheMemory);
        delete[] slots;
        cacheMemory = nullptr;
        slots       = nullptr;
        return false;
    }
    cacheSlotCount = std::uint32_t(count);
    for (std::size_t i = 0; i < count; ++i) {
        slots[i]           = CacheSlot{-1, 0, 0, NO_SLOT, NO_SLOT, NO_SLOT, NO_SLOT, cacheMemory + i * TB_SLOT_DATA};
        slots[i].chainNext = i + 1 < count ? std::int32_t(i + 1) : NO_SLOT;
    }
    freeSlots = 0;
    return true;
}

std::int32_t lookupTableValue(int ordinal, int side, std::uint32_t index) {
    // 1. No cache, or nothing registered for the side.
    if (cacheSlotCount == 0 || !isTableSideRegistered(ordinal, side)) return TB_VALUE_UNKNOWN;
    // 2. Two-byte values: low byte first.
    if (valueWidth(ordinal) == 2) {
        const std::uint32_t block = index >> 12, offset = 2 * (index & 4095);
        const std::int32_t  low = fetchTableByte(ordinal, side, block, offset);
        if (low == TB_VALUE_UNKNOWN) return TB_VALUE_UNKNOWN;
        const std::int32_t high = fetchTableByte(ordinal, side, block, offset + 1);
        if (high == TB_VALUE_UNKNOWN) return TB_VALUE_UNKNOWN;
        return high * 256 + (low & 255);
    }
    // 3. One-byte values.
    if (ordinal == KPPKP && side == 1)
        for (std::uint32_t fixed : KPPKP_FIXED)
            if (index == fixed) return -32639;
    const std::int32_t b = fetchTableByte(ordinal, side, index >> 13, index & 8191);
    return b == TB_VALUE_UNKNOWN ? TB_VALUE_UNKNOWN : mapByte(b);
}
