// fuzz/fuzz_emd.cpp: damaged compressed table files. The input picks one of
// a few valid files (tests/tablebase/emd_builder.h) and edits it; the result
// is registered with the reporting registration (never the one that exits)
// and every block is read past the cache and through it.
//
// Input layout:
//   byte 0       bits 0-1 the file: 0 the sample (stored, coded and short
//                blocks), 1 a chain code of 1..31 bits, 2 all 1024 symbols at
//                10 bits read through one-symbol auxiliary codes, 3 one
//                literal of 1 bit (blocks of one byte); bit 2: rewrite the
//                header checksum after the edits, so they reach the fields
//                behind it
//   4 bytes each an edit: bits 7-6 of the first the kind (0 XOR, 1 set,
//                2 insert, 3 erase 1..8 bytes), the other 22 bits the offset
//                (modulo the length + 1), the last byte the value
//
// Properties, beyond no crash and no sanitizer report:
//   - a file whose header bytes and length are those of the original
//     registers;
//   - a refusal is one of the engine's lines;
//   - a block reads as -1 or exactly its expected length; with the header
//     unchanged, a block whose bytes are unchanged reads as the original
//     block, and a stored block as the bytes now in the file;
//   - through the cache, a value is the one its block read gives, or
//     "unknown" with the side dropped when the block cannot be read.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "fuzz/fuzz_support.h"
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"
#include "tests/tablebase/emd_builder.h"

namespace {

constexpr std::uint32_t KNK_LAST = 26282 - 3 * 8192;
constexpr std::size_t   MAX_EDITS = 64;

struct Base {
    EmdFile                                file;
    EmdImage                               image;
    std::vector<std::vector<std::uint8_t>> content;  // per block
};

template <class Make>
Base makeBase(const std::vector<int>& lengths, Make make) {
    Base base;
    base.file.lastLength = KNK_LAST;
    base.file.lengths    = lengths;
    for (std::uint32_t b = 0; b < 4; ++b) base.file.blocks.push_back(make(b, b < 3 ? 8192u : KNK_LAST));
    return base;
}

EmdBlock coded(std::vector<EmdSymbol> symbols) {
    EmdBlock b;
    b.symbols = std::move(symbols);
    return b;
}

const std::vector<Base>& bases() {
    static const std::vector<Base> all = [] {
        std::vector<Base> v;
        Base sample;
        sample.file = sampleEmdFile();
        v.push_back(sample);
        const std::vector<int> chain = chainCodeLengths();
        v.push_back(makeBase(chain, [&](std::uint32_t b, std::uint32_t expected) {
            return coded(randomEmdBlock(chain, EmdFile{}.distances, expected, b, 200));
        }));
        const std::vector<int> tens(1024, 10);
        Base wide = makeBase(tens, [&](std::uint32_t b, std::uint32_t expected) {
            return coded(randomEmdBlock(tens, EmdFile{}.distances, expected, 50 + b, 20));
        });
        wide.file.codeLengths.items = {lengthRun(10, 512), lengthRun(10, 512)};
        v.push_back(wide);
        std::vector<int> one(1024, 0);
        one[0x2A] = 1;
        v.push_back(makeBase(one, [](std::uint32_t, std::uint32_t expected) {
            return coded(std::vector<EmdSymbol>(expected, emdLiteral(0x2A)));
        }));
        for (Base& base : v) {
            base.image = buildEmdFile(base.file);
            for (std::uint32_t b = 0; b < 4; ++b) {
                base.content.emplace_back();
                if (!emdBlockContent(base.file, b, base.content.back()))
                    fuzzFailure("base file", "block " + std::to_string(b) + " is not valid");
            }
        }
        return v;
    }();
    return all;
}

char scratch[256];

void removeScratch() {
    std::remove((std::string(scratch) + "/knk.nbw.emd").c_str());
    rmdir(scratch);
}

const char* scratchDirectory() {
    if (!scratch[0]) {
        const char* tmp = std::getenv("TMPDIR");
        std::snprintf(scratch, sizeof scratch, "%s/brix-fuzz-emd-XXXXXX", tmp && *tmp ? tmp : "/tmp");
        if (!mkdtemp(scratch)) fuzzFailure("start-up", "cannot make a scratch directory");
        std::atexit(removeScratch);
    }
    return scratch;
}

std::vector<std::uint8_t> edited(const std::vector<std::uint8_t>& original, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes = original;
    for (std::size_t at = 1, k = 0; at + 4 <= size && k < MAX_EDITS; at += 4, ++k) {
        const int           kind   = data[at] >> 6;
        const std::size_t   where  = (std::size_t(data[at] & 63) << 16 | std::size_t(data[at + 1]) << 8 | data[at + 2]) %
                                     (bytes.size() + 1);
        const std::uint8_t  value  = data[at + 3];
        if (kind == 0 && where < bytes.size()) bytes[where] ^= value;
        else if (kind == 1 && where < bytes.size()) bytes[where] = value;
        else if (kind == 2) bytes.insert(bytes.begin() + std::ptrdiff_t(where), value);
        else if (kind == 3) bytes.erase(bytes.begin() + std::ptrdiff_t(where),
                                        bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), where + value % 8 + 1)));
    }
    if (size > 0 && (data[0] & 4)) resealEmd(bytes);
    return bytes;
}

bool sameRange(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::uint64_t from, std::uint64_t to) {
    return to <= a.size() && to <= b.size() && std::memcmp(a.data() + from, b.data() + from, to - from) == 0;
}

// The last block's length as the (edited) header gives it.
std::uint32_t lastLengthOf(const std::vector<std::uint8_t>& bytes, std::uint32_t n) {
    const std::uint64_t bit = 8 * (80 + 8 * std::uint64_t(n)) + 13 * std::uint64_t(n);
    std::uint32_t       v   = 0;
    for (int k = 0; k < 13; ++k) {
        const std::uint64_t at = (bit + std::uint64_t(k)) >> 3;
        const std::uint32_t b  = at < bytes.size() ? (bytes[at] >> (7 - ((bit + std::uint64_t(k)) & 7))) & 1u : 0;
        v                      = v << 1 | b;
    }
    return v == 0 ? 8192 : v;
}

// How often each property was put to the test, shown at exit with
// BRIX_FUZZ_VERBOSE=1: a property never reached proves nothing.
struct Tally {
    std::uint64_t inputs, refused, registered, headerKept, blocksRead, blocksFailed, storedChecked, untouchedChecked;
};
Tally tally;

void showTally() {
    std::fprintf(stderr,
                 "emd: %llu inputs, %llu refused, %llu registered (%llu with the header kept); blocks: %llu read, "
                 "%llu unreadable, %llu stored and %llu untouched compared\n",
                 (unsigned long long)tally.inputs, (unsigned long long)tally.refused, (unsigned long long)tally.registered,
                 (unsigned long long)tally.headerKept, (unsigned long long)tally.blocksRead,
                 (unsigned long long)tally.blocksFailed, (unsigned long long)tally.storedChecked,
                 (unsigned long long)tally.untouchedChecked);
}

std::int32_t valueOfByte(std::int32_t b) {
    return b == 0 ? 0 : b == 127 ? TB_VALUE_UNKNOWN : b == -128 ? 32640 : b == -127 ? -32640 : b > 0 ? 32640 + b : b - 32640;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool verbose = [] {
        const char* v = std::getenv("BRIX_FUZZ_VERBOSE");
        if (v && std::strcmp(v, "1") == 0) std::atexit(showTally);
        return true;
    }();
    (void)verbose;
    ++tally.inputs;
    const std::vector<Base>& all   = bases();
    const Base&              base  = all[size > 0 ? data[0] & 3 : 0];
    const std::vector<std::uint8_t>& original = base.image.bytes;
    const std::vector<std::uint8_t>  bytes    = edited(original, data, size);
    const std::string directory = scratchDirectory();
    const std::string path      = directory + "/knk.nbw.emd";
    if (!writeBytes(path, bytes)) fuzzFailure("scratch file", path);

    static const int knk = findTablebaseRecord("knk");
    forgetTableFiles();
    if (!allocateBlockCache(32768)) fuzzFailure("cache", "no memory for three slots");
    char      line[600];
    const int result = tryRegisterTableSide(directory.c_str(), knk, 0, line, sizeof line);
    const std::uint32_t h = base.image.headerLength;
    const bool headerKept = bytes.size() == original.size() && sameRange(bytes, original, 0, h);
    if (headerKept && result != 1) fuzzFailure("a good header refused", line);
    if (result == -1) {
        const std::string text = line;
        const bool known = text.rfind("*** Unable to read " + path + " - ", 0) == 0 || text == "*** " + path + " corrupted\n" ||
                           text.rfind("*** " + path + ": Unsupported block size ", 0) == 0;
        if (!known || text.back() != '\n') fuzzFailure("refusal line", text);
        ++tally.refused;
        return 0;
    }
    if (result != 1) fuzzFailure("registration", "result " + std::to_string(result));
    ++tally.registered;
    tally.headerKept += headerKept;

    // 1. Every block past the cache.
    const std::uint32_t n = std::uint32_t(bytes[72]) << 24 | std::uint32_t(bytes[73]) << 16 |
                            std::uint32_t(bytes[74]) << 8 | bytes[75];
    const std::uint32_t last = lastLengthOf(bytes, n);
    std::vector<std::uint8_t> block(TB_SLOT_DATA);
    std::vector<std::int32_t> lengths;
    std::vector<std::vector<std::uint8_t>> read;
    for (std::uint32_t b = 0; b < n && b < 8; ++b) {
        const std::int32_t got      = readTableBlock(knk, 0, b, block.data());
        const std::uint32_t expected = b + 1 < n ? 8192 : last;
        if (got != -1 && got != std::int32_t(expected))
            fuzzFailure("block length", "block " + std::to_string(b) + ": " + std::to_string(got));
        lengths.push_back(got);
        ++(got < 0 ? tally.blocksFailed : tally.blocksRead);
        read.emplace_back(block.begin(), block.begin() + (got > 0 ? got : 0));
        if (!headerKept) continue;
        const std::uint64_t from = base.image.blockAt[b];
        const std::uint64_t to   = b + 1 < base.image.blockAt.size() ? base.image.blockAt[b + 1] : original.size();
        if (to - from == expected) {
            ++tally.storedChecked;
            if (got != std::int32_t(expected) || std::memcmp(block.data(), bytes.data() + from, expected) != 0)
                fuzzFailure("stored block", "block " + std::to_string(b) + " is not the bytes in the file");
        } else if (sameRange(bytes, original, from, to)) {
            ++tally.untouchedChecked;
            if (got != std::int32_t(base.content[b].size()) ||
                std::memcmp(block.data(), base.content[b].data(), base.content[b].size()) != 0)
                fuzzFailure("untouched block", "block " + std::to_string(b) + " reads differently");
        }
    }
    if (n < 8 && readTableBlock(knk, 0, n, block.data()) != -1) fuzzFailure("block past the end", std::to_string(n));

    // 2. The same through the cache of three slots, blocks in a rotating
    //    order so that they are evicted and read again.
    for (std::uint32_t k = 0; k < 2 * lengths.size(); ++k) {
        const std::uint32_t b      = (k * 3) % std::uint32_t(lengths.size());
        const std::uint32_t offset = (k * 2741u + 5) % (b + 1 < n ? 8192 : last);
        const std::int32_t  value  = lookupTableValue(knk, 0, b * 8192 + offset);
        if (lengths[b] < 0) {
            if (value != TB_VALUE_UNKNOWN || isTableSideRegistered(knk, 0))
                fuzzFailure("unreadable block", "block " + std::to_string(b) + " answered " + std::to_string(value));
            break;
        }
        if (!isTableSideRegistered(knk, 0)) fuzzFailure("side dropped", "block " + std::to_string(b));
        if (value != valueOfByte(std::int8_t(read[b][offset])))
            fuzzFailure("cached value", "block " + std::to_string(b) + " offset " + std::to_string(offset));
    }
    return 0;
}
