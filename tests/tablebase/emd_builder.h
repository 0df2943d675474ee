#pragma once
// Compressed table files (.emd) built symbol by symbol for the tests and the
// fuzz target. Written from the file layout alone, apart from the engine's
// reader: every field, code and block can be set or damaged on purpose, and a
// model of the block symbols says what each block must read as.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bits appended most significant first.
struct BitWriter {
    std::vector<std::uint8_t> bytes;
    std::uint64_t             bitCount = 0;
};
void putBits(BitWriter& w, std::uint32_t value, int count);  // the low `count` (0..32) bits of value
void padBits(BitWriter& w, int unitBits);                    // zero bits up to a multiple of unitBits

// The canonical code of a set of lengths (0: unused): per symbol its code
// value, ordered by (length, symbol), starting at zero.
std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths);

// A complete code over the symbols marked used: lengths m - 1 and m for k
// symbols (2^(m-1) < k <= 2^m), one symbol alone gets length 1.
std::vector<int> flatCodeLengths(const std::vector<bool>& used);

// One symbol of a coded block with the extra bits that follow it.
struct EmdSymbol {
    std::uint16_t symbol;     // 0..255 literal, 256 + 32 d + c copy
    std::uint32_t extra;      // value of the extra bits
    int           extraBits;  // 0, or c - 14 for c >= 15
};
EmdSymbol emdLiteral(std::uint8_t byte);
// A copy of `length` bytes (1 .. 2^18 + 13) from class `distanceClass`, with
// the length class and extra bits the length rule gives.
EmdSymbol emdCopy(int distanceClass, std::uint32_t length);
// The same with the length class and extra value given as they are.
EmdSymbol emdCopyClass(int distanceClass, int lengthClass, std::uint32_t extra);
std::uint32_t emdCopyLength(const EmdSymbol& s);  // the length a copy symbol stands for

struct EmdBlock {
    enum Kind { STORED, CODED, RAW };
    Kind                      kind = CODED;
    std::vector<std::uint8_t> bytes;    // STORED: the content; RAW: the compressed bytes as they are
    std::vector<EmdSymbol>    symbols;  // CODED
    std::uint32_t             padBytes = 0;  // CODED: zero bytes after the padded bits
    std::int32_t headerLength = -1;  // the compressed length the header gives; -1: the real one
};

// One entry of the 1024 code lengths as read through the auxiliary codes:
// a < 32 is a length; a >= 32 a run of length a - 32 whose count comes from
// the B symbol b (and, for b >= 32, its b - 32 extra bits).
struct LengthItem {
    int           a;
    int           b     = -1;
    std::uint32_t extra = 0;
};
// Run of `count` (2..1054) equal lengths as A and B symbols.
LengthItem lengthRun(int length, std::uint32_t count);

struct EmdCodeLengths {
    bool allZero = false;  // the flag bit set: no block code at all
    // The auxiliary alphabet: 128 lengths (A = 0..63, B = 64..127). Empty:
    // a flat complete code over the A and B symbols the items use.
    std::vector<int> aux;
    bool             auxAllZero   = false;  // its own flag bit set
    int              auxWidth     = 0;      // bits per length; 0: the fewest that hold the largest
    int              auxZeroRun   = 15;     // longest zero-run count written after a 0 (0..15)
    int              auxOverrun   = 0;      // added to the count after the last 0: a run past 128
    bool             useRuns      = true;   // derived items: runs of two or more as run symbols
    std::vector<LengthItem> items;          // empty: derived from the block code lengths
};

struct EmdFile {
    std::uint8_t  exponent   = 13;
    std::uint8_t  classes    = 24;
    std::uint32_t tag        = 0x004001F5;
    std::uint16_t unexamined = 0;
    std::uint32_t distances[24] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 64, 128, 256, 512, 1024, 2048,
                                   4096, 8191, 9, 10, 11, 12, 100, 1000};
    // The 1024 block code lengths; empty: a flat code over the symbols the
    // coded blocks use (all zero when there are none).
    std::vector<int> lengths;
    EmdCodeLengths   codeLengths;
    std::vector<EmdBlock>      blocks;    // distinct blocks
    std::vector<std::uint32_t> layout;    // block of the file -> entry of `blocks`; empty: one each
    std::uint32_t              lastLength = 8192;  // uncompressed length of the last block (header entry n)
};

struct EmdImage {
    std::vector<std::uint8_t> bytes;
    std::uint32_t             headerLength = 0;   // H
    std::uint32_t             codeLengthsAt = 0;  // C
    std::vector<std::uint64_t> blockAt;           // file offset of each block
};

// The whole file as the layout has it, header checksum included.
EmdImage buildEmdFile(const EmdFile& file);
// What block `block` of the file reads as, by the block rules (stored bytes
// or the symbols played out); false when the rules say it is broken.
bool emdBlockContent(const EmdFile& file, std::uint32_t block, std::vector<std::uint8_t>& content);
// The block symbols' lengths the builder uses for `file`.
std::vector<int> emdBlockCodeLengths(const EmdFile& file);

// The header checksum, computed bit by bit (not through a table).
std::uint32_t emdChecksumBitwise(const std::uint8_t* bytes, std::size_t length);
// Rewrites the checksum of a (patched) image: H from bytes 64..67, when it fits.
void resealEmd(std::vector<std::uint8_t>& bytes);
void putBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int width);

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A chain code: 32 symbols, literals and copies (with and without extra
// bits) mixed, with lengths 1, 2, ..., 30, 31, 31.
std::vector<int> chainCodeLengths();
// A complete code of up to `symbols` symbols and lengths up to maxLength,
// grown from two codes of one bit by splitting leaves (deep ones often).
std::vector<int> randomCompleteLengths(std::uint32_t seed, int maxLength, int symbols);
// Symbols of a code making exactly `expected` bytes: each used symbol
// where it fits, then `picks` random ones, then the longest copies.
std::vector<EmdSymbol> randomEmdBlock(const std::vector<int>& lengths, const std::uint32_t* distances,
                                      std::uint32_t expected, std::uint32_t seed, int picks);

// A small valid file for the side of a record: knk white to move, four
// blocks, every kind of block (stored, coded with copies, short last one).
EmdFile sampleEmdFile();
