// tablebase/emdformat.h: the layout of a compressed table file (.emd), which
// the engine's reader and the table maker's writer both follow. Integers are
// big-endian; bit fields run from the most significant bit of each byte.
//
//   0        the signature (64 bytes)
//   64       header length H (4)
//   70       block exponent (1), 71 copy distance classes (1)
//   72       block count n (4), 76 format tag (4)
//   80       n block records of 8 bytes (offset, length; the reader does not use them)
//   80 + 8n  bit-packed: n + 1 thirteen-bit block lengths (0 = 8192; the last
//            entry is the uncompressed length of the last block), then the
//            24 thirteen-bit copy distances, padded to two bytes
//   then     the code lengths of the 1024 block symbols, padded to two bytes
//   H - 4    the checksum of bytes 0 .. H - 5; from H the blocks
#pragma once
#include <cstddef>
#include <cstdint>

constexpr std::uint32_t EMD_SIGNATURE_BYTES = 64;
constexpr std::uint32_t EMD_AT_HEADER_LENGTH  = 64;
constexpr std::uint32_t EMD_AT_BLOCK_EXPONENT = 70;
constexpr std::uint32_t EMD_AT_DISTANCE_COUNT = 71;
constexpr std::uint32_t EMD_AT_BLOCK_COUNT    = 72;
constexpr std::uint32_t EMD_AT_FORMAT_TAG     = 76;
constexpr std::uint32_t EMD_HEAD_BYTES        = 80;  // the fixed part of the header
constexpr std::uint32_t EMD_BLOCK_RECORD_BYTES = 8;  // per block, after the fixed part
constexpr std::uint32_t EMD_CHECKSUM_BYTES    = 4;   // ends the header
constexpr std::uint32_t EMD_MIN_HEADER        = EMD_HEAD_BYTES + EMD_CHECKSUM_BYTES;
constexpr std::uint32_t EMD_FORMAT_TAG        = 0x004001F5;

constexpr int           EMD_BLOCK_EXPONENT = 13;  // blocks of 2^13 bytes
constexpr std::uint32_t EMD_BLOCK_BYTES    = 1u << EMD_BLOCK_EXPONENT;
constexpr int           EMD_FIELD_BITS     = 13;  // each packed block length and copy distance

// Block symbols: 256 literals, then 32 copy length codes per distance class.
constexpr int EMD_LITERALS      = 256;
constexpr int EMD_DISTANCES     = 24;  // copy distance classes per file
constexpr int EMD_LENGTH_CODES  = 32;
constexpr int EMD_SYMBOLS       = EMD_LITERALS + EMD_DISTANCES * EMD_LENGTH_CODES;
constexpr int EMD_MAX_CODE_BITS = 31;  // longest Huffman code of a block symbol
static_assert(EMD_SYMBOLS == 1024);

// The block-symbol lengths are written with two small codes of 64 symbols
// each (lengths and run starts; run counts), whose own lengths come first.
constexpr int EMD_SMALL_SYMBOLS   = 64;
constexpr int EMD_SMALL_CODE_BITS = 8;  // longest code of a small code

extern const char EMD_SIGNATURE[EMD_SIGNATURE_BYTES];  // the first bytes of every file we write

// The header checksum: reflected, table driven, from 0, no final inversion.
std::uint32_t emdChecksum(const std::uint8_t* bytes, std::size_t length);
