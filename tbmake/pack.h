// tbmake/pack.h: the compressor that turns uncompressed table files into
// .emd files of independently coded 8 KB blocks. Every file it keeps has
// been read back through the engine's own reader and compared byte by byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Canonical Huffman code lengths of at most `limit` bits for `count`
// symbols: weight 0 gives length 0; a single used symbol gets length 1 (the
// format decodes it without bits); otherwise the code is complete and of
// least total weight x length among the codes within the limit
// (package-merge). False when more than 2^limit symbols are used.
bool buildCodeLengths(const std::uint64_t* weights, int count, int limit, std::uint8_t* lengths);

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
// `threads` blocks are coded at once (0: one per core).
std::vector<std::uint8_t> packTableImage(const std::uint8_t* raw, std::size_t length, PackSummary* summary = nullptr,
                                         unsigned threads = 0);

// Compresses one side of a record found uncompressed in the directory into
// NAME.nbw.emd / NAME.nbb.emd: written under a scratch name, read back
// through the engine's reader (registration and every block), compared, and
// only then renamed into place. With `removeRaw` the uncompressed file is
// deleted afterwards. False with the reason in `error`. Forgets every
// registered table file of the engine on the way.
bool packTableSide(const std::string& directory, int ordinal, int side, bool removeRaw, std::string& error,
                   PackSummary* summary = nullptr);

// brix-tools tbpack DIR [NAME...] [--remove]: every named record (default:
// every record whose uncompressed files are all in DIR), each side. One
// progress line per file on stderr, totals on stdout. Returns 0, or 1 with
// the reason printed on the first failure.
int packTables(const std::string& directory, const std::vector<std::string>& names, bool removeRaw);
