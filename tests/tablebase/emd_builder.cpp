// Compressed table files built field by field: the writer half of the tests'
// model of the format. It shares nothing with the engine's reader but the
// signature text, so a file it writes that the reader takes is agreement.
#include "tests/tablebase/emd_builder.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include "tablebase/emdformat.h"

namespace {

constexpr int BLOCK_SYMBOLS = 1024, HALF_AUX = 64;  // the auxiliary alphabet is two halves of 64

std::uint32_t blockCount(const EmdFile& f) {
    return std::uint32_t(f.layout.empty() ? f.blocks.size() : f.layout.size());
}

const EmdBlock& blockOf(const EmdFile& f, std::uint32_t i) { return f.blocks[f.layout.empty() ? i : f.layout[i]]; }

std::uint32_t expectedLength(const EmdFile& f, std::uint32_t i) {
    const std::uint32_t last = f.lastLength == 0 ? 8192 : f.lastLength;
    return i + 1 < blockCount(f) ? 8192 : last;
}

// A code ready for writing: lengths, canonical values, and whether it is the
// one-symbol code that takes no bits.
struct Code {
    std::vector<int>           lengths;
    std::vector<std::uint32_t> values;
    bool                       silent = false;
};

Code makeCode(const std::vector<int>& lengths) {
    Code c;
    c.lengths     = lengths;
    c.values      = canonicalCodes(lengths);
    const auto used = std::count_if(lengths.begin(), lengths.end(), [](int l) { return l > 0; });
    c.silent      = used == 1;
    return c;
}

// A symbol without a code throws, unless `lenient`: then nothing is
// written, which is how a file that uses a missing auxiliary code is made.
void putSymbol(BitWriter& w, const Code& code, int symbol, bool lenient = false) {
    if (symbol < 0 || std::size_t(symbol) >= code.lengths.size() || code.lengths[std::size_t(symbol)] == 0) {
        if (lenient) return;
        throw std::logic_error("symbol without a code: " + std::to_string(symbol));
    }
    if (code.silent) return;
    putBits(w, code.values[std::size_t(symbol)], code.lengths[std::size_t(symbol)]);
}

std::vector<LengthItem> deriveItems(const std::vector<int>& lengths, bool useRuns) {
    std::vector<LengthItem> items;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t r = 1;
        while (i + r < lengths.size() && lengths[i + r] == lengths[i]) ++r;
        if (useRuns && r >= 2) {
            items.push_back(lengthRun(lengths[i], std::uint32_t(r)));
            i += r;
        } else {
            items.push_back({lengths[i]});
            ++i;
        }
    }
    return items;
}

std::vector<int> deriveAux(const std::vector<LengthItem>& items) {
    std::vector<bool> a(HALF_AUX, false), b(HALF_AUX, false);
    for (const LengthItem& it : items) {
        a[std::size_t(it.a)] = true;
        if (it.a >= 32) b[std::size_t(it.b)] = true;
    }
    std::vector<int> aux = flatCodeLengths(a);
    const std::vector<int> second = flatCodeLengths(b);
    aux.insert(aux.end(), second.begin(), second.end());
    return aux;
}

// The n <= 128 rule: flag, width, then each length with a zero-run count
// after every 0.
void writeSmallLengths(BitWriter& w, const std::vector<int>& lengths, bool allZero, int width, int zeroRun,
                       int overrun) {
    putBits(w, allZero ? 1 : 0, 1);
    if (allZero) return;
    if (width == 0) {
        const int most = *std::max_element(lengths.begin(), lengths.end());
        while ((1 << width) <= most) ++width;
        width = std::max(width, 1);
    }
    putBits(w, std::uint32_t(width), 5);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        putBits(w, std::uint32_t(lengths[i]), width);
        if (lengths[i] != 0) continue;
        std::size_t z = 0;
        while (int(z) < zeroRun && i + 1 + z < lengths.size() && lengths[i + 1 + z] == 0) ++z;
        if (i + 1 + z == lengths.size()) z += std::size_t(overrun);
        putBits(w, std::uint32_t(z), 4);
        i += z;
    }
}

// The 1024 block code lengths as bits; `lengths` are the block code's.
void writeBlockLengths(BitWriter& w, const EmdCodeLengths& lengthsPlan, const std::vector<int>& lengths) {
    const bool none = std::all_of(lengths.begin(), lengths.end(), [](int l) { return l == 0; });
    if (lengthsPlan.allZero || (none && lengthsPlan.items.empty() && lengthsPlan.aux.empty())) {
        putBits(w, 1, 1);
        return;
    }
    putBits(w, 0, 1);
    const std::vector<LengthItem> items = lengthsPlan.items.empty() ? deriveItems(lengths, lengthsPlan.useRuns) : lengthsPlan.items;
    const std::vector<int>        aux   = lengthsPlan.aux.empty() ? deriveAux(items) : lengthsPlan.aux;
    writeSmallLengths(w, aux, lengthsPlan.auxAllZero, lengthsPlan.auxWidth, lengthsPlan.auxZeroRun, lengthsPlan.auxOverrun);
    const Code a = makeCode(std::vector<int>(aux.begin(), aux.begin() + HALF_AUX));
    const Code b = makeCode(std::vector<int>(aux.begin() + HALF_AUX, aux.end()));
    for (const LengthItem& it : items) {
        putSymbol(w, a, it.a, true);
        if (it.a < 32) continue;
        putSymbol(w, b, it.b, true);
        if (it.b >= 32) putBits(w, it.extra, it.b - 32);
    }
}

// The compressed bytes of one block.
std::vector<std::uint8_t> encodeBlock(const EmdBlock& block, const Code& code) {
    if (block.kind != EmdBlock::CODED) return block.bytes;
    BitWriter w;
    for (const EmdSymbol& s : block.symbols) {
        putSymbol(w, code, s.symbol);
        putBits(w, s.extra, s.extraBits);
    }
    padBits(w, 8);
    w.bytes.insert(w.bytes.end(), block.padBytes, 0);
    if (w.bytes.empty()) w.bytes.push_back(0);  // a length of 0 would read as 8192
    return w.bytes;
}

}  // namespace

void putBits(BitWriter& w, std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (w.bitCount % 8 == 0) w.bytes.push_back(0);
        if ((value >> i) & 1u) w.bytes.back() = std::uint8_t(w.bytes.back() | (0x80u >> (w.bitCount % 8)));
        ++w.bitCount;
    }
}

void padBits(BitWriter& w, int unitBits) {
    while (w.bitCount % std::uint64_t(unitBits) != 0) putBits(w, 0, 1);
}

std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    std::vector<int> order;
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] > 0) order.push_back(int(s));
    // (length, symbol): plain sort with the full key. stable_sort would do,
    // but its scratch buffer comes from the nothrow operator new, which the
    // test binary's counting allocator does not pair with its delete.
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        return lengths[std::size_t(x)] != lengths[std::size_t(y)] ? lengths[std::size_t(x)] < lengths[std::size_t(y)] : x < y;
    });
    std::vector<std::uint32_t> values(lengths.size(), 0);
    std::uint64_t code = 0;
    int           previous = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int l = lengths[std::size_t(order[k])];
        if (k == 0) code = 0;
        else code = (code + 1) << (l - previous);
        previous                           = l;
        values[std::size_t(order[k])] = std::uint32_t(code);
    }
    return values;
}

std::vector<int> flatCodeLengths(const std::vector<bool>& used) {
    std::vector<int> lengths(used.size(), 0);
    const auto k = std::size_t(std::count(used.begin(), used.end(), true));
    if (k == 0) return lengths;
    int m = 0;
    while ((std::size_t(1) << m) < k) ++m;
    std::size_t shorter = k == 1 ? 1 : (std::size_t(1) << m) - k;  // symbols of length m - 1
    for (std::size_t s = 0; s < used.size(); ++s) {
        if (!used[s]) continue;
        if (k == 1) lengths[s] = 1;
        else lengths[s] = shorter > 0 ? m - 1 : m;
        if (shorter > 0) --shorter;
    }
    return lengths;
}

EmdSymbol emdLiteral(std::uint8_t byte) { return {byte, 0, 0}; }

EmdSymbol emdCopyClass(int distanceClass, int lengthClass, std::uint32_t extra) {
    return {std::uint16_t(256 + 32 * distanceClass + lengthClass), extra, lengthClass >= 15 ? lengthClass - 14 : 0};
}

EmdSymbol emdCopy(int distanceClass, std::uint32_t length) {
    if (length >= 1 && length <= 15) return emdCopyClass(distanceClass, int(length) - 1, 0);
    for (int e = 1; e <= 17; ++e) {
        const std::uint32_t low = (1u << e) + 14, high = (2u << e) + 13;
        if (length >= low && length <= high) return emdCopyClass(distanceClass, e + 14, length - low);
    }
    throw std::logic_error("copy length out of range: " + std::to_string(length));
}

std::uint32_t emdCopyLength(const EmdSymbol& s) {
    const int c = (s.symbol - 256) % 32;
    return c < 15 ? std::uint32_t(c + 1) : (1u << (c - 14)) + s.extra + 14;
}

LengthItem lengthRun(int length, std::uint32_t count) {
    const std::uint32_t r = count - 2;
    if (r <= 31) return {32 + length, int(r), 0};
    int k = 0;
    while ((2u << k) <= r - 31) ++k;
    return {32 + length, 32 + k, r - 31 - (1u << k)};
}

std::vector<int> emdBlockCodeLengths(const EmdFile& file) {
    if (!file.lengths.empty()) return file.lengths;
    std::vector<bool> used(BLOCK_SYMBOLS, false);
    for (const EmdBlock& b : file.blocks)
        if (b.kind == EmdBlock::CODED)
            for (const EmdSymbol& s : b.symbols) used[s.symbol] = true;
    return flatCodeLengths(used);
}

std::uint32_t emdChecksumBitwise(const std::uint8_t* bytes, std::size_t length) {
    // Each bit that shifts out as 0 folds the polynomial in: the opposite of
    // the usual CRC-32 step, with no inversion on either end.
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value ^= bytes[i];
        for (int k = 0; k < 8; ++k) value = (value & 1u) ? value >> 1 : (value >> 1) ^ 0xEDB88320u;
    }
    return value;
}

void putBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + std::size_t(i)] = std::uint8_t(value >> (8 * (width - 1 - i)));
}

void resealEmd(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 68) return;
    const std::uint32_t h = std::uint32_t(bytes[64]) << 24 | std::uint32_t(bytes[65]) << 16 |
                            std::uint32_t(bytes[66]) << 8 | std::uint32_t(bytes[67]);
    if (h < 84 || h > bytes.size()) return;
    putBigEndian(bytes, h - 4, emdChecksumBitwise(bytes.data(), h - 4), 4);
}

EmdImage buildEmdFile(const EmdFile& file) {
    const std::uint32_t n    = blockCount(file);
    const Code          code = makeCode(emdBlockCodeLengths(file));
    std::vector<std::vector<std::uint8_t>> encoded(file.blocks.size());
    for (std::size_t i = 0; i < file.blocks.size(); ++i) encoded[i] = encodeBlock(file.blocks[i], code);
    auto compressed = [&](std::uint32_t i) -> const std::vector<std::uint8_t>& {
        return encoded[file.layout.empty() ? i : file.layout[i]];
    };

    EmdImage image;
    std::vector<std::uint8_t>& out = image.bytes;
    out.assign(80 + std::size_t(8) * n, 0);
    std::memcpy(out.data(), EMD_SIGNATURE, 64);
    putBigEndian(out, 68, file.unexamined, 2);
    out[70] = file.exponent;
    out[71] = file.classes;
    putBigEndian(out, 72, n, 4);
    putBigEndian(out, 76, file.tag, 4);

    BitWriter packed;
    for (std::uint32_t i = 0; i < n; ++i) {
        const EmdBlock& b = blockOf(file, i);
        putBits(packed, std::uint32_t(b.headerLength >= 0 ? b.headerLength : std::int32_t(compressed(i).size())) & 8191, 13);
    }
    putBits(packed, file.lastLength & 8191, 13);
    for (std::uint32_t d : file.distances) putBits(packed, d & 8191, 13);
    padBits(packed, 16);
    out.insert(out.end(), packed.bytes.begin(), packed.bytes.end());
    image.codeLengthsAt = std::uint32_t(out.size());

    BitWriter lengths;
    writeBlockLengths(lengths, file.codeLengths, code.lengths);
    padBits(lengths, 16);
    out.insert(out.end(), lengths.bytes.begin(), lengths.bytes.end());
    image.headerLength = std::uint32_t(out.size() + 4);
    putBigEndian(out, 64, image.headerLength, 4);

    std::uint64_t at = image.headerLength;
    for (std::uint32_t i = 0; i < n; ++i) {
        putBigEndian(out, 80 + std::size_t(8) * i, std::uint32_t(at), 4);
        putBigEndian(out, 84 + std::size_t(8) * i, std::uint32_t(compressed(i).size()), 4);
        image.blockAt.push_back(at);
        at += compressed(i).size();
    }
    out.resize(out.size() + 4);
    resealEmd(out);
    for (std::uint32_t i = 0; i < n; ++i) out.insert(out.end(), compressed(i).begin(), compressed(i).end());
    return image;
}

bool emdBlockContent(const EmdFile& file, std::uint32_t block, std::vector<std::uint8_t>& content) {
    content.clear();
    if (block >= blockCount(file)) return false;
    const std::uint32_t expected = expectedLength(file, block);
    const EmdBlock&     b        = blockOf(file, block);
    const std::vector<int> lengths = emdBlockCodeLengths(file);
    const std::vector<std::uint8_t> bytes = encodeBlock(b, makeCode(lengths));
    if (b.headerLength >= 0 && std::uint32_t(b.headerLength) != bytes.size()) return false;  // not modelled
    if (bytes.size() == expected) {  // stored, whatever it was meant to be
        content = bytes;
        return true;
    }
    if (b.kind != EmdBlock::CODED || bytes.size() > 8192) return false;
    for (const EmdSymbol& s : b.symbols) {
        if (content.size() == expected) break;  // the rest is never read
        if (s.symbol < 256) {
            content.push_back(std::uint8_t(s.symbol));
            continue;
        }
        const std::uint32_t d = file.distances[(s.symbol - 256) / 32] & 8191, length = emdCopyLength(s);
        if (d == 0 || d > content.size() || content.size() + length > expected) return false;
        for (std::uint32_t k = 0; k < length; ++k) content.push_back(content[content.size() - d]);
    }
    return content.size() == expected;
}

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

EmdFile sampleEmdFile() {
    // knk, white to move: 26282 positions, so three full blocks and 1706 bytes.
    EmdFile f;
    f.lastLength = 26282 - 3 * 8192;
    EmdBlock stored;
    stored.kind = EmdBlock::STORED;
    for (std::uint32_t i = 0; i < 8192; ++i) stored.bytes.push_back(std::uint8_t(i * 7 ^ (i >> 5)));
    f.blocks.push_back(stored);

    // Literals, then copies from several classes, an overlapping run among them.
    EmdBlock mixed;
    for (int i = 0; i < 40; ++i) mixed.symbols.push_back(emdLiteral(std::uint8_t(i * 37 + 3)));
    const std::uint32_t copies[][2] = {{0, 100}, {2, 20}, {8, 300}, {1, 2}, {5, 15}, {3, 17}, {4, 1000}, {9, 5000}};
    std::uint32_t produced = 40;
    for (const auto& c : copies) {
        mixed.symbols.push_back(emdCopy(int(c[0]), c[1]));
        mixed.symbols.push_back(emdLiteral(std::uint8_t(c[1])));
        produced += c[1] + 1;
    }
    mixed.symbols.push_back(emdCopy(10, 8192 - produced));
    f.blocks.push_back(mixed);

    // A short pattern repeated by one long copy.
    EmdBlock repeated;
    for (int i = 0; i < 9; ++i) repeated.symbols.push_back(emdLiteral(std::uint8_t(200 - i)));
    repeated.symbols.push_back(emdCopy(18, 8192 - 9));
    f.blocks.push_back(repeated);

    EmdBlock last;
    for (int i = 0; i < 12; ++i) last.symbols.push_back(emdLiteral(std::uint8_t(i == 5 ? 0 : 256 - i)));
    last.symbols.push_back(emdCopy(21, f.lastLength - 12));
    f.blocks.push_back(last);
    return f;
}

// Lengths of a chain code: 32 symbols with lengths 1, 2, ..., 30, 31, 31,
// literals and copies (with and without extra bits) mixed along the chain.
std::vector<int> chainCodeLengths() {
    std::vector<int> lengths = std::vector<int>(1024, 0);
    for (int k = 0; k < 32; ++k) {
        int symbol;
        if (k % 3 == 0) symbol = (0x10 + 7 * k) & 255;
        else if (k % 3 == 1) symbol = 256 + 32 * (k % 8) + k % 15;
        else symbol = 256 + 32 * (k % 4) + 15 + k % 5;
        lengths[std::size_t(symbol)] = k < 30 ? k + 1 : 31;
    }
    return lengths;
}

// A complete code grown by splitting: a leaf of length l becomes two of
// length l + 1, the new one on a random unused symbol. Deep leaves are
// split often, so long codes appear.
std::vector<int> randomCompleteLengths(std::uint32_t seed, int maxLength, int symbols) {
    std::mt19937     rng(seed);
    std::vector<int> lengths = std::vector<int>(1024, 0);
    std::vector<int> used    = {int(rng() % 256), 256 + int(rng() % 768)};
    for (int s : used) lengths[std::size_t(s)] = 1;
    while (int(used.size()) < symbols) {
        std::vector<int> open;
        for (int s : used)
            if (lengths[std::size_t(s)] < maxLength) open.push_back(s);
        if (open.empty()) break;
        int leaf = open[rng() % open.size()];
        if (rng() % 2)
            leaf = *std::max_element(open.begin(), open.end(), [&](int a, int b) { return lengths[std::size_t(a)] < lengths[std::size_t(b)]; });
        int fresh;
        do fresh = int(rng() % 1024);
        while (lengths[std::size_t(fresh)] != 0);
        lengths[std::size_t(leaf)] += 1;
        lengths[std::size_t(fresh)] = lengths[std::size_t(leaf)];
        used.push_back(fresh);
    }
    return lengths;
}

// A block of exactly `expected` bytes in the symbols of a code: every used
// symbol once where it fits (deepest first, twice over, so that copies find
// bytes behind them), then random ones, then the longest copies that fit.
std::vector<EmdSymbol> randomEmdBlock(const std::vector<int>& lengths, const std::uint32_t* distances,
                                   std::uint32_t expected, std::uint32_t seed, int picks) {
    std::vector<int> used;
    for (int s = 0; s < 1024; ++s)
        if (lengths[std::size_t(s)] > 0) used.push_back(s);
    std::sort(used.begin(), used.end(), [&](int a, int b) {
        return lengths[std::size_t(a)] != lengths[std::size_t(b)] ? lengths[std::size_t(a)] > lengths[std::size_t(b)] : a < b;
    });
    std::mt19937           rng(seed);
    std::vector<EmdSymbol> out;
    std::uint32_t          produced = 0;
    auto tryAdd = [&](int s, bool longest) {
        if (produced >= expected) return false;
        if (s < 256) {
            out.push_back(emdLiteral(std::uint8_t(s)));
            ++produced;
            return true;
        }
        const int           d = (s - 256) / 32, c = (s - 256) % 32;
        const std::uint32_t distance = distances[d];
        if (distance == 0 || distance > produced) return false;
        const std::uint32_t low  = c < 15 ? std::uint32_t(c + 1) : (1u << (c - 14)) + 14;
        const std::uint32_t high = std::min(c < 15 ? low : (2u << (c - 14)) + 13, expected - produced);
        if (low > high) return false;
        const std::uint32_t length = longest ? high : low + std::uint32_t(rng() % (high - low + 1));
        out.push_back(emdCopyClass(d, c, length - (c < 15 ? length : low)));
        produced += length;
        return true;
    };
    for (int pass = 0; pass < 2; ++pass)
        for (int s : used) tryAdd(s, false);
    for (int i = 0; i < picks; ++i) tryAdd(used[rng() % used.size()], false);
    while (produced < expected) {
        int           best = -1;
        std::uint32_t most = 0;
        for (int s : used) {
            if (s < 256 || distances[(s - 256) / 32] > produced || distances[(s - 256) / 32] == 0) continue;
            const int           c   = (s - 256) % 32;
            const std::uint32_t low = c < 15 ? std::uint32_t(c + 1) : (1u << (c - 14)) + 14;
            const std::uint32_t top = std::min(c < 15 ? low : (2u << (c - 14)) + 13, expected - produced);
            if (low <= top && top > most) most = top, best = s;
        }
        if (best < 0) best = *std::find_if(used.begin(), used.end(), [](int s) { return s < 256; });
        tryAdd(best, true);
    }
    return out;
}

