// tbmake/huffman.h: code construction for the compressor: length-limited
// Huffman code lengths, and the canonical code of a set of lengths (the codes
// the engine's reader assigns to them).
#pragma once
#include <cstdint>
#include <vector>

// Canonical Huffman code lengths of at most `limit` bits for `count`
// symbols: weight 0 gives length 0; a single used symbol gets length 1 (the
// format decodes it without bits); otherwise the code is complete and of
// least total weight x length among the codes within the limit
// (package-merge). False when more than 2^limit symbols are used.
bool buildCodeLengths(const std::uint64_t* weights, int count, int limit, std::uint8_t* lengths);

// Canonical code of a set of lengths: `single` when exactly one symbol is
// used, which the reader decodes without taking a bit.
struct HuffmanCode {
    std::vector<std::uint8_t>  length;
    std::vector<std::uint32_t> code;
    bool                       single = false;
};
HuffmanCode canonicalCode(const std::uint8_t* lengths, int count);
