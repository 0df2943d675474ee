// tbmake/pack.cpp: the .emd compressor. One Huffman code and 24 copy
// distances serve a whole file; each 8 KB block is parsed on its own into
// literals and copies by a shortest-path search over the code's bit costs,
// repeated as the code learns from the parse. Files are kept only after the
// engine's reader has given every block back unchanged.
#include "tbmake/pack.h"
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>
#include "tablebase/catalogue.h"
#include "tablebase/emdformat.h"
#include "tablebase/tbfiles.h"
#include "tbmake/parallel.h"
#include "tbmake/tablefiles.h"

namespace {

constexpr int          BLOCK        = int(EMD_BLOCK_BYTES);
constexpr int          DISTANCES    = EMD_DISTANCES;
constexpr int          SYMBOLS      = EMD_SYMBOLS;
constexpr int          MAX_DISTANCE = BLOCK - 1;  // 13-bit field, and a copy stays in its block
constexpr std::uint8_t LITERAL      = 255;        // distance class of a literal in a parse step

// Bit costs in sixteenths of a bit; UNUSABLE marks a symbol the code lacks.
constexpr std::uint32_t COST_ONE_BIT = 16;
constexpr std::uint32_t UNUSABLE     = 1u << 28;

// A match at least this long is taken at once instead of weighing every
// shorter length: in long runs the search would otherwise grow quadratic,
// and a run's middle is no place to end a copy anyway.
constexpr int TAKE_AT_ONCE = 128;

constexpr const char* SIDE_ENDING[2] = {".nbw", ".nbb"};

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

// ---------------------------------------------------------------------------
// Huffman codes.

// Canonical code of a set of lengths: `single` when exactly one symbol is
// used, which the reader decodes without taking a bit.
struct HuffmanCode {
    std::vector<std::uint8_t>  length;
    std::vector<std::uint32_t> code;
    bool                       single = false;
};

HuffmanCode canonicalCode(const std::uint8_t* lengths, int count) {
    HuffmanCode h;
    h.length.assign(lengths, lengths + count);
    h.code.assign(std::size_t(count), 0);
    std::uint32_t lengthCount[33] = {}, next[33] = {};
    int           used            = 0;
    for (int s = 0; s < count; ++s)
        if (lengths[s]) ++lengthCount[lengths[s]], ++used;
    h.single = used == 1;
    // Shorter codes are numerically smaller; within a length, by symbol.
    std::uint32_t code = 0;
    for (int l = 1; l <= 32; ++l) {
        code    = (code + lengthCount[l - 1]) << 1;
        next[l] = code;
    }
    for (int s = 0; s < count; ++s)
        if (lengths[s]) h.code[std::size_t(s)] = next[lengths[s]]++;
    return h;
}

void putSymbol(BitWriter& w, const HuffmanCode& h, int symbol) {
    if (!h.single) putBits(w, h.code[std::size_t(symbol)], h.length[std::size_t(symbol)]);
}

// ---------------------------------------------------------------------------
// Length encoding of copies: c = length - 1 below 16, else e = c - 14 extra
// bits over 2^e + 14.

struct LengthCode {
    int           c;
    int           extraBits;
    std::uint32_t extra;
};

LengthCode lengthCodeOf(std::uint32_t length) {
    if (length <= 15) return {int(length) - 1, 0, 0};
    int e = 0;
    while ((std::uint32_t(2) << e) <= length - 14) ++e;
    return {e + 14, e, length - 14 - (std::uint32_t(1) << e)};
}

int copySymbol(int distanceClass, int c) { return EMD_LITERALS + EMD_LENGTH_CODES * distanceClass + c; }

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

// ---------------------------------------------------------------------------
// Copy distances: the file's own repetitions. A distance is worth the bytes
// its copies could cover: positions whose byte equals the byte that far back
// in the same block, counted on a sample of blocks where three such
// positions follow each other (single equal bytes are everywhere in a table
// of draws, and a copy pays for its symbol only over a few bytes). The 400
// best candidates are then picked from greedily, each for the bytes the ones
// before it do not cover yet, counting runs of at least MIN_RUN. Measured on
// eight of the 4-man files: single-byte counting with 96 candidates and runs
// of 3 gave 2-3% larger files.
constexpr int MIN_RUN = 4;

void chooseDistances(const std::uint8_t* raw, std::size_t length, std::uint16_t* distances) {
    const std::size_t blocks = (length + BLOCK - 1) / BLOCK;
    constexpr std::size_t SAMPLE_BLOCKS = 24;
    std::vector<std::size_t> sample;
    for (std::size_t k = 0; k < std::min(blocks, SAMPLE_BLOCKS); ++k) sample.push_back(k * blocks / std::min(blocks, SAMPLE_BLOCKS));
    std::vector<std::uint32_t> hits(std::size_t(MAX_DISTANCE) + 1, 0);
    for (std::size_t b : sample) {
        const std::uint8_t* p = raw + b * BLOCK;
        const int           n = int(std::min<std::size_t>(BLOCK, length - b * BLOCK));
        for (int d = 1; d < n; ++d) {
            std::uint32_t h = 0;
            for (int i = d; i + 2 < n; ++i) h += (p[i] == p[i - d]) & (p[i + 1] == p[i + 1 - d]) & (p[i + 2] == p[i + 2 - d]);
            hits[std::size_t(d)] += h;
        }
    }
    // The best candidates by their own counts, then greedy cover over bitmaps.
    constexpr int CANDIDATES = 400;
    std::vector<int> order;
    for (int d = 1; d <= MAX_DISTANCE; ++d) order.push_back(d);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return hits[std::size_t(a)] != hits[std::size_t(b)] ? hits[std::size_t(a)] > hits[std::size_t(b)] : a < b;
    });
    order.resize(std::min<std::size_t>(order.size(), CANDIDATES));
    const std::size_t words = sample.size() * BLOCK / 64;
    std::vector<std::uint64_t> predicted(order.size() * words, 0), covered(words, 0);
    for (std::size_t c = 0; c < order.size(); ++c) {
        const int d = order[c];
        for (std::size_t k = 0; k < sample.size(); ++k) {
            const std::uint8_t* p = raw + sample[k] * BLOCK;
            const int           n = int(std::min<std::size_t>(BLOCK, length - sample[k] * BLOCK));
            std::uint64_t*      bits = &predicted[c * words + k * (BLOCK / 64)];
            for (int i = d; i < n;) {
                int end = i;
                while (end < n && p[end] == p[end - d]) ++end;
                if (end - i >= MIN_RUN)
                    for (int at = i; at < end; ++at) bits[at >> 6] |= std::uint64_t(1) << (at & 63);
                i = end > i ? end : i + 1;
            }
        }
    }
    std::vector<bool> chosen(order.size(), false);
    int               picked = 0;
    for (; picked < DISTANCES && picked < int(order.size()); ++picked) {
        std::size_t   best = 0;
        std::int64_t  bestGain = -1;
        for (std::size_t c = 0; c < order.size(); ++c) {
            if (chosen[c]) continue;
            std::int64_t gain = 0;
            for (std::size_t w = 0; w < words; ++w) gain += __builtin_popcountll(predicted[c * words + w] & ~covered[w]);
            if (gain > bestGain) bestGain = gain, best = c;
        }
        chosen[best]         = true;
        distances[picked]    = std::uint16_t(order[best]);
        for (std::size_t w = 0; w < words; ++w) covered[w] |= predicted[best * words + w];
    }
    // Tiny files have fewer candidates: fill with the smallest unused.
    for (int d = 1; picked < DISTANCES; ++d)
        if (std::find(distances, distances + picked, d) == distances + picked) distances[picked++] = std::uint16_t(d);
}

// ---------------------------------------------------------------------------
// Parsing one block: the cheapest sequence of literals and copies under the
// current bit costs, as a shortest path over the positions of the block.

struct Costs {
    std::uint32_t symbol[SYMBOLS];  // sixteenths of a bit, UNUSABLE when absent
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

constexpr Arrival arrival(std::uint32_t price, int distanceClass, int length) {
    return Arrival(price) << 32 | Arrival(distanceClass) << 16 | Arrival(length);
}

struct ParseScratch {
    std::vector<std::uint16_t> match;  // [position * 24 + class]: bytes a copy could take there
    std::vector<Arrival>       best;
    ParseScratch() : match(std::size_t(BLOCK) * DISTANCES), best(std::size_t(BLOCK) + 1) {}
};

// False when the costs leave no way through the block (a byte the code
// cannot write and no copy to cover it). Costs of UNUSABLE and more keep
// their sums at UNUSABLE or above, so an unusable step never looks usable.
bool parseBlock(const std::uint8_t* p, int n, const std::uint16_t* distances, const Costs& costs, ParseScratch& s,
                std::vector<ParseStep>& steps) {
    std::uint16_t* match = s.match.data();
    for (int d = 0; d < DISTANCES; ++d) {
        const int     back = distances[d];
        std::uint16_t run  = 0;
        for (int i = n - 1; i >= back; --i) {
            run                       = p[i] == p[i - back] ? std::uint16_t(run + 1) : 0;
            match[i * DISTANCES + d] = run;
        }
        for (int i = std::min(back, n) - 1; i >= 0; --i) match[i * DISTANCES + d] = 0;
    }
    Arrival* best = s.best.data();
    best[0]       = 0;
    for (int i = 1; i <= n; ++i) best[i] = arrival(UNUSABLE * 2, 0, 0);
    for (int i = 0; i < n; ++i) {
        const std::uint32_t base = std::uint32_t(best[i] >> 32);
        if (base >= UNUSABLE) continue;
        best[i + 1] = std::min(best[i + 1], arrival(base + costs.symbol[p[i]], LITERAL, 1));
        const std::uint16_t* m       = match + i * DISTANCES;
        int                  longest = 0;
        for (int d = 0; d < DISTANCES; ++d) longest = std::max(longest, int(m[d]));
        if (longest >= TAKE_AT_ONCE) {
            // The cheapest class among those reaching furthest, then on from its end.
            const LengthCode lc    = lengthCodeOf(std::uint32_t(longest));
            Arrival          taken = arrival(UNUSABLE * 2, 0, 0);
            for (int d = 0; d < DISTANCES; ++d)
                if (m[d] == longest)
                    taken = std::min(taken, arrival(base + costs.symbol[copySymbol(d, lc.c)] +
                                                        std::uint32_t(lc.extraBits) * COST_ONE_BIT, d, longest));
            if ((taken >> 32) < UNUSABLE) {
                best[i + longest] = std::min(best[i + longest], taken);
                i += longest - 1;
                continue;
            }
        }
        for (int d = 0; d < DISTANCES; ++d) {
            const int length = m[d];
            if (length == 0) continue;
            const std::uint32_t* symbol = costs.symbol + copySymbol(d, 0);
            const int            direct = std::min(length, 15);
            Arrival*             to     = best + i;
            for (int l = 1; l <= direct; ++l) to[l] = std::min(to[l], arrival(base + symbol[l - 1], d, l));
            // Longer copies cost the same across a length class: try its end.
            for (int e = 1; (1 << e) + 14 <= length; ++e) {
                const int end = std::min((2 << e) + 13, length);
                to[end]       = std::min(to[end], arrival(base + symbol[14 + e] + std::uint32_t(e) * COST_ONE_BIT, d, end));
            }
        }
    }
    if ((best[n] >> 32) >= UNUSABLE) return false;
    steps.clear();
    for (int j = n; j > 0;) {
        const int length = int(best[j] & 0xFFFF);
        steps.push_back({std::uint16_t(length), std::uint8_t(best[j] >> 16), p[j - length]});
        j -= length;
    }
    std::reverse(steps.begin(), steps.end());
    return true;
}

int symbolOf(const ParseStep& step) {
    return step.distanceClass == LITERAL ? step.literal : copySymbol(step.distanceClass, lengthCodeOf(step.length).c);
}

// Bits of a parse under a code, extra bits included.
std::uint64_t parseBits(const std::vector<ParseStep>& steps, const HuffmanCode& h) {
    std::uint64_t bits = 0;
    for (const ParseStep& step : steps) {
        const int symbol = symbolOf(step);
        if (!h.single) bits += h.length[std::size_t(symbol)];
        if (step.distanceClass != LITERAL) bits += std::uint64_t(lengthCodeOf(step.length).extraBits);
    }
    return bits;
}

// Costs from symbol counts: the information content of each symbol, at
// least one bit (a Huffman code spends no less); a symbol the parse did not
// use stays within reach at a little more than the rarest one.
void costsFromCounts(const std::uint64_t* counts, Costs& costs) {
    std::uint64_t total = 0;
    for (int s = 0; s < SYMBOLS; ++s) total += counts[s];
    const double all = double(total ? total : 1);
    for (int s = 0; s < SYMBOLS; ++s) {
        const double bits = counts[s] ? std::log2(all / double(counts[s])) : std::log2(all) + 2.0;
        costs.symbol[s]   = std::max(COST_ONE_BIT, std::uint32_t(bits * COST_ONE_BIT + 0.5));
    }
}

void costsFromCode(const HuffmanCode& h, Costs& costs) {
    for (int s = 0; s < SYMBOLS; ++s)
        costs.symbol[s] = h.length[std::size_t(s)] == 0 ? UNUSABLE : h.single ? 0 : h.length[std::size_t(s)] * COST_ONE_BIT;
}

// A first guess before any parse: literals by the file's byte frequencies,
// copies at about seven bits plus their extra bits.
void initialCosts(const std::uint8_t* raw, std::size_t length, Costs& costs) {
    std::uint64_t counts[EMD_LITERALS] = {};
    for (std::size_t i = 0; i < length; ++i) ++counts[raw[i]];
    for (int s = 0; s < EMD_LITERALS; ++s) {
        const double bits = counts[s] ? std::log2(double(length) / double(counts[s])) + 1.0 : 16.0;
        costs.symbol[s]   = std::max(COST_ONE_BIT, std::uint32_t(bits * COST_ONE_BIT));
    }
    for (int s = EMD_LITERALS; s < SYMBOLS; ++s) costs.symbol[s] = 7 * COST_ONE_BIT;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out[at + std::size_t(k)] = std::uint8_t(value >> (8 * (bytes - 1 - k)));
}

}  // namespace

// ---------------------------------------------------------------------------

bool buildCodeLengths(const std::uint64_t* weights, int count, int limit, std::uint8_t* lengths) {
    std::vector<int> used;
    for (int s = 0; s < count; ++s) {
        lengths[s] = 0;
        if (weights[s]) used.push_back(s);
    }
    const std::size_t n = used.size();
    if (n == 0) return true;
    if (n == 1) {
        lengths[used[0]] = 1;
        return true;
    }
    if (limit < 31 && n > (std::size_t(1) << limit)) return false;
    std::sort(used.begin(), used.end(), [&](int a, int b) { return weights[a] != weights[b] ? weights[a] < weights[b] : a < b; });
    // Package-merge: level 0 holds codes of one bit, the deepest level the
    // leaves alone; each level merges the leaves with pairs of the level
    // below. Taking the first 2n - 2 items of level 0 and, below every
    // package taken, its two parts, a leaf's length is the number of levels
    // in which it was taken.
    struct Item {
        std::uint64_t weight;
        int           leaf;  // -1: a package
    };
    std::vector<std::vector<Item>> level;
    level.resize(std::size_t(limit));
    for (int d = limit - 1; d >= 0; --d) {
        std::vector<Item>& items = level[std::size_t(d)];
        std::vector<Item>  packages;
        if (d + 1 < limit) {
            const std::vector<Item>& below = level[std::size_t(d) + 1];
            for (std::size_t k = 0; k + 1 < below.size(); k += 2) packages.push_back({below[k].weight + below[k + 1].weight, -1});
        }
        std::size_t a = 0, b = 0;
        while (a < n || b < packages.size()) {
            if (b == packages.size() || (a < n && weights[used[a]] <= packages[b].weight))
                items.push_back({weights[used[a]], used[a]}), ++a;
            else
                items.push_back(packages[b++]);
        }
    }
    std::size_t take = 2 * n - 2;
    for (int d = 0; d < limit && take; ++d) {
        const std::vector<Item>& items    = level[std::size_t(d)];
        std::size_t              packages = 0;
        for (std::size_t k = 0; k < take && k < items.size(); ++k) {
            if (items[k].leaf >= 0)
                ++lengths[items[k].leaf];
            else
                ++packages;
        }
        take = 2 * packages;
    }
    return true;
}

std::vector<std::uint8_t> packTableImage(const std::uint8_t* raw, std::size_t length, PackSummary* summary,
                                         unsigned threads) {
    threads                  = workerThreads(threads);
    const std::size_t blocks = length == 0 ? 1 : (length + BLOCK - 1) / BLOCK;
    auto blockLength = [&](std::size_t b) { return int(std::min<std::size_t>(BLOCK, length - b * BLOCK)); };

    // 1. The file's distances, then its code, learnt from the parses before
    //    the last: the first under guessed costs, the next under the counts
    //    of the one before (a third learning parse gains about 0.3% for a
    //    third more time). A file of one repeated byte needs none of it:
    //    that literal alone, in no bits.
    std::uint16_t distances[DISTANCES];
    const bool    constant = std::all_of(raw, raw + length, [&](std::uint8_t v) { return v == raw[0]; });
    if (constant)
        for (int d = 0; d < DISTANCES; ++d) distances[d] = std::uint16_t(d + 1);  // never used
    else
        chooseDistances(raw, length, distances);
    auto costs = std::make_unique<Costs>();
    initialCosts(raw, length, *costs);
    std::vector<std::unique_ptr<ParseScratch>> scratch(threads);
    for (auto& s : scratch) s = std::make_unique<ParseScratch>();
    std::vector<std::vector<ParseStep>> parses(blocks);
    std::vector<std::array<std::uint64_t, SYMBOLS>> threadCounts(threads);
    std::vector<std::uint8_t> parsed(blocks, 0);
    HuffmanCode               code;
    std::uint8_t              lengths[SYMBOLS];
    constexpr int             LEARNING_PARSES = 2;
    for (int round = constant ? LEARNING_PARSES + 1 : 0; round <= LEARNING_PARSES; ++round) {
        for (auto& c : threadCounts) c.fill(0);
        forEachItem(blocks, threads, [&](std::size_t b, unsigned t) {
            std::vector<ParseStep>& steps = parses[b];
            parsed[b] = parseBlock(raw + b * BLOCK, blockLength(b), distances, *costs, *scratch[t], steps);
            if (!parsed[b]) return;
            for (const ParseStep& step : steps) ++threadCounts[t][std::size_t(symbolOf(step))];
        });
        std::uint64_t counts[SYMBOLS] = {};
        for (const auto& c : threadCounts)
            for (int s = 0; s < SYMBOLS; ++s) counts[s] += c[std::size_t(s)];
        if (round + 1 < LEARNING_PARSES) {
            costsFromCounts(counts, *costs);
        } else if (round + 1 == LEARNING_PARSES) {
            // The last parse is made under the very code it will be written in.
            buildCodeLengths(counts, SYMBOLS, EMD_MAX_CODE_BITS, lengths);
            code = canonicalCode(lengths, SYMBOLS);
            costsFromCode(code, *costs);
        }
    }

    // 2. Blocks whose coding is not shorter are stored; the code is built
    //    from the coded blocks alone, and that may store a few more.
    if (constant)
        for (std::size_t b = 0; b < blocks; ++b) {
            parses[b].assign(std::size_t(blockLength(b)), ParseStep{1, LITERAL, raw[0]});
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

    // 3. The blocks' bytes.
    std::vector<std::vector<std::uint8_t>> body(blocks);
    forEachItem(blocks, threads, [&](std::size_t b, unsigned) {
        if (stored[b]) {
            body[b].assign(raw + b * BLOCK, raw + b * BLOCK + blockLength(b));
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

    // 4. The header: fixed head, per-block records, the packed block
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

// ---------------------------------------------------------------------------
// The command.

namespace {

bool writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok      = std::fflush(f) == 0 && ok;
    ok      = fsync(fileno(f)) == 0 && ok;
    return std::fclose(f) == 0 && ok;
}

// Every block of the side registered from `directory` (where the .emd is
// the only file of the record) must come back as the raw bytes.
bool verifyThroughReader(const std::string& directory, int ordinal, int side, const std::vector<std::uint8_t>& raw,
                         std::string& error) {
    std::vector<std::uint8_t> back(raw.size());
    const int read = readThroughEngine(directory, ordinal, side, raw.size(), back.data(), error);
    if (read == ENGINE_NO_FILE || read == ENGINE_REFUSED) error = "the engine's reader refuses the packed file: " + error;
    if (read != ENGINE_READ_WHOLE) return false;
    for (std::size_t start = 0; start < raw.size(); start += BLOCK) {
        const std::size_t length = std::min<std::size_t>(BLOCK, raw.size() - start);
        if (std::memcmp(back.data() + start, raw.data() + start, length) != 0) {
            error = "block " + std::to_string(start / BLOCK) + " does not read back as written";
            return false;
        }
    }
    return true;
}

}  // namespace

bool packTableSide(const std::string& directory, int ordinal, int side, bool removeRaw, std::string& error,
                   PackSummary* summary) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    if ((r.flags & TB_SYMMETRIC) && side == 1) {
        error = std::string(r.name) + " is symmetric: it has no .nbb file";
        return false;
    }
    const std::string name    = std::string(r.name) + SIDE_ENDING[side];
    const std::string rawPath = directory + "/" + name;
    const std::uint64_t       expected = std::uint64_t(r.positionCount[side]) * ((r.flags & TB_TWO_BYTE) ? 2 : 1);
    std::vector<std::uint8_t> raw(expected);
    if (!readWholeFile(rawPath, expected, raw.data(), error)) return false;
    if (raw.empty()) {
        error = rawPath + " holds 0 bytes, not 0";
        return false;
    }
    const std::vector<std::uint8_t> image = packTableImage(raw.data(), raw.size(), summary);
    if (image.size() > 0xFFFFFFFFu) {
        error = "the packed file would pass the 4 GB that its 32-bit block offsets can address";
        return false;
    }

    // The new file waits in a scratch directory of its own, where the reader
    // finds it and no uncompressed file of the same name comes first.
    std::string scratch = directory + "/.tbpack-XXXXXX";
    if (!mkdtemp(&scratch[0])) {
        error = "cannot make a scratch directory in " + directory;
        return false;
    }
    const std::string written = scratch + "/" + name + ".emd", final = rawPath + ".emd";
    bool ok = writeWholeFile(written, image);
    if (!ok) error = "cannot write " + written;
    ok = ok && verifyThroughReader(scratch, ordinal, side, raw, error);
    if (ok && std::rename(written.c_str(), final.c_str()) != 0) {
        error = "cannot rename " + written + " to " + final;
        ok    = false;
    }
    if (!ok) std::remove(written.c_str());
    rmdir(scratch.c_str());
    if (ok && removeRaw && std::remove(rawPath.c_str()) != 0) {
        error = "cannot remove " + rawPath;
        ok    = false;
    }
    return ok;
}

int packTables(const std::string& directory, const std::vector<std::string>& names, bool removeRaw) {
    auto rawExists = [&](int ordinal, int side) {
        struct stat info;
        return stat((directory + "/" + tablebaseCatalogue[ordinal].name + SIDE_ENDING[side]).c_str(), &info) == 0;
    };
    auto sidesOf = [](int ordinal) { return (tablebaseCatalogue[ordinal].flags & TB_SYMMETRIC) ? 1 : 2; };
    std::vector<int> ordinals;
    std::string      unknown;
    if (!names.empty() && !recordsNamed(names, TB_RECORDS - 1, ordinals, unknown)) {
        std::fprintf(stderr, "tbpack: no table is called '%s'\n", unknown.c_str());
        return 2;
    }
    if (names.empty())
        for (int o = 1; o < TB_RECORDS; ++o) {
            bool all = true;
            for (int side = 0; side < sidesOf(o); ++side) all = all && rawExists(o, side);
            if (all) ordinals.push_back(o);
        }
    if (ordinals.empty()) {
        std::fprintf(stderr, "tbpack: no uncompressed tables in %s\n", directory.c_str());
        return 1;
    }
    const auto    start    = std::chrono::steady_clock::now();
    const clock_t cpuStart = std::clock();
    std::uint64_t rawTotal = 0, packedTotal = 0;
    int           files    = 0;
    for (int o : ordinals)
        for (int side = 0; side < sidesOf(o); ++side) {
            const auto  fileStart = std::chrono::steady_clock::now();
            PackSummary summary;
            std::string error;
            if (!packTableSide(directory, o, side, removeRaw, error, &summary)) {
                std::fprintf(stderr, "tbpack: %s%s: %s\n", tablebaseCatalogue[o].name, SIDE_ENDING[side], error.c_str());
                return 1;
            }
            rawTotal += summary.rawBytes;
            packedTotal += summary.packedBytes;
            ++files;
            std::fprintf(stderr, "%s%s.emd: %llu -> %llu bytes (%.2f%%, %u of %u blocks stored), %.2f s\n",
                         tablebaseCatalogue[o].name, SIDE_ENDING[side], static_cast<unsigned long long>(summary.rawBytes),
                         static_cast<unsigned long long>(summary.packedBytes),
                         100.0 * double(summary.packedBytes) / double(summary.rawBytes), summary.storedBlocks,
                         summary.blocks,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count());
        }
    std::printf("packed %d files: %llu -> %llu bytes (%.2f%%) in %.1f s, %.1f s of CPU%s\n", files,
                static_cast<unsigned long long>(rawTotal), static_cast<unsigned long long>(packedTotal),
                100.0 * double(packedTotal) / double(rawTotal),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                double(std::clock() - cpuStart) / CLOCKS_PER_SEC, removeRaw ? ", uncompressed files removed" : "");
    return 0;
}
