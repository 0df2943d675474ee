// tbmake/blockparse.cpp: distance choice and the shortest-path parse of a
// block; the parse is repeated as the code learns from it, so it must be
// fast: one pass over the positions, all copy lengths known beforehand.
#include "tbmake/blockparse.h"
#include <algorithm>
#include <cmath>

namespace {

constexpr int BLOCK        = int(EMD_BLOCK_BYTES);
constexpr int DISTANCES    = EMD_DISTANCES;
constexpr int SYMBOLS      = EMD_SYMBOLS;
constexpr int MAX_DISTANCE = BLOCK - 1;  // 13-bit field, and a copy stays in its block

// A match at least this long is taken at once instead of weighing every
// shorter length: in long runs the search would otherwise grow quadratic,
// and a run's middle is no place to end a copy anyway.
constexpr int TAKE_AT_ONCE = 128;

constexpr Arrival arrival(std::uint32_t price, int distanceClass, int length) {
    return Arrival(price) << 32 | Arrival(distanceClass) << 16 | Arrival(length);
}

}  // namespace

LengthCode lengthCodeOf(std::uint32_t length) {
    if (length <= 15) return {int(length) - 1, 0, 0};
    int e = 0;
    while ((std::uint32_t(2) << e) <= length - 14) ++e;
    return {e + 14, e, length - 14 - (std::uint32_t(1) << e)};
}

int copySymbol(int distanceClass, int c) { return EMD_LITERALS + EMD_LENGTH_CODES * distanceClass + c; }

// Copy distances: the file's own repetitions. A distance is worth the bytes
// its copies could cover: positions whose byte equals the byte that far back
// in the same block, counted on a sample of blocks where three such
// positions follow each other (single equal bytes are everywhere in a table
// of draws, and a copy pays for its symbol only over a few bytes). The 400
// best candidates are then picked from greedily, each for the bytes the ones
// before it do not cover yet, counting runs of at least MIN_RUN. Measured on
// eight of the 4-man files: single-byte counting with 96 candidates and runs
// of 3 gave 2-3% larger files. A free byte lets a run go on but counts for
// nothing itself: any distance covers it. (Wildcards at both ends of a
// copy, judged on the raw bytes, chose worse distances: krkp.nbw came out
// 7% larger.)
constexpr int MIN_RUN = 4;

void chooseDistances(const std::uint8_t* data, const std::uint8_t* original, std::size_t length, std::uint16_t* distances,
                     std::size_t sampleBlocks) {
    const std::size_t blocks = (length + BLOCK - 1) / BLOCK;
    // Bit 0: the byte may match; bit 1: it counts.
    auto matchAt = [&](std::size_t at, int d) -> unsigned {
        if (original && original[at] == FREE_BYTE) return 1;
        return data[at] == data[at - std::size_t(d)] ? 3 : 0;
    };
    std::vector<std::size_t> sample;
    for (std::size_t k = 0; k < std::min(blocks, sampleBlocks); ++k) sample.push_back(k * blocks / std::min(blocks, sampleBlocks));
    std::vector<std::uint32_t> hits(std::size_t(MAX_DISTANCE) + 1, 0);
    for (std::size_t b : sample) {
        const std::uint8_t* p = data + b * BLOCK;
        const std::uint8_t* o = original ? original + b * BLOCK : nullptr;
        const int           n = int(std::min<std::size_t>(BLOCK, length - b * BLOCK));
        for (int d = 1; d < n; ++d) {
            std::uint32_t h = 0;
            if (o)
                for (int i = d; i + 2 < n; ++i) {
                    // Branch-free, so that it vectorises like the plain count.
                    const unsigned m0 = (p[i] == p[i - d]) & (o[i] != FREE_BYTE);
                    const unsigned m1 = (p[i + 1] == p[i + 1 - d]) | (o[i + 1] == FREE_BYTE);
                    const unsigned m2 = (p[i + 2] == p[i + 2 - d]) | (o[i + 2] == FREE_BYTE);
                    h += m0 & m1 & m2;
                }
            else
                for (int i = d; i + 2 < n; ++i)
                    h += (p[i] == p[i - d]) & (p[i + 1] == p[i + 1 - d]) & (p[i + 2] == p[i + 2 - d]);
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
            const std::size_t start = sample[k] * BLOCK;
            const int         n     = int(std::min<std::size_t>(BLOCK, length - start));
            std::uint64_t*    bits  = &predicted[c * words + k * (BLOCK / 64)];
            for (int i = d; i < n;) {
                int end = i, counted = 0;
                for (unsigned m; end < n && (m = matchAt(start + std::size_t(end), d)) != 0; ++end) counted += int(m >> 1);
                if (counted >= MIN_RUN)
                    for (int at = i; at < end; ++at)
                        if (matchAt(start + std::size_t(at), d) >> 1) bits[at >> 6] |= std::uint64_t(1) << (at & 63);
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

bool parseBlock(const std::uint8_t* p, const std::uint8_t* original, int n, const std::uint16_t* distances,
                const Costs& costs, ParseScratch& s, std::vector<ParseStep>& steps, bool fixedSources) {
    std::uint16_t* match = s.match.data();
    std::uint8_t*  same  = s.same.data();
    for (int d = 0; d < DISTANCES; ++d) {
        // Which bytes a copy of this distance may write, then the runs of
        // them backwards; both branch-free, as the bytes follow no pattern.
        const int back = distances[d];
        if (original && fixedSources)
            for (int i = back; i < n; ++i)
                same[i] = (original[i] == FREE_BYTE) | ((p[i] == p[i - back]) & (original[i - back] != FREE_BYTE));
        else if (original)
            for (int i = back; i < n; ++i) same[i] = (p[i] == p[i - back]) | (original[i] == FREE_BYTE);
        else
            for (int i = back; i < n; ++i) same[i] = p[i] == p[i - back];
        int run = 0;
        for (int i = n - 1; i >= back; --i) {
            run                      = (run + 1) & -int(same[i]);
            match[i * DISTANCES + d] = std::uint16_t(run);
        }
        for (int i = std::min(back, n) - 1; i >= 0; --i) match[i * DISTANCES + d] = 0;
    }
    // The literal a free byte gets: the cheapest there is.
    int anyLiteral = 0;
    for (int v = 1; v < EMD_LITERALS; ++v)
        if (costs.symbol[v] < costs.symbol[anyLiteral]) anyLiteral = v;
    // The classes by price for each copy length up to 15, cheapest first
    // and the lower class first at equal price, as the arrivals order them.
    // (Insertion, which is stable and allocates nothing.)
    std::uint8_t byPrice[15][DISTANCES];
    for (int c = 0; c < 15; ++c)
        for (int d = 0; d < DISTANCES; ++d) {
            const std::uint32_t price = costs.symbol[copySymbol(d, c)];
            int                 at    = d;
            for (; at > 0 && costs.symbol[copySymbol(byPrice[c][at - 1], c)] > price; --at) byPrice[c][at] = byPrice[c][at - 1];
            byPrice[c][at] = std::uint8_t(d);
        }
    Arrival* best = s.best.data();
    best[0]       = 0;
    for (int i = 1; i <= n; ++i) best[i] = arrival(UNUSABLE * 2, 0, 0);
    for (int i = 0; i < n; ++i) {
        const std::uint32_t base = std::uint32_t(best[i] >> 32);
        if (base >= UNUSABLE) continue;
        const int literal = original && original[i] == FREE_BYTE ? anyLiteral : p[i];
        best[i + 1]       = std::min(best[i + 1], arrival(base + costs.symbol[literal], LITERAL, 1));
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
        // A copy of each length up to 15 has a symbol of its own: only the
        // cheapest class reaching that far can be best.
        Arrival*  to     = best + i;
        const int direct = std::min(longest, 15);
        for (int l = 1; l <= direct; ++l) {
            const std::uint8_t* order = byPrice[l - 1];
            int                 r     = 0;
            while (m[order[r]] < l) ++r;
            to[l] = std::min(to[l], arrival(base + costs.symbol[copySymbol(order[r], l - 1)], order[r], l));
        }
        if (longest < 16) continue;
        for (int d = 0; d < DISTANCES; ++d) {
            // Longer copies cost the same across a length class: try its end.
            const int            length = m[d];
            const std::uint32_t* symbol = costs.symbol + copySymbol(d, 0);
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
        const auto distanceClass = std::uint8_t(best[j] >> 16);
        const bool free = distanceClass == LITERAL && original && original[j - length] == FREE_BYTE;
        steps.push_back({std::uint16_t(length), distanceClass, free ? std::uint8_t(anyLiteral) : p[j - length]});
        j -= length;
    }
    std::reverse(steps.begin(), steps.end());
    return true;
}

void fillFromParse(std::uint8_t* p, const std::uint8_t* original, const std::uint16_t* distances,
                   const std::vector<ParseStep>& steps) {
    int at = 0;
    for (const ParseStep& step : steps) {
        if (step.distanceClass == LITERAL) {
            if (original[at] == FREE_BYTE) p[at] = step.literal;
            ++at;
            continue;
        }
        const int back = distances[step.distanceClass];
        for (int end = at + step.length; at < end; ++at)
            if (original[at] == FREE_BYTE) p[at] = p[at - back];
    }
}

int symbolOf(const ParseStep& step) {
    return step.distanceClass == LITERAL ? step.literal : copySymbol(step.distanceClass, lengthCodeOf(step.length).c);
}

std::uint64_t parseBits(const std::vector<ParseStep>& steps, const HuffmanCode& h) {
    std::uint64_t bits = 0;
    for (const ParseStep& step : steps) {
        const int symbol = symbolOf(step);
        if (!h.single) bits += h.length[std::size_t(symbol)];
        if (step.distanceClass != LITERAL) bits += std::uint64_t(lengthCodeOf(step.length).extraBits);
    }
    return bits;
}

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

void initialCosts(const std::uint8_t* raw, std::size_t length, Costs& costs) {
    std::uint64_t counts[EMD_LITERALS] = {};
    for (std::size_t i = 0; i < length; ++i) ++counts[raw[i]];
    for (int s = 0; s < EMD_LITERALS; ++s) {
        const double bits = counts[s] ? std::log2(double(length) / double(counts[s])) + 1.0 : 16.0;
        costs.symbol[s]   = std::max(COST_ONE_BIT, std::uint32_t(bits * COST_ONE_BIT));
    }
    for (int s = EMD_LITERALS; s < SYMBOLS; ++s) costs.symbol[s] = 7 * COST_ONE_BIT;
}
