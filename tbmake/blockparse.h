// tbmake/blockparse.h: how the compressor turns a file into block symbols:
// the file's copy distances, chosen from its own repetitions, and each 8 KB
// block's cheapest parse into literals and copies under the current bit
// costs, found as a shortest path over the block's positions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "tablebase/emdformat.h"
#include "tbmake/huffman.h"

constexpr std::uint8_t LITERAL = 255;  // distance class of a literal in a parse step

// Raw tables hold this at the indices no position reaches. Where a file's
// free bytes may be filled, no probe ever reads them, so the packer writes
// there whatever codes shortest: the parse sees them as wildcards.
constexpr std::uint8_t FREE_BYTE = 127;

// Bit costs in sixteenths of a bit; UNUSABLE marks a symbol the code lacks.
constexpr std::uint32_t COST_ONE_BIT = 16;
constexpr std::uint32_t UNUSABLE     = 1u << 28;

// Length encoding of copies: c = length - 1 below 16, else e = c - 14 extra
// bits over 2^e + 14. A copy's symbol is its distance class's c-th.
struct LengthCode {
    int           c;
    int           extraBits;
    std::uint32_t extra;
};
LengthCode lengthCodeOf(std::uint32_t length);
int        copySymbol(int distanceClass, int c);

// What writing each block symbol costs under the code of the moment.
struct Costs {
    std::uint32_t symbol[EMD_SYMBOLS];  // sixteenths of a bit, UNUSABLE when absent
};

// One step of a parse: a literal (distance class LITERAL) or a copy.
struct ParseStep {
    std::uint16_t length;
    std::uint8_t  distanceClass;
    std::uint8_t  literal;
};

// Best way found to each position of a block, one word so that a single
// unsigned minimum keeps the cheapest: price << 32 | class << 16 | length.
using Arrival = std::uint64_t;

struct ParseScratch {
    std::vector<std::uint16_t> match;  // [position * 24 + class]: bytes a copy could take there
    std::vector<std::uint8_t>  same;   // [position]: 1 where a copy of one distance may write the byte
    std::vector<Arrival>       best;
    ParseScratch()
        : match(std::size_t(EMD_BLOCK_BYTES) * EMD_DISTANCES), same(EMD_BLOCK_BYTES), best(std::size_t(EMD_BLOCK_BYTES) + 1) {}
};

// The file's EMD_DISTANCES copy distances, each below the block size, for
// the bytes of `data`, judged on `sampleBlocks` blocks spread over it. Where
// `original` (or nullptr) holds FREE_BYTE, the byte of `data` is only a
// first guess: it lets a run go on but counts for nothing itself.
void chooseDistances(const std::uint8_t* data, const std::uint8_t* original, std::size_t length, std::uint16_t* distances,
                     std::size_t sampleBlocks);
// False when the costs leave no way through the block (a byte the code
// cannot write and no copy to cover it). Costs of UNUSABLE and more keep
// their sums at UNUSABLE or above, so an unusable step never looks usable.
// `p` is the block to write; `original` (or nullptr: every byte counts)
// is the raw block, whose FREE_BYTE bytes may come out as anything: a copy
// runs on through them and a literal there is the cheapest literal. Such a
// parse may then rely on a free byte of `p` that it makes different; the
// bytes it makes are what fillFromParse writes. It gives them back when
// `original` is nullptr, or with `fixedSources`: then a copy writes a fixed
// byte only from a fixed byte, at some cost in length.
bool parseBlock(const std::uint8_t* p, const std::uint8_t* original, int n, const std::uint16_t* distances,
                const Costs& costs, ParseScratch& s, std::vector<ParseStep>& steps, bool fixedSources = false);
// Writes into the free bytes of `p` (those of FREE_BYTE in `original`) what
// the reader makes of the steps there.
void fillFromParse(std::uint8_t* p, const std::uint8_t* original, const std::uint16_t* distances,
                   const std::vector<ParseStep>& steps);
int symbolOf(const ParseStep& step);
// Bits of a parse under a code, extra bits included.
std::uint64_t parseBits(const std::vector<ParseStep>& steps, const HuffmanCode& h);
// Costs from symbol counts: the information content of each symbol, at
// least one bit (a Huffman code spends no less); a symbol the parse did not
// use stays within reach at a little more than the rarest one.
void costsFromCounts(const std::uint64_t* counts, Costs& costs);
// Costs of writing each symbol in a code: its length.
void costsFromCode(const HuffmanCode& h, Costs& costs);
// A first guess before any parse: literals by the file's byte frequencies,
// copies at about seven bits plus their extra bits.
void initialCosts(const std::uint8_t* raw, std::size_t length, Costs& costs);
