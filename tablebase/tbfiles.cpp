// tablebase/tbfiles.cpp: registration of table files, the block decoder of
// compressed files and the block cache. The cache is one fixed area carved
// into slots at start-up, so a probe never allocates: a miss reuses the least
// recently used slot.
//
// The compressed files follow emdformat.h. Every length and offset in a
// file is checked against the file itself, so a damaged file is refused or a
// damaged block read as "unknown", never decoded past a buffer.
#include "tablebase/tbfiles.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <mutex>
#include <new>
#include "tablebase/catalogue.h"
#include "tablebase/emdformat.h"
#include "io/system.h"

std::uint32_t cacheSlotCount  = 0;
std::uint64_t tableBlockReads = 0;

namespace {

constexpr std::int32_t NO_SLOT = -1;
constexpr const char*  SIDE_ENDING[2] = {".nbw", ".nbb"};
static_assert(TB_BLOCK_BYTES == EMD_BLOCK_BYTES, "a cache slot holds one block of a compressed file");

// What the block decoder needs of a compressed table side. Decoding entries
// are symbol * 32 + code length; an entry with the top bit set continues in
// the tree (its node number below the bit) or is EMD_NO_CODE.
struct CompressedTable {
    std::uint32_t  blockCount;
    std::uint32_t  lastLength;                   // uncompressed bytes of the last block
    std::uint32_t  distance[EMD_DISTANCES];      // copy distance of each class
    std::uint16_t  direct[1 << 13];              // by the next 13 bits
    std::uint32_t  pair[1 << 13];                // two literals within the next 13 bits, or 0
    std::uint16_t  tree[2 * EMD_SYMBOLS];        // node k: children 2k (bit 0) and 2k + 1
    std::uint64_t* offset;                       // blockCount + 1 file offsets
};

// One table side: the name is empty while the side is not registered.
struct TableFile {
    char             fileName[300];
    std::FILE*       file;        // opened on the first read, then kept open
    CompressedTable* compressed;  // null for an uncompressed file
};

// Header of one cache slot; the links are slot numbers (NO_SLOT: none).
struct CacheSlot {
    std::int32_t  ordinal;
    std::int32_t  side;
    std::uint32_t block;
    std::uint32_t length;                // bytes of the block held (the last one may be short)
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

// ---------------------------------------------------------------------------
// Compressed files

constexpr std::uint16_t EMD_NO_CODE  = 0xFFFF;
constexpr std::uint16_t EMD_TREE_BIT = 0x8000;
constexpr int           DIRECT_BITS  = 13;

// The compressed bytes of one block and zero bytes after them, so that
// reading a few bits ahead never leaves the buffer.
constexpr std::uint32_t DECODE_PAD = 16;
std::uint8_t            decodeBuffer[TB_BLOCK_BYTES + DECODE_PAD];

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint64_t bigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Header fields, most significant bit first, bounded by the bytes given:
// reading past them sets `overrun` and yields zero bits.
struct HeaderBits {
    const std::uint8_t* bytes;
    std::uint64_t       size;      // in bytes
    std::uint64_t       position;  // in bits
    bool                overrun;

    std::uint32_t read(int count) {
        std::uint32_t value = 0;
        for (int k = 0; k < count; ++k, ++position) {
            const std::uint64_t byte = position >> 3;
            std::uint32_t       bit  = 0;
            if (byte < size) bit = (bytes[byte] >> (7 - (position & 7))) & 1u;
            else overrun = true;
            value = value << 1 | bit;
        }
        return value;
    }
};

// Builds the decoding table of a canonical code with lengths up to maxBits:
// `direct` has 2^directBits entries, codes longer than that continue in
// `tree` (may be null when maxBits <= directBits). False for a set of
// lengths that is not a complete code, except the two sets the format
// allows: no code at all (nothing decodes) and one symbol of length 1
// (decoded without reading a bit).
bool buildDecoder(const std::uint8_t* length, int symbols, int maxBits, int directBits, std::uint16_t* direct,
                  std::uint16_t* tree) {
    const std::uint32_t directSize = 1u << directBits;
    int                 perLength[32] = {}, used = 0, only = -1;
    for (int s = 0; s < symbols; ++s) {
        if (length[s] > maxBits) return false;
        if (length[s] != 0) ++perLength[length[s]], ++used, only = s;
    }
    if (used <= 1) {
        if (used == 1 && length[only] != 1) return false;
        const std::uint16_t entry = used == 1 ? std::uint16_t(only * 32) : EMD_NO_CODE;
        for (std::uint32_t i = 0; i < directSize; ++i) direct[i] = entry;
        return true;
    }
    std::uint64_t pending = 0;  // complete: pairs merge level by level into one root
    for (int l = maxBits; l >= 1; --l) {
        pending += std::uint64_t(perLength[l]);
        if (pending & 1) return false;
        pending >>= 1;
    }
    if (pending != 1) return false;

    for (std::uint32_t i = 0; i < directSize; ++i) direct[i] = EMD_NO_CODE;
    int           nodes = 0;
    std::uint32_t code  = 0;
    int           previous = 0;
    bool          first    = true;
    for (int l = 1; l <= maxBits; ++l)
        for (int s = 0; s < symbols; ++s) {
            if (length[s] != l) continue;
            if (!first) code = (code + 1) << (l - previous);
            first    = false;
            previous = l;
            const std::uint16_t leaf = std::uint16_t(s * 32 + l);
            if (l <= directBits) {
                const std::uint32_t start = code << (directBits - l);
                for (std::uint32_t i = 0; i < (1u << (directBits - l)); ++i) direct[start + i] = leaf;
                continue;
            }
            // Longer codes: the first directBits bits pick a tree, the rest walk it.
            std::uint16_t* link = &direct[code >> (l - directBits)];
            for (int bit = l - directBits - 1; bit >= 0; --bit) {
                if (*link == EMD_NO_CODE) {
                    if (nodes >= EMD_SYMBOLS) return false;
                    tree[2 * nodes] = tree[2 * nodes + 1] = EMD_NO_CODE;
                    *link = std::uint16_t(EMD_TREE_BIT | nodes++);
                }
                if (!(*link & EMD_TREE_BIT)) return false;  // cannot happen in a complete canonical code
                link = &tree[2 * (*link & ~EMD_TREE_BIT) + ((code >> bit) & 1)];
            }
            *link = leaf;
        }
    return true;
}

// Literals dominate many blocks: where the next 13 bits hold two whole
// literal codes, one lookup yields both (entry: first byte, second byte,
// bits of both; 0 where they do not fit).
void buildLiteralPairs(CompressedTable& t) {
    for (std::uint32_t bits = 0; bits < (1u << DIRECT_BITS); ++bits) {
        t.pair[bits]               = 0;
        const std::uint16_t first  = t.direct[bits];
        const std::uint32_t length = first & 31u;
        if ((first & EMD_TREE_BIT) || (first >> 5) >= EMD_LITERALS || length == 0) continue;
        const std::uint16_t second = t.direct[(bits << length) & ((1u << DIRECT_BITS) - 1)];
        const std::uint32_t total  = length + (second & 31u);
        if ((second & EMD_TREE_BIT) || (second >> 5) >= EMD_LITERALS || (second & 31u) == 0 || total > DIRECT_BITS) continue;
        t.pair[bits] = std::uint32_t(first >> 5) | std::uint32_t(second >> 5) << 8 | total << 16;
    }
}

// A symbol of one of the two small codes, or -1.
int readSmallSymbol(HeaderBits& bits, const std::uint16_t* direct) {
    const std::uint64_t at     = bits.position;
    const std::uint32_t peek   = bits.read(EMD_SMALL_CODE_BITS);
    const std::uint16_t entry  = direct[peek];
    if (entry == EMD_NO_CODE) return -1;
    bits.position = at + (entry & 31);
    bits.overrun  = bits.position > bits.size * 8;
    return entry >> 5;
}

// Lengths of up to 128 symbols: a width, then each length; every length 0
// is followed by a four-bit count of further zero lengths.
bool readShortLengths(HeaderBits& bits, int symbols, std::uint8_t* length) {
    if (bits.read(1)) {
        std::memset(length, 0, std::size_t(symbols));
        return !bits.overrun;
    }
    const int width = int(bits.read(5));
    for (int s = 0; s < symbols;) {
        const std::uint32_t l = bits.read(width);
        if (l > EMD_MAX_CODE_BITS) return false;
        length[s++] = std::uint8_t(l);
        if (l != 0) continue;
        const std::uint32_t zeros = bits.read(4);
        if (s + int(zeros) > symbols) return false;
        for (std::uint32_t z = 0; z < zeros; ++z) length[s++] = 0;
    }
    return !bits.overrun;
}

// The 1024 block-symbol lengths: each a symbol of the first small code, a
// run length taken from the second.
bool readSymbolLengths(HeaderBits& bits, std::uint8_t* length) {
    if (bits.read(1)) {
        std::memset(length, 0, EMD_SYMBOLS);
        return !bits.overrun;
    }
    std::uint8_t  small[2 * EMD_SMALL_SYMBOLS];
    std::uint16_t lengthCode[1 << EMD_SMALL_CODE_BITS], runCode[1 << EMD_SMALL_CODE_BITS];
    if (!readShortLengths(bits, 2 * EMD_SMALL_SYMBOLS, small) ||
        !buildDecoder(small, EMD_SMALL_SYMBOLS, EMD_SMALL_CODE_BITS, EMD_SMALL_CODE_BITS, lengthCode, nullptr) ||
        !buildDecoder(small + EMD_SMALL_SYMBOLS, EMD_SMALL_SYMBOLS, EMD_SMALL_CODE_BITS, EMD_SMALL_CODE_BITS, runCode,
                      nullptr))
        return false;
    for (int s = 0; s < EMD_SYMBOLS;) {
        const int symbol = readSmallSymbol(bits, lengthCode);
        if (symbol < 0 || bits.overrun) return false;
        if (symbol < 32) {
            length[s++] = std::uint8_t(symbol);
            continue;
        }
        const int c = readSmallSymbol(bits, runCode);
        if (c < 0) return false;
        std::uint64_t run = std::uint64_t(c);
        if (c > 31) run = (std::uint64_t(1) << (c - 32)) + bits.read(c - 32) + 31;
        run += 2;
        if (bits.overrun || run > std::uint64_t(EMD_SYMBOLS - s)) return false;
        std::memset(length + s, symbol - 32, std::size_t(run));
        s += int(run);
    }
    return !bits.overrun;
}

enum class HeaderFault { NONE, READ_ERROR, BROKEN, OUT_OF_MEMORY, BLOCK_SIZE, CORRUPTED, SYSTEM };

// Reads and checks the header of an open compressed file and builds its
// descriptor. `blockExponent` is set for the block size message.
HeaderFault readCompressedHeader(std::FILE* f, int ordinal, int side, CompressedTable*& table,
                                 int& blockExponent) {
    if (fseeko(f, 0, SEEK_END) != 0) return HeaderFault::SYSTEM;
    const off_t end = ftello(f);
    if (end < 0 || fseeko(f, 0, SEEK_SET) != 0) return HeaderFault::SYSTEM;
    const std::uint64_t fileSize = std::uint64_t(end);

    std::uint8_t head[EMD_HEAD_BYTES];
    if (std::fread(head, 1, EMD_HEAD_BYTES, f) != EMD_HEAD_BYTES ||
        std::memcmp(head, EMD_SIGNATURE, EMD_SIGNATURE_BYTES) != 0)
        return HeaderFault::READ_ERROR;
    const std::uint32_t headerLength = bigEndian32(head + EMD_AT_HEADER_LENGTH);
    blockExponent                    = head[EMD_AT_BLOCK_EXPONENT];
    if (headerLength < EMD_MIN_HEADER || blockExponent > 16 || head[EMD_AT_DISTANCE_COUNT] != EMD_DISTANCES ||
        bigEndian32(head + EMD_AT_FORMAT_TAG) != EMD_FORMAT_TAG || headerLength > fileSize)
        return HeaderFault::BROKEN;

    std::uint8_t* header = static_cast<std::uint8_t*>(std::malloc(headerLength));
    if (!header) return HeaderFault::OUT_OF_MEMORY;
    std::memcpy(header, head, EMD_HEAD_BYTES);
    HeaderFault fault = HeaderFault::NONE;
    if (std::fread(header + EMD_HEAD_BYTES, 1, headerLength - EMD_HEAD_BYTES, f) != headerLength - EMD_HEAD_BYTES)
        fault = HeaderFault::OUT_OF_MEMORY;
    else if (emdChecksum(header, headerLength - EMD_CHECKSUM_BYTES) != bigEndian32(header + headerLength - EMD_CHECKSUM_BYTES))
        fault = HeaderFault::BROKEN;
    else if (blockExponent != EMD_BLOCK_EXPONENT)
        fault = HeaderFault::BLOCK_SIZE;

    // The bit-packed lengths and distances must lie inside the header.
    const std::uint64_t blocks     = bigEndian32(header + EMD_AT_BLOCK_COUNT);
    const std::uint64_t fieldBytes = 2 * ((EMD_FIELD_BITS * (blocks + 1 + EMD_DISTANCES) + 15) / 16);
    const std::uint64_t codeStart  = EMD_HEAD_BYTES + EMD_BLOCK_RECORD_BYTES * blocks + fieldBytes;
    if (fault == HeaderFault::NONE && (blocks == 0 || codeStart > headerLength - EMD_CHECKSUM_BYTES)) fault = HeaderFault::BROKEN;

    // Only formed once the fields are known to lie inside the header.
    HeaderBits fields{header, 0, 0, false};
    if (fault == HeaderFault::NONE) {
        fields = HeaderBits{header + EMD_HEAD_BYTES + EMD_BLOCK_RECORD_BYTES * blocks, fieldBytes, 0, false};
        fields.position              = EMD_FIELD_BITS * blocks;
        std::uint32_t lastLength     = fields.read(EMD_FIELD_BITS);
        if (lastLength == 0) lastLength = TB_BLOCK_BYTES;
        const std::uint64_t count = tablebaseCatalogue[ordinal].positionCount[side];
        const std::uint64_t held  = valueWidth(ordinal) == 2 ? (blocks - 1) * (TB_BLOCK_BYTES / 2) + lastLength / 2
                                                             : (blocks - 1) * TB_BLOCK_BYTES + lastLength;
        if (count != 0 && held != count) fault = HeaderFault::CORRUPTED;
        else {
            table = static_cast<CompressedTable*>(std::malloc(sizeof(CompressedTable)));
            if (table) table->offset = static_cast<std::uint64_t*>(std::malloc((blocks + 1) * sizeof(std::uint64_t)));
            if (!table || !table->offset) {
                std::free(table);
                table = nullptr;
                fault = HeaderFault::OUT_OF_MEMORY;
            } else {
                table->blockCount = std::uint32_t(blocks);
                table->lastLength = lastLength;
            }
        }
    }
    if (fault == HeaderFault::NONE) {
        // Block offsets: the blocks follow the header and fill the file exactly.
        fields.position  = 0;
        table->offset[0] = headerLength;
        for (std::uint64_t b = 0; b < blocks; ++b) {
            const std::uint32_t l = fields.read(EMD_FIELD_BITS);
            table->offset[b + 1]  = table->offset[b] + (l == 0 ? TB_BLOCK_BYTES : l);
        }
        fields.read(EMD_FIELD_BITS);
        for (std::uint32_t& d : table->distance) d = fields.read(EMD_FIELD_BITS);
        std::uint8_t length[EMD_SYMBOLS];
        HeaderBits   codes{header + codeStart, headerLength - EMD_CHECKSUM_BYTES - codeStart, 0, false};
        if (table->offset[blocks] != fileSize || fields.overrun || !readSymbolLengths(codes, length) ||
            !buildDecoder(length, EMD_SYMBOLS, EMD_MAX_CODE_BITS, DIRECT_BITS, table->direct, table->tree))
            fault = HeaderFault::BROKEN;
        else
            buildLiteralPairs(*table);
    }
    std::free(header);
    if (fault != HeaderFault::NONE && table) {
        std::free(table->offset);
        std::free(table);
        table = nullptr;
    }
    return fault;
}

void freeCompressed(TableFile& t) {
    if (!t.compressed) return;
    std::free(t.compressed->offset);
    std::free(t.compressed);
    t.compressed = nullptr;
}

// Decodes one block into `out` (room for TB_SLOT_DATA bytes). The compressed
// bytes lie in decodeBuffer with zero bytes after them. False when the bits
// do not make exactly `expected` bytes.
bool decodeBlock(const CompressedTable& t, std::uint32_t inLength, std::uint8_t* out, std::uint32_t expected) {
    const std::uint64_t limit    = std::uint64_t(inLength) * 8;
    std::uint64_t       position = 0;  // bits consumed
    std::uint32_t       produced = 0;
    // The next 32 bits from `position`, most significant first.
    const auto peek = [&]() -> std::uint32_t {
        return std::uint32_t((bigEndian64(decodeBuffer + (position >> 3)) << (position & 7)) >> 32);
    };
    while (produced < expected) {
        const std::uint32_t next = peek() >> (32 - DIRECT_BITS);
        const std::uint32_t pair = t.pair[next];
        if (pair != 0 && expected - produced >= 2) {
            position += pair >> 16;
            if (position > limit) return false;
            out[produced]     = std::uint8_t(pair);
            out[produced + 1] = std::uint8_t(pair >> 8);
            produced += 2;
            continue;
        }
        std::uint16_t entry = t.direct[next];
        if (entry & EMD_TREE_BIT) {
            if (entry == EMD_NO_CODE) return false;
            position += DIRECT_BITS;
            do {
                if (position >= limit) return false;
                entry = t.tree[2 * (entry & ~EMD_TREE_BIT) + (peek() >> 31)];
                ++position;
            } while ((entry & EMD_TREE_BIT) && entry != EMD_NO_CODE);
            if (entry == EMD_NO_CODE) return false;
        } else {
            position += entry & 31u;
        }
        if (position > limit) return false;
        const std::uint32_t symbol = entry >> 5;
        if (symbol < EMD_LITERALS) {
            out[produced++] = std::uint8_t(symbol);
            continue;
        }
        const std::uint32_t lengthCode = (symbol - EMD_LITERALS) & 31, distance = t.distance[(symbol - EMD_LITERALS) >> 5];
        std::uint32_t       length     = lengthCode + 1;
        if (lengthCode >= 15) {
            const std::uint32_t extraBits = lengthCode - 14;  // 1 .. 17
            length   = (1u << extraBits) + (peek() >> (32 - extraBits)) + 14;
            position += extraBits;
            if (position > limit) return false;
        }
        if (distance == 0 || distance > produced || length > expected - produced) return false;
        const std::uint8_t* from = out + produced - distance;
        std::uint8_t*       to   = out + produced;
        produced += length;
        if (distance >= 16) {
            // Sixteen at a time; the slot's slack takes the overshoot.
            for (std::uint32_t k = 0; k < length; k += 16) std::memcpy(to + k, from + k, 16);
        } else {
            // A short period: what is copied so far repeats it, so each
            // step may take twice as much as the one before.
            std::uint8_t* const end = to + length;
            while (to < end) {
                const std::size_t n = std::size_t(to - from) < std::size_t(end - to) ? std::size_t(to - from)
                                                                                    : std::size_t(end - to);
                std::memcpy(to, from, n);
                to += n;
            }
        }
    }
    return true;
}

// Why the last block read failed, for the note when its side is dropped.
const char* blockProblem = "";

// Block `block` of a compressed side into `data`: its length, or -1.
std::int32_t readCompressedBlock(TableFile& t, std::uint32_t block, std::uint8_t* data) {
    const CompressedTable& c = *t.compressed;
    blockProblem             = "a block beyond the end of the table";
    if (block >= c.blockCount) return -1;
    const std::uint32_t expected = block + 1 == c.blockCount ? c.lastLength : TB_BLOCK_BYTES;
    const std::uint64_t length   = c.offset[block + 1] - c.offset[block];
    blockProblem                 = "a block whose stored length is too large";
    if (length > TB_BLOCK_BYTES) return -1;
    ++tableBlockReads;
    // One positioned read straight into the buffer: a seek would throw away
    // the stream's buffer anyway, and the copy out of it costs as much as a
    // short block's decoding.
    blockProblem = "a block past the end of the file (cut short?) or unreadable";
    if (!readAt(t.file, decodeBuffer, length, c.offset[block])) return -1;
    if (length == expected) {
        std::memcpy(data, decodeBuffer, expected);
        return std::int32_t(expected);
    }
    std::memset(decodeBuffer + length, 0, DECODE_PAD);
    blockProblem = "a block that does not decode (damaged)";
    return decodeBlock(c, std::uint32_t(length), data, expected) ? std::int32_t(expected) : -1;
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
            blockProblem = "the file cannot be opened";
            if (!t.file) return -1;
        }
    }
    if (t.compressed) return readCompressedBlock(t, block, data);
    const std::uint64_t start = std::uint64_t(block) * TB_BLOCK_BYTES, length = tableBytes(ordinal, side);
    blockProblem              = "a block beyond the end of the table";
    if (start >= length) return -1;
    const std::uint64_t expected = length - start < TB_BLOCK_BYTES ? length - start : TB_BLOCK_BYTES;
    blockProblem                 = "a block past the end of the file (cut short?) or unreadable";
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
        return offset < slots[i].length ? std::int8_t(slots[i].data[offset]) : TB_VALUE_UNKNOWN;
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
    // 3. Read the block; a failure drops the side for the rest of the run.
    const std::int32_t length = readTableBlock(ordinal, side, block, slots[i].data);
    if (length < 0) {
        slots[i].chainNext = freeSlots;
        freeSlots          = i;
        TableFile& t       = tableFiles[ordinal][side];
        // The protocol's output stays as it was; the person running the
        // engine learns on stderr why its endgames are no longer perfect.
        std::fprintf(stderr, "tablebase: %s is no longer used: %s\n", t.fileName, blockProblem);
        closeFile(t);
        freeCompressed(t);
        t.fileName[0] = '\0';
        return TB_VALUE_UNKNOWN;
    }
    // 4. The new block is the most recently used and heads its chain.
    CacheSlot& s = slots[i];
    s.ordinal    = ordinal;
    s.side       = side;
    s.block      = block;
    s.length     = std::uint32_t(length);
    linkMostRecent(i);
    linkChainFront(i);
    return offset < s.length ? std::int8_t(s.data[offset]) : TB_VALUE_UNKNOWN;
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
            freeCompressed(tableFiles[r][s]);
            tableFiles[r][s].fileName[0] = '\0';
            clearChains(r, s);
        }
}

namespace {

// Tries the compressed names of a side whose uncompressed file `name` (of
// `length` characters) is missing: "kqk.nbw.emd", "kqk_nbw.emd", "kqknbw.emd".
int registerCompressedSide(const char* name, std::size_t length, int ordinal, int side, char* message,
                           std::size_t messageSize) {
    char       tried[3][sizeof TableFile::fileName + 8];
    std::FILE* f = nullptr;
    int        k = 0;
    std::snprintf(tried[0], sizeof tried[0], "%s.emd", name);
    std::snprintf(tried[1], sizeof tried[1], "%.*s_%s.emd", int(length - 4), name, name + length - 3);
    std::snprintf(tried[2], sizeof tried[2], "%.*s%s.emd", int(length - 4), name, name + length - 3);
    for (; k < 3 && !f; ++k) f = std::fopen(tried[k], "rb");
    if (!f) return 0;
    const char* opened = tried[k - 1];
    if (std::strlen(opened) >= sizeof TableFile::fileName) {
        std::fclose(f);
        return 0;
    }
    CompressedTable*  table         = nullptr;
    int               blockExponent = 0;
    errno                           = 0;
    const HeaderFault fault         = readCompressedHeader(f, ordinal, side, table, blockExponent);
    const int         systemError   = errno;
    std::fclose(f);
    switch (fault) {
    case HeaderFault::NONE: break;
    case HeaderFault::READ_ERROR:
        std::snprintf(message, messageSize, "*** Unable to read %s - read error\n", opened);
        return -1;
    case HeaderFault::BROKEN:
        std::snprintf(message, messageSize, "*** Unable to read %s - file broken\n", opened);
        return -1;
    case HeaderFault::OUT_OF_MEMORY:
        std::snprintf(message, messageSize, "*** Unable to read %s - out of memory\n", opened);
        return -1;
    case HeaderFault::BLOCK_SIZE:
        std::snprintf(message, messageSize, "*** %s: Unsupported block size %d\n", opened, 1 << blockExponent);
        return -1;
    case HeaderFault::CORRUPTED:
        std::snprintf(message, messageSize, "*** %s corrupted\n", opened);
        return -1;
    case HeaderFault::SYSTEM:
        std::snprintf(message, messageSize, "*** Unable to read %s - error %d\n", opened, systemError);
        return -1;
    }
    TableFile& t = tableFiles[ordinal][side];
    std::strcpy(t.fileName, opened);
    t.file       = nullptr;
    t.compressed = table;
    clearChains(ordinal, side);
    return 1;
}

}  // namespace

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
    // A directory given as C:\tables\ or /tables/ needs no separator of ours.
    const char* separator = directory[0] && !endsInSeparator(directory) ? "/" : "";
    const int   n         = std::snprintf(name, sizeof name, "%s%s%s%s", directory, separator,
                                tablebaseCatalogue[ordinal].name, SIDE_ENDING[side]);
    if (n < 0 || std::size_t(n) >= sizeof name) return 0;  // a name this long cannot be ours
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return registerCompressedSide(name, std::size_t(n), ordinal, side, message, messageSize);
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
        slots[i]           = CacheSlot{-1, 0, 0, 0, NO_SLOT, NO_SLOT, NO_SLOT, NO_SLOT, cacheMemory + i * TB_SLOT_DATA};
        slots[i].chainNext = i + 1 < count ? std::int32_t(i + 1) : NO_SLOT;
    }
    freeSlots = 0;
    return true;
}

// Search threads probe at once: one lock covers the cache's chains and LRU
// list, the shared decoding buffer and a side's being dropped. A probe holds
// it for a hit's relinking or one block's read; the engine probes rarely
// enough that threads seldom meet here.
static std::mutex cacheLock;

std::int32_t lookupTableValue(int ordinal, int side, std::uint32_t index) {
    std::lock_guard<std::mutex> lock(cacheLock);
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
