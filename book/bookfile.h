// book/bookfile.h: BrixBook.bin, the opening book file. A 32768-slot index
// of little-endian offsets, then one bucket per used slot: a record count
// and 16-byte records. Positions, not moves, are stored: a book move is found
// by making it and looking the new position up.
#pragma once
#include <cstdint>
#include <cstdio>

constexpr int           BOOK_INDEX_SLOTS  = 32768;
constexpr int           BOOK_INDEX_BYTES  = BOOK_INDEX_SLOTS * 4;
constexpr int           BOOK_BUCKET_LIMIT = 4096;  // records read from one bucket at most
constexpr int           BOOK_RECORD_BYTES = 16;
constexpr std::uint32_t BOOK_EMPTY_SLOT   = 0xFFFFFFFF;
constexpr const char*   BOOK_FILE_NAME    = "BrixBook.bin";

// Record layout in the file (little-endian):
//   0 u32 checkKey, 4 u32 frequency, 8 i16 winLoss, 10 i8 scoredDepth,
//   11 i8 searchScore, 12 i16 learned, 14 u8 skipCount, 15 u8 reserved.
struct BookRecord {
    std::uint32_t checkKey;     // position within its slot; never 0 when written
    std::uint32_t frequency;    // games of the source collection that reached it
    std::int16_t  winLoss;      // their results for the side that moved into it
    std::int8_t   scoredDepth;  // depth of the scoring search, 0: never scored
    std::int8_t   searchScore;  // its score for the side to move, clamped to -128..127
    std::int16_t  learned;      // learning value, 0 until learning touched it
    std::uint8_t  skipCount;    // probes for which the position is not offered
    std::uint8_t  reserved;
};
static_assert(sizeof(BookRecord) == 16);

extern const std::uint32_t castleBookKey[16];  // by castling rights
extern const std::uint32_t epBookKey[64];      // by en-passant square; 0 off ranks 3 and 6

extern std::FILE*     bookFile;        // open for reading and writing, or nullptr
extern char           bookFileName[256];  // the book openBook opens (BOOK_FILE_NAME unless a GUI chose another)
extern std::uint32_t* bookIndex;       // BOOK_INDEX_SLOTS offsets while open
extern BookRecord*    bookRecordBuffer;  // one bucket while open

bool          openBook();  // false (book closed) when the file is missing or unusable
void          closeBook();
std::uint32_t bookSlot();      // slot of the current position
std::uint32_t bookCheckKey();  // check key of the current position
// Looks the current position up; on success fills *record and *offset
// (the record's file offset).
bool findBookRecord(BookRecord* record, long* offset);
// Both write through at once; false (said once on standard error) when the
// bytes did not reach the file.
bool writeBookRecord(const BookRecord& record, long offset);
bool writeBookSkipCount(std::uint8_t skipCount, long offset);

void encodeBookRecord(const BookRecord& record, std::uint8_t* bytes);
void decodeBookRecord(const std::uint8_t* bytes, BookRecord* record);
// Reads up to BOOK_BUCKET_LIMIT records of the bucket at `offset` of `file`
// (of `fileSize` bytes); false unless the bucket lies wholly in the record
// area, between the index and the end of the file.
bool readBookBucket(std::FILE* file, long fileSize, std::uint32_t offset, BookRecord* records, int* count);
