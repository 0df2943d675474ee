// tbmake/emdwriter.cpp: the image of a compressed file: the parses and the
// code they learn, the blocks' bits, and the header with the code lengths
// written through two small codes of their own.
#include "tbmake/emdwriter.h"
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include "tablebase/emdformat.h"
#include "tbmake/blockparse.h"
#include "tbmake/huffman.h"
#include "tbmake/parallel.h"

namespace {

constexpr int BLOCK     = int(EMD_BLOCK_BYTES);
constexpr int DISTANCES = EMD_DISTANCES;
constexpr int SYMBOLS   = EMD_SYMBOLS;

// The code is learnt from about this many blocks spread over the file; every
// block of a smaller file takes part. Measured on krnkr (11,269 and 12,080
// blocks): learning from every block made files 0.3% and 0.6% smaller in 2.1
// and 2.0 times the time; from 256 blocks, 0.1% larger again than 1,024.
constexpr std::size_t LEARNING_BLOCKS = 1024;
// Learning parses, and blocks the distances are judged on, for a file that
// learns from every block and for one that learns from a sample. A sample's
// parses cost little beside the last parse of every block, so a big file
// affords more: krnkr's files came out 3.0% and 1.0% smaller for 10% and
// 36% more time, knpkn's 0.7% for 4-11%. On the 3-4-man set the same took
// three times as long for 1.2%; judging distances on 96 blocks alone gained
// nothing there.
constexpr int         LEARNING_PARSES[2] = {2, 6};
constexpr std::size_t DISTANCE_SAMPLE[2] = {24, 96};

// ---------------------------------------------------------------------------
// Bits, most significant first, the way the reader takes them.

struct BitWriter {
    std::vector<std::uint8_t> bytes;
    std::uint64_t             pending = 0;  // the low `count` bits wait to be written
    int                       count   = 0;
};

void putBits(BitWriter& w, std::uint32_t value, int bits) {
    if (bits == 0) return;
    w.pending = (w.pending << bits) | (std::uint64_t(value) & ((std::uint64_t(1) << bits) - 1));
    w.count += bits;
    while (w.count >= 8) {
        w.count -= 8;
        w.bytes.push_back(std::uint8_t(w.pending >> w.count));
    }
    w.pending &= (std::uint64_t(1) << w.count) - 1;
}

// Zero bits up to a whole unit of `unitBytes` bytes.
void padBits(BitWriter& w, std::size_t unitBytes) {
    if (w.count) putBits(w, 0, 8 - w.count);
    while (w.bytes.size() % unitBytes) w.bytes.push_back(0);
}

void putSymbol(BitWriter& w, const HuffmanCode& h, int symbol) {
    if (!h.single) putBits(w, h.code[std::size_t(symbol)], h.length[std::size_t(symbol)]);
}

// ---------------------------------------------------------------------------
// Code lengths in the header.

// Run symbol of the second code for a run of `run` >= 2 equal lengths.
struct RunCode {
    int           symbol;
    int           extraBits;
    std::uint32_t extra;
};

RunCode runCodeOf(int run) {
    const std::uint32_t c = std::uint32_t(run - 2);
    if (c <= 31) return {int(c), 0, 0};
    int k = 0;
    while ((std::uint32_t(2) << k) <= c - 31) ++k;
    return {32 + k, k, c - 31 - (std::uint32_t(1) << k)};
}

// One step of the length sequence: a single length, or `run` copies of it.
struct LengthStep {
    int length;
    int run;  // 1: a plain length
};

// Cheapest steps for the lengths under the costs of the two codes
// (costs in bits; unusable symbols very dear).
std::vector<LengthStep> planLengthSteps(const std::uint8_t* lengths, int count, const std::uint32_t* costA,
                                        const std::uint32_t* costB) {
    std::vector<std::uint32_t> price(std::size_t(count) + 1, UNUSABLE * 4);
    std::vector<int>           taken(std::size_t(count) + 1, 0);
    price[0] = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t base = price[std::size_t(i)];
        if (base >= UNUSABLE) continue;  // only reached through a missing symbol
        const int l = lengths[i];
        if (base + costA[l] < price[std::size_t(i) + 1]) price[std::size_t(i) + 1] = base + costA[l], taken[std::size_t(i) + 1] = 1;
        int same = 1;
        while (i + same < count && lengths[i + same] == l) ++same;
        for (int run = 2; run <= same; ++run) {
            const RunCode       r    = runCodeOf(run);
            const std::uint32_t cost = base + costA[32 + l] + costB[r.symbol] + std::uint32_t(r.extraBits);
            if (cost < price[std::size_t(i + run)]) price[std::size_t(i + run)] = cost, taken[std::size_t(i + run)] = run;
        }
    }
    std::vector<LengthStep> steps;
    for (int j = count; j > 0; j -= taken[std::size_t(j)]) steps.push_back({lengths[j - taken[std::size_t(j)]], taken[std::size_t(j)]});
    std::reverse(steps.begin(), steps.end());
    return steps;
}

// Lengths of n <= 128 symbols: width, then each length, with a 4-bit count
// of further zeros after every zero.
void putShortLengths(BitWriter& w, const std::uint8_t* lengths, int count) {
    int longest = 0;
    for (int s = 0; s < count; ++s) longest = std::max(longest, int(lengths[s]));
    if (longest == 0) {
        putBits(w, 1, 1);
        return;
    }
    putBits(w, 0, 1);
    int width = 0;
    while ((1 << width) <= longest) ++width;
    putBits(w, std::uint32_t(width), 5);
    for (int s = 0; s < count; ++s) {
        putBits(w, lengths[s], width);
        if (lengths[s] != 0) continue;
        int zeros = 0;
        while (zeros < 15 && s + 1 + zeros < count && lengths[s + 1 + zeros] == 0) ++zeros;
        putBits(w, std::uint32_t(zeros), 4);
        s += zeros;
    }
}

// Both small codes from the steps: lengths and run lengths in the first,
// run counts in the second.
void countLengthSteps(const std::vector<LengthStep>& steps, std::uint8_t* aux) {
    std::uint64_t countA[EMD_SMALL_SYMBOLS] = {}, countB[EMD_SMALL_SYMBOLS] = {};
    for (const LengthStep& s : steps) {
        if (s.run == 1) {
            ++countA[s.length];
        } else {
            ++countA[32 + s.length];
            ++countB[runCodeOf(s.run).symbol];
        }
    }
    buildCodeLengths(countA, EMD_SMALL_SYMBOLS, EMD_SMALL_CODE_BITS, aux);
    buildCodeLengths(countB, EMD_SMALL_SYMBOLS, EMD_SMALL_CODE_BITS, aux + EMD_SMALL_SYMBOLS);
}

// The 1024 block-symbol lengths: the flag, the two small codes' lengths,
// then the lengths as symbols of the first code with runs counted by the
// second. The small codes are tuned by planning the steps three times.
void putBlockCodeLengths(BitWriter& w, const std::uint8_t* lengths) {
    bool any = false;
    for (int s = 0; s < SYMBOLS; ++s) any |= lengths[s] != 0;
    if (!any) {
        putBits(w, 1, 1);
        return;
    }
    putBits(w, 0, 1);
    std::uint32_t costA[EMD_SMALL_SYMBOLS], costB[EMD_SMALL_SYMBOLS];
    for (int s = 0; s < EMD_SMALL_SYMBOLS; ++s) costA[s] = s < 32 ? 5 : 7, costB[s] = 5;
    std::uint8_t            aux[2 * EMD_SMALL_SYMBOLS] = {};
    std::vector<LengthStep> steps;
    for (int round = 0; round < 3; ++round) {
        steps = planLengthSteps(lengths, SYMBOLS, costA, costB);
        countLengthSteps(steps, aux);
        // From the second round on, a symbol the codes lack cannot be
        // planned, so the last plan is writable with the codes before it.
        const std::uint32_t missing = round == 0 ? 12 : UNUSABLE;
        int                 usedA = 0, usedB = 0;
        const std::uint8_t* auxB = aux + EMD_SMALL_SYMBOLS;
        for (int s = 0; s < EMD_SMALL_SYMBOLS; ++s) {
            costA[s] = aux[s] ? aux[s] : missing;
            costB[s] = auxB[s] ? auxB[s] : missing;
            usedA += aux[s] != 0;
            usedB += auxB[s] != 0;
        }
        // A code of a single symbol takes no bits at all.
        for (int s = 0; s < EMD_SMALL_SYMBOLS; ++s) {
            if (usedA == 1 && aux[s]) costA[s] = 0;
            if (usedB == 1 && auxB[s]) costB[s] = 0;
        }
    }
    // The codes written are rebuilt from the last plan itself.
    countLengthSteps(steps, aux);
    putShortLengths(w, aux, 2 * EMD_SMALL_SYMBOLS);
    const HuffmanCode a = canonicalCode(aux, EMD_SMALL_SYMBOLS), b = canonicalCode(aux + EMD_SMALL_SYMBOLS, EMD_SMALL_SYMBOLS);
    for (const LengthStep& s : steps) {
        if (s.run == 1) {
            putSymbol(w, a, s.length);
            continue;
        }
        const RunCode r = runCodeOf(s.run);
        putSymbol(w, a, 32 + s.length);
        putSymbol(w, b, r.symbol);
        putBits(w, r.extra, r.extraBits);
    }
}

// Before any parse, each free byte of a block repeats the byte before it, so
// that runs go on through it; those at the block's start take its first
// fixed byte.
void fillWithPrevious(std::uint8_t* p, const std::uint8_t* original, int n) {
    int first = 0;
    while (first < n && original[first] == FREE_BYTE) ++first;
    const std::uint8_t lead = first < n ? original[first] : 0;
    for (int i = 0; i < n; ++i)
        if (original[i] == FREE_BYTE) p[i] = i == 0 ? lead : p[i - 1];
}

void putBigEndian(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out[at + std::size_t(k)] = std::uint8_t(value >> (8 * (bytes - 1 - k)));
}

}  // namespace

std::vector<std::uint8_t> packTableImage(const std::uint8_t* raw, std::size_t length, PackSummary* summary,
                                         unsigned threads, bool fillFree) {
    threads                  = workerThreads(threads);
    const std::size_t blocks = length == 0 ? 1 : (length + BLOCK - 1) / BLOCK;
    auto blockLength = [&](std::size_t b) { return int(std::min<std::size_t>(BLOCK, length - b * BLOCK)); };

    // 1. Free bytes get their values from the parses: `data` is the file as
    //    it will be written, `raw` keeps which bytes are free.
    fillFree = fillFree && std::find(raw, raw + length, FREE_BYTE) != raw + length;
    std::vector<std::uint8_t> filled;
    if (fillFree) filled.assign(raw, raw + length);
    const std::uint8_t* data = fillFree ? filled.data() : raw;
    if (fillFree)
        for (std::size_t b = 0; b < blocks; ++b) fillWithPrevious(&filled[b * BLOCK], raw + b * BLOCK, blockLength(b));

    // 2. The file's distances, then its code, learnt from the parses of a
    //    sample of blocks: the first under guessed costs, each next under
    //    the counts of the one before (for a small file, a third learning
    //    parse gains about 0.3% for a third more time). The learning parses take free bytes as
    //    wildcards and fill them with what they make there. Then every block
    //    is parsed once more under the very code it will be written in,
    //    holding to the fills a sampled block has; a block outside the sample
    //    gets its fills from this parse, which copies only from fixed bytes
    //    where a fixed byte is written, so it reads back as the bytes it
    //    makes. The code keeps a literal for every byte of the file, or a
    //    block with one the sample lacks could only be stored. A file of one
    //    repeated byte (free bytes aside) needs none of it: that literal
    //    alone, in no bits.
    std::uint16_t distances[DISTANCES];
    std::size_t   firstFixed = 0;
    while (fillFree && firstFixed < length && raw[firstFixed] == FREE_BYTE) ++firstFixed;
    const std::uint8_t constantByte = firstFixed < length ? raw[firstFixed] : 0;
    const bool         constant     = std::all_of(raw, raw + length, [&](std::uint8_t v) {
        return v == constantByte || (fillFree && v == FREE_BYTE);
    });
    if (constant && fillFree) std::fill(filled.begin(), filled.end(), constantByte);
    const std::size_t stride  = std::max<std::size_t>(1, blocks / LEARNING_BLOCKS);
    const int         sampled = stride > 1;
    if (constant)
        for (int d = 0; d < DISTANCES; ++d) distances[d] = std::uint16_t(d + 1);  // never used
    else
        chooseDistances(data, fillFree ? raw : nullptr, length, distances, DISTANCE_SAMPLE[sampled]);
    auto costs = std::make_unique<Costs>();
    initialCosts(data, length, *costs);
    std::vector<std::unique_ptr<ParseScratch>> scratch(threads);
    for (auto& s : scratch) s = std::make_unique<ParseScratch>();
    std::vector<std::vector<ParseStep>> parses(blocks);
    std::vector<std::array<std::uint64_t, SYMBOLS>> threadCounts(threads);
    std::vector<std::uint8_t> parsed(blocks, 0);
    HuffmanCode               code;
    std::uint8_t              lengths[SYMBOLS];
    auto learnt = [&](std::size_t b) { return b % stride == 0; };
    std::vector<std::size_t> sample;
    for (std::size_t b = 0; b < blocks; b += stride) sample.push_back(b);
    std::array<bool, EMD_LITERALS> present{};
    for (std::size_t i = 0; i < length; ++i) present[raw[i]] = true;
    if (fillFree) present[FREE_BYTE] = false;  // a free byte may come out as any literal
    const int rounds = LEARNING_PARSES[sampled];
    for (int round = constant ? rounds : 0; round < rounds; ++round) {
        for (auto& c : threadCounts) c.fill(0);
        forEachItem(sample.size(), threads, [&](std::size_t k, unsigned t) {
            const std::size_t       b     = sample[k];
            std::vector<ParseStep>& steps = parses[b];
            const std::uint8_t*     free  = fillFree ? raw + b * BLOCK : nullptr;
            if (!parseBlock(data + b * BLOCK, free, blockLength(b), distances, *costs, *scratch[t], steps)) return;
            if (free) fillFromParse(&filled[b * BLOCK], free, distances, steps);
            for (const ParseStep& step : steps) ++threadCounts[t][std::size_t(symbolOf(step))];
        });
        std::uint64_t counts[SYMBOLS] = {};
        for (const auto& c : threadCounts)
            for (int s = 0; s < SYMBOLS; ++s) counts[s] += c[std::size_t(s)];
        if (round + 1 < rounds) {
            costsFromCounts(counts, *costs);
        } else {
            // A byte the sample lacks must still have a code, or a block
            // holding it could only be stored.
            for (int v = 0; v < EMD_LITERALS; ++v) counts[v] += present[std::size_t(v)] && counts[v] == 0;
            buildCodeLengths(counts, SYMBOLS, EMD_MAX_CODE_BITS, lengths);
            code = canonicalCode(lengths, SYMBOLS);
            costsFromCode(code, *costs);
        }
    }
    if (!constant)
        forEachItem(blocks, threads, [&](std::size_t b, unsigned t) {
            const bool              wildcards = fillFree && !learnt(b);
            const std::uint8_t*     free      = wildcards ? raw + b * BLOCK : nullptr;
            std::vector<ParseStep>& steps     = parses[b];
            parsed[b] = parseBlock(data + b * BLOCK, free, blockLength(b), distances, *costs, *scratch[t], steps, true);
            if (parsed[b] && wildcards) fillFromParse(&filled[b * BLOCK], free, distances, steps);
        });

    // 3. Blocks whose coding is not shorter are stored; the code is built
    //    from the coded blocks alone, and that may store a few more.
    if (constant)
        for (std::size_t b = 0; b < blocks; ++b) {
            parses[b].assign(std::size_t(blockLength(b)), ParseStep{1, LITERAL, constantByte});
            parsed[b] = 1;
        }
    std::vector<std::uint8_t> stored(blocks, 0);
    for (std::size_t b = 0; b < blocks; ++b) stored[b] = !parsed[b];
    for (int round = 0; round < 4; ++round) {
        std::uint64_t counts[SYMBOLS] = {};
        for (std::size_t b = 0; b < blocks; ++b)
            if (!stored[b])
                for (const ParseStep& step : parses[b]) ++counts[symbolOf(step)];
        buildCodeLengths(counts, SYMBOLS, EMD_MAX_CODE_BITS, lengths);
        code         = canonicalCode(lengths, SYMBOLS);
        bool changed = false;
        for (std::size_t b = 0; b < blocks; ++b) {
            if (stored[b]) continue;
            const std::uint64_t bytes = std::max<std::uint64_t>(1, (parseBits(parses[b], code) + 7) / 8);
            if (bytes >= std::uint64_t(blockLength(b))) stored[b] = 1, changed = true;
        }
        if (!changed) break;
    }

    // 4. The blocks' bytes.
    std::vector<std::vector<std::uint8_t>> body(blocks);
    forEachItem(blocks, threads, [&](std::size_t b, unsigned) {
        if (stored[b]) {
            body[b].assign(data + b * BLOCK, data + b * BLOCK + blockLength(b));
            return;
        }
        BitWriter w;
        for (const ParseStep& step : parses[b]) {
            putSymbol(w, code, symbolOf(step));
            if (step.distanceClass != LITERAL) {
                const LengthCode lc = lengthCodeOf(step.length);
                putBits(w, lc.extra, lc.extraBits);
            }
        }
        padBits(w, 1);
        if (w.bytes.empty()) w.bytes.push_back(0);  // a block of one symbol that takes no bits
        body[b] = std::move(w.bytes);
    });
    bool anyCoded = false;
    for (std::size_t b = 0; b < blocks; ++b) anyCoded |= !stored[b];
    if (!anyCoded) std::fill(lengths, lengths + SYMBOLS, std::uint8_t(0));

    // 5. The header: fixed head, per-block records, the packed block
    //    lengths and distances, the code lengths, the checksum.
    std::vector<std::uint8_t> image(EMD_HEAD_BYTES + EMD_BLOCK_RECORD_BYTES * blocks, 0);
    std::memcpy(image.data(), EMD_SIGNATURE, EMD_SIGNATURE_BYTES);
    image[EMD_AT_BLOCK_EXPONENT] = std::uint8_t(EMD_BLOCK_EXPONENT);
    image[EMD_AT_DISTANCE_COUNT] = std::uint8_t(DISTANCES);
    putBigEndian(image, EMD_AT_BLOCK_COUNT, std::uint32_t(blocks), 4);
    putBigEndian(image, EMD_AT_FORMAT_TAG, EMD_FORMAT_TAG, 4);
    BitWriter packed;
    for (std::size_t b = 0; b < blocks; ++b) putBits(packed, std::uint32_t(body[b].size() & (BLOCK - 1)), EMD_FIELD_BITS);
    putBits(packed, std::uint32_t(blockLength(blocks - 1) & (BLOCK - 1)), EMD_FIELD_BITS);
    for (int d = 0; d < DISTANCES; ++d) putBits(packed, distances[d], EMD_FIELD_BITS);
    padBits(packed, 2);
    image.insert(image.end(), packed.bytes.begin(), packed.bytes.end());
    BitWriter codeBits;
    putBlockCodeLengths(codeBits, lengths);
    padBits(codeBits, 2);
    image.insert(image.end(), codeBits.bytes.begin(), codeBits.bytes.end());
    const std::size_t header = image.size() + EMD_CHECKSUM_BYTES;
    image.resize(header);
    putBigEndian(image, EMD_AT_HEADER_LENGTH, std::uint32_t(header), 4);
    std::size_t offset = header;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t record = EMD_HEAD_BYTES + EMD_BLOCK_RECORD_BYTES * b;
        putBigEndian(image, record, std::uint32_t(offset), 4);
        putBigEndian(image, record + 4, std::uint32_t(body[b].size()), 4);
        offset += body[b].size();
    }
    const std::size_t checksumAt = header - EMD_CHECKSUM_BYTES;
    putBigEndian(image, checksumAt, emdChecksum(image.data(), checksumAt), EMD_CHECKSUM_BYTES);
    image.reserve(offset);
    std::uint32_t storedCount = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        image.insert(image.end(), body[b].begin(), body[b].end());
        storedCount += stored[b];
    }
    if (summary) {
        summary->rawBytes     = length;
        summary->packedBytes  = image.size();
        summary->headerBytes  = header;
        summary->blocks       = std::uint32_t(blocks);
        summary->storedBlocks = storedCount;
        std::copy(distances, distances + DISTANCES, summary->distances);
    }
    return image;
}
