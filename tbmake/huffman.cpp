// tbmake/huffman.cpp: package-merge for code lengths within a limit, and
// canonical codes.
#include "tbmake/huffman.h"
#include <algorithm>

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
