// tbmake/emdwriter.h: the compressed file writer. One Huffman code and 24
// copy distances serve a whole file; each 8 KB block is parsed on its own,
// repeatedly as the code learns from the parse, and a block whose coding is
// not shorter is stored as it is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Sizes of one packed file, for progress lines and the benchmark.
struct PackSummary {
    std::uint64_t rawBytes    = 0;
    std::uint64_t packedBytes = 0;  // the whole file
    std::uint64_t headerBytes = 0;  // everything before the first block
    std::uint32_t blocks      = 0;
    std::uint32_t storedBlocks = 0;
    std::uint16_t distances[24] = {};
};

// The complete .emd image of `length` raw bytes (a table side's file).
// `threads` blocks are coded at once (0: one per core). With `fillFree` the
// bytes of FREE_BYTE (127, blockparse.h: indices no position reaches) come
// out as whatever codes shortest, every other byte as it is.
std::vector<std::uint8_t> packTableImage(const std::uint8_t* raw, std::size_t length, PackSummary* summary = nullptr,
                                         unsigned threads = 0, bool fillFree = false);
