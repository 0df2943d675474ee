// book/bookfile.cpp: opening, lookup and in-place record updates. A file
// too short for its index, or a bucket that does not lie wholly between the
// index and the end of the file, is treated as absent (said once on standard
// error: standard output is the protocol channel).
#include "book/bookfile.h"
#include <cstdlib>
#include <cstring>
#include "board/position.h"

const std::uint32_t castleBookKey[16] = {
    0x00000000, 0x8F410E6B, 0x441E27B8, 0xBF248AD3, 0x0CC26D11, 0x363A22B1, 0x41EFB447, 0xD548B0BF,
    0x94803D54, 0xAC6795F2, 0x304B3ED6, 0x485BFAF4, 0x4C34738B, 0x5363FE5C, 0x4C345F60, 0xD4055ADB,
};

const std::uint32_t epBookKey[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0xE83E69FC, 0x4B536C5F, 0x95F7C08C, 0xD7DDC875, 0x7523E905, 0xAB8EA194, 0xA4597A87, 0x54157B1A,
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0xCD0386E9, 0xF4F8B20D, 0x48176041, 0xE40A6F3B, 0x905B438C, 0xA9F0422E, 0x16B6ED6B, 0xCA21FA7C,
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,
};

std::FILE*     bookFile         = nullptr;
std::uint32_t* bookIndex        = nullptr;
BookRecord*    bookRecordBuffer = nullptr;
char           bookFileName[256] = "BrixBook.bin";

static long bookFileSize = 0;
static bool warnedBadBucket = false;

static void warnOnce(bool& warned, const char* text) {
    if (warned) return;
    warned = true;
    std::fprintf(stderr, "%s\n", text);
}

static std::uint32_t readU32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}
static void writeU32(std::uint8_t* b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = std::uint8_t(v >> (8 * i));
}

void encodeBookRecord(const BookRecord& r, std::uint8_t* b) {
    writeU32(b, r.checkKey);
    writeU32(b + 4, r.frequency);
    b[8]  = std::uint8_t(std::uint16_t(r.winLoss));
    b[9]  = std::uint8_t(std::uint16_t(r.winLoss) >> 8);
    b[10] = std::uint8_t(r.scoredDepth);
    b[11] = std::uint8_t(r.searchScore);
    b[12] = std::uint8_t(std::uint16_t(r.learned));
    b[13] = std::uint8_t(std::uint16_t(r.learned) >> 8);
    b[14] = r.skipCount;
    b[15] = r.reserved;
}

static std::int16_t toInt16(std::uint16_t u) { return u < 0x8000 ? std::int16_t(u) : std::int16_t(int(u) - 0x10000); }
static std::int8_t  toInt8(std::uint8_t u) { return u < 0x80 ? std::int8_t(u) : std::int8_t(int(u) - 0x100); }

void decodeBookRecord(const std::uint8_t* b, BookRecord* r) {
    r->checkKey    = readU32(b);
    r->frequency   = readU32(b + 4);
    r->winLoss     = toInt16(std::uint16_t(b[8] | b[9] << 8));
    r->scoredDepth = toInt8(b[10]);
    r->searchScore = toInt8(b[11]);
    r->learned     = toInt16(std::uint16_t(b[12] | b[13] << 8));
    r->skipCount   = b[14];
    r->reserved    = b[15];
}

bool readBookBucket(std::FILE* file, long fileSize, std::uint32_t offset, BookRecord* records, int* count) {
    std::uint8_t head[4];
    // A bucket inside the index would hand out records that overlap it, at
    // offsets below the record area that the scoring walk indexes by.
    if (offset < std::uint32_t(BOOK_INDEX_BYTES) || long(offset) + 4 > fileSize ||
        std::fseek(file, long(offset), SEEK_SET) != 0 || std::fread(head, 1, 4, file) != 4)
        return false;
    std::uint32_t n = readU32(head);
    if (n > BOOK_BUCKET_LIMIT) n = BOOK_BUCKET_LIMIT;
    if (long(offset) + 4 + long(n) * BOOK_RECORD_BYTES > fileSize) return false;
    static std::uint8_t bytes[BOOK_BUCKET_LIMIT * BOOK_RECORD_BYTES];
    if (std::fread(bytes, BOOK_RECORD_BYTES, n, file) != n) return false;
    for (std::uint32_t i = 0; i < n; ++i) decodeBookRecord(bytes + i * BOOK_RECORD_BYTES, &records[i]);
    *count = int(n);
    return true;
}

bool openBook() {
    if (bookFile) return true;
    std::FILE* file = std::fopen(bookFileName, "r+b");
    if (!file) return false;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    static bool warnedShort = false;
    if (size < BOOK_INDEX_BYTES) {
        warnOnce(warnedShort, "BrixBook.bin is shorter than its index: playing without a book");
        std::fclose(file);
        return false;
    }
    bookIndex        = static_cast<std::uint32_t*>(std::malloc(BOOK_INDEX_BYTES));
    bookRecordBuffer = static_cast<BookRecord*>(std::malloc(sizeof(BookRecord) * BOOK_BUCKET_LIMIT));
    static std::uint8_t raw[BOOK_INDEX_BYTES];
    if (!bookIndex || !bookRecordBuffer || std::fseek(file, 0, SEEK_SET) != 0 ||
        std::fread(raw, 1, BOOK_INDEX_BYTES, file) != std::size_t(BOOK_INDEX_BYTES)) {
        std::free(bookIndex);
        std::free(bookRecordBuffer);
        bookIndex        = nullptr;
        bookRecordBuffer = nullptr;
        std::fclose(file);
        return false;
    }
    for (int s = 0; s < BOOK_INDEX_SLOTS; ++s) bookIndex[s] = readU32(raw + 4 * s);
    bookFile     = file;
    bookFileSize = size;
    return true;
}

void closeBook() {
    if (!bookFile) return;
    std::fclose(bookFile);
    std::free(bookIndex);
    std::free(bookRecordBuffer);
    bookFile         = nullptr;
    bookIndex        = nullptr;
    bookRecordBuffer = nullptr;
}

std::uint32_t bookSlot() { return std::uint32_t(hashKey) & (BOOK_INDEX_SLOTS - 1); }

std::uint32_t bookCheckKey() {
    return std::uint32_t(hashKey >> 32) ^ castleBookKey[castleRights & 15] ^ (epSquare < 64 ? epBookKey[epSquare] : 0);
}

bool findBookRecord(BookRecord* record, long* offset) {
    if (!bookFile) return false;
    const std::uint32_t at = bookIndex[bookSlot()];
    if (at == BOOK_EMPTY_SLOT) return false;
    int count = 0;
    if (!readBookBucket(bookFile, bookFileSize, at, bookRecordBuffer, &count)) {
        warnOnce(warnedBadBucket, "BrixBook.bin has a bucket outside its record area: that part of the book is ignored");
        return false;
    }
    const std::uint32_t key = bookCheckKey();
    for (int i = 0; i < count; ++i)
        if (bookRecordBuffer[i].checkKey == key) {
            *record = bookRecordBuffer[i];
            *offset = long(at) + 4 + long(i) * BOOK_RECORD_BYTES;
            return true;
        }
    return false;
}

// Writes `count` bytes at byte `within` of the record at `offset` and
// flushes them, so that a failure shows here and not at some later call.
static bool writeRecordBytes(long offset, long within, const void* bytes, std::size_t count) {
    static bool warnedWrite = false;
    if (!bookFile || offset < BOOK_INDEX_BYTES || offset + BOOK_RECORD_BYTES > bookFileSize) return false;
    const bool written = std::fseek(bookFile, offset + within, SEEK_SET) == 0 &&
                         std::fwrite(bytes, 1, count, bookFile) == count && std::fflush(bookFile) == 0;
    if (!written) {
        std::clearerr(bookFile);
        warnOnce(warnedWrite, "BrixBook.bin cannot be written: book changes are lost");
    }
    return written;
}

bool writeBookRecord(const BookRecord& record, long offset) {
    std::uint8_t bytes[BOOK_RECORD_BYTES];
    encodeBookRecord(record, bytes);
    return writeRecordBytes(offset, 0, bytes, BOOK_RECORD_BYTES);
}

bool writeBookSkipCount(std::uint8_t skipCount, long offset) { return writeRecordBytes(offset, 14, &skipCount, 1); }
