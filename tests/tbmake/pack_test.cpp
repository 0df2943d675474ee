// The .emd compressor: its length-limited codes against exhaustive search
// and plain Huffman, and packed files of every shape read back through the
// engine's own reader; the tbpack command and its scratch-name discipline.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>
#include "tablebase/catalogue.h"
#include "tablebase/tbfiles.h"
#include "tests/tablebase/tablebase_test.h"
#include "tests/test_support.h"
#include "tbmake/huffman.h"
#include "tbmake/pack.h"
#include "tbmake/tablefiles.h"

namespace {

// Kraft sum of a set of lengths, times 2^31 (exactly 2^31 for a complete code).
std::uint64_t kraft(const std::vector<std::uint8_t>& lengths) {
    std::uint64_t sum = 0;
    for (std::uint8_t l : lengths)
        if (l) sum += std::uint64_t(1) << (31 - l);
    return sum;
}

std::uint64_t weightedLength(const std::vector<std::uint64_t>& w, const std::vector<std::uint8_t>& l) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < w.size(); ++i) sum += w[i] * l[i];
    return sum;
}

// Cost of an unrestricted Huffman code: the sum of every merge.
std::uint64_t huffmanCost(const std::vector<std::uint64_t>& w) {
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> heap;
    for (std::uint64_t x : w)
        if (x) heap.push(x);
    std::uint64_t cost = 0;
    while (heap.size() > 1) {
        const std::uint64_t a = heap.top();
        heap.pop();
        const std::uint64_t b = heap.top();
        heap.pop();
        cost += a + b;
        heap.push(a + b);
    }
    return cost;
}

// Least cost over every complete code within the limit, by enumeration.
std::uint64_t bestLimitedCost(const std::vector<std::uint64_t>& w, int limit) {
    std::vector<std::uint8_t> l(w.size(), 1);
    std::uint64_t             best = ~std::uint64_t(0);
    for (;;) {
        if (kraft(l) == (std::uint64_t(1) << 30) * 2) best = std::min(best, weightedLength(w, l));
        std::size_t i = 0;
        while (i < l.size() && l[i] == limit) l[i++] = 1;
        if (i == l.size()) return best;
        ++l[i];
    }
}

std::vector<std::uint8_t> lengthsOf(const std::vector<std::uint64_t>& w, int limit) {
    std::vector<std::uint8_t> l(w.size());
    EXPECT_TRUE(buildCodeLengths(w.data(), int(w.size()), limit, l.data()));
    return l;
}

TEST(TablePacker, LimitedCodesAreCompleteAndOptimal) {
    // Small alphabets under tight limits: the exhaustive optimum.
    std::mt19937 random(5);
    for (int trial = 0; trial < 60; ++trial) {
        const int                  n     = 2 + trial % 6;
        const int                  limit = n <= 4 ? 2 + trial % 2 : 3 + trial % 2;
        std::vector<std::uint64_t> w(std::size_t(n), 0);
        for (auto& x : w) x = 1 + random() % (trial % 3 == 0 ? 1000000 : 20);
        const auto l = lengthsOf(w, limit);
        EXPECT_EQ(kraft(l), std::uint64_t(1) << 31) << "trial " << trial;
        EXPECT_LE(*std::max_element(l.begin(), l.end()), limit);
        EXPECT_EQ(weightedLength(w, l), bestLimitedCost(w, limit)) << "trial " << trial;
    }
    // Fibonacci weights want a 39-bit code: the limit binds, the code stays complete.
    std::vector<std::uint64_t> fib = {1, 1};
    while (fib.size() < 40) fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
    for (int limit : {31, 12, 6}) {
        const auto l = lengthsOf(fib, limit);
        EXPECT_EQ(kraft(l), std::uint64_t(1) << 31) << limit;
        EXPECT_EQ(*std::max_element(l.begin(), l.end()), limit);
        EXPECT_GT(weightedLength(fib, l), huffmanCost(fib));
    }
    // A wide alphabet the limit does not bind: exactly Huffman's cost; unused symbols get no code.
    std::vector<std::uint64_t> wide(1024, 0);
    for (std::size_t s = 0; s < wide.size(); s += 1 + random() % 3) wide[s] = 1 + random() % 100000;
    const auto l = lengthsOf(wide, 31);
    EXPECT_EQ(kraft(l), std::uint64_t(1) << 31);
    EXPECT_EQ(weightedLength(wide, l), huffmanCost(wide));
    for (std::size_t s = 0; s < wide.size(); ++s) EXPECT_EQ(l[s] == 0, wide[s] == 0) << s;
    // No symbol: no code. One symbol: length 1 (decoded without bits).
    EXPECT_EQ(lengthsOf(std::vector<std::uint64_t>(64, 0), 8), std::vector<std::uint8_t>(64, 0));
    std::vector<std::uint64_t> one(64, 0);
    one[17]  = 5;
    auto got = lengthsOf(one, 8);
    EXPECT_EQ(got[17], 1);
    got[17] = 0;
    EXPECT_EQ(got, std::vector<std::uint8_t>(64, 0));
    // More symbols than the limit allows.
    std::vector<std::uint8_t> room(64);
    EXPECT_FALSE(buildCodeLengths(std::vector<std::uint64_t>(64, 1).data(), 64, 5, room.data()));
}

// Packs `raw` as the record's side in a scratch directory of its own and
// reads every block back through the engine's reader.
struct Packed {
    PackSummary summary;
    bool        registered = false;
    std::size_t badBlocks  = 0;
};

Packed packAndRead(const std::vector<std::uint8_t>& raw, const char* record, int side) {
    Packed    result;
    const int ordinal = findTablebaseRecord(record);
    EXPECT_EQ(raw.size(), tableSize(record, side));
    const auto image = packTableImage(raw.data(), raw.size(), &result.summary, 2);
    EXPECT_EQ(image.size(), result.summary.packedBytes);
    ScratchDir        dir;
    const std::string path = dir.path + "/" + record + (side ? ".nbb" : ".nbw") + ".emd";
    std::FILE*        f    = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (!f) return result;
    EXPECT_EQ(std::fwrite(image.data(), 1, image.size(), f), image.size());
    std::fclose(f);
    forgetTableFiles();
    char message[400];
    result.registered = tryRegisterTableSide(dir.path.c_str(), ordinal, side, message, sizeof message) == 1;
    EXPECT_TRUE(result.registered) << record << ": " << message;
    std::vector<std::uint8_t> block(TB_SLOT_DATA);
    for (std::size_t b = 0; result.registered && b * TB_BLOCK_BYTES < raw.size(); ++b) {
        const std::size_t n = std::min<std::size_t>(TB_BLOCK_BYTES, raw.size() - b * TB_BLOCK_BYTES);
        if (readTableBlock(ordinal, side, std::uint32_t(b), block.data()) != std::int32_t(n) ||
            !std::equal(block.begin(), block.begin() + long(n), raw.begin() + long(b * TB_BLOCK_BYTES)))
            ++result.badBlocks;
    }
    forgetTableFiles();
    return result;
}

// Table-like bytes: rows of a stride with runs, a pattern repeating at a
// stride of 48 and at 7 x 48, scattered changes, and a long run of draws
// that needs copies longer than 4096.
std::vector<std::uint8_t> tableLike(std::size_t n, unsigned seed) {
    std::mt19937              random(seed);
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t square = i % 48, row = (i / 48) % 60;
        v[i] = std::uint8_t(square < 8 || square == row % 48 ? 127 : (row * 3 + square / 6) % 11 == 0 ? 0 : 110 - row / 4);
        if (random() % 50 == 0) v[i] = std::uint8_t(random() % 256);
    }
    std::fill(v.begin() + long(n / 3), v.begin() + long(std::min(n, n / 3 + 20000)), std::uint8_t(0));
    return v;
}

TEST(TablePacker, PackedFilesReadBackThroughTheEngine) {
    // Structured bytes: coded blocks with copies of every length class
    // and a short last block (kpk.nbw: 9 full blocks and 7936 bytes).
    const auto structured = tableLike(tableSize("kpk", 0), 1);
    Packed     p          = packAndRead(structured, "kpk", 0);
    EXPECT_EQ(p.badBlocks, 0u);
    EXPECT_EQ(p.summary.blocks, 10u);
    EXPECT_EQ(p.summary.storedBlocks, 0u);
    EXPECT_LT(p.summary.packedBytes, structured.size() / 4);

    // Skewed literals (value k with probability about 2^-k): codes far longer
    // than the reader's 13-bit direct table. kqk.nbw ends in a 1053-byte block.
    std::mt19937              random(2);
    std::vector<std::uint8_t> skewed(tableSize("kqk", 0));
    for (auto& b : skewed) {
        int k = 0;
        while (k < 40 && random() % 2) ++k;
        b = std::uint8_t(k * 5);
    }
    p = packAndRead(skewed, "kqk", 0);
    EXPECT_EQ(p.badBlocks, 0u);
    EXPECT_LT(p.summary.storedBlocks, p.summary.blocks);

    // Random bytes: no block codes shorter, every block stored and the
    // block code empty (the file is the header plus the raw bytes).
    std::vector<std::uint8_t> noise(tableSize("kqk", 1));
    for (auto& b : noise) b = std::uint8_t(random());
    p = packAndRead(noise, "kqk", 1);
    EXPECT_EQ(p.badBlocks, 0u);
    EXPECT_EQ(p.summary.storedBlocks, p.summary.blocks);
    EXPECT_EQ(p.summary.packedBytes, p.summary.headerBytes + noise.size());

    // One value throughout: a code of one symbol that takes no bits, so each
    // block is a single padding byte.
    const std::vector<std::uint8_t> draws(tableSize("krk", 1), 0);
    p = packAndRead(draws, "krk", 1);
    EXPECT_EQ(p.badBlocks, 0u);
    EXPECT_EQ(p.summary.packedBytes, p.summary.headerBytes + p.summary.blocks);

    // Half noise, half structure: stored and coded blocks in one file.
    auto mixed = tableLike(tableSize("kpk", 1), 3);
    for (std::size_t i = 0; i < mixed.size() / 2; ++i) mixed[i] = std::uint8_t(random());
    p = packAndRead(mixed, "kpk", 1);
    EXPECT_EQ(p.badBlocks, 0u);
    EXPECT_GT(p.summary.storedBlocks, 0u);
    EXPECT_LT(p.summary.storedBlocks, p.summary.blocks);
}

// Names in a directory other than . and ..
std::vector<std::string> listing(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
}

TEST(TablePacker, PackingKeepsOnlyVerifiedFiles) {
    ScratchDir dir;
    const int  kpk  = findTablebaseRecord("kpk");
    const auto nbw  = tableLike(tableSize("kpk", 0), 4);
    const auto nbb  = tableLike(tableSize("kpk", 1), 5);
    writeBytes(dir.path + "/kpk.nbw", nbw);
    writeBytes(dir.path + "/kpk.nbb", nbb);
    std::string error;
    ASSERT_TRUE(packTableSide(dir.path, kpk, 0, false, error)) << error;
    ASSERT_TRUE(packTableSide(dir.path, kpk, 1, true, error)) << error;
    // No scratch directory left behind; the .nbb went once its .emd was verified.
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"kpk.nbb.emd", "kpk.nbw", "kpk.nbw.emd"}));
    // The generator's reader takes the raw file when there is one, the
    // compressed one through the engine otherwise.
    // The packed sides hold anything at the free bytes (127).
    auto sameSaveFree = [](std::int8_t a, std::uint8_t b) { return b == 127 || std::uint8_t(a) == b; };
    std::vector<std::int8_t> back;
    ASSERT_TRUE(readTableSide(dir.path, kpk, 1, back));
    EXPECT_TRUE(std::equal(back.begin(), back.end(), nbb.begin(), nbb.end(), sameSaveFree));
    std::remove((dir.path + "/kpk.nbw").c_str());
    ASSERT_TRUE(readTableSide(dir.path, kpk, 0, back));
    EXPECT_TRUE(std::equal(back.begin(), back.end(), nbw.begin(), nbw.end(), sameSaveFree));

    // When the verified file cannot take its final name, nothing is left
    // under any name and the uncompressed file stays, --remove or not.
    writeBytes(dir.path + "/kpk.nbw", nbw);
    std::remove((dir.path + "/kpk.nbw.emd").c_str());
    ASSERT_EQ(mkdir((dir.path + "/kpk.nbw.emd").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir.path + "/kpk.nbw.emd/occupied").c_str(), 0755), 0);
    EXPECT_FALSE(packTableSide(dir.path, kpk, 0, true, error));
    EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"kpk.nbb.emd", "kpk.nbw", "kpk.nbw.emd"}));
    EXPECT_EQ(listing(dir.path + "/kpk.nbw.emd"), std::vector<std::string>{"occupied"});
    rmdir((dir.path + "/kpk.nbw.emd/occupied").c_str());
    rmdir((dir.path + "/kpk.nbw.emd").c_str());
    std::remove((dir.path + "/kpk.nbw").c_str());

    // A raw file of the wrong size is refused and leaves nothing behind.
    writeBytes(dir.path + "/krk.nbw", std::vector<std::uint8_t>(1000, 0));
    EXPECT_FALSE(packTableSide(dir.path, findTablebaseRecord("krk"), 0, true, error));
    EXPECT_NE(error.find("1000 bytes"), std::string::npos) << error;
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"kpk.nbb.emd", "krk.nbw"}));
}

TEST(TablePacker, FreeBytesAreFilledAndEveryOtherByteKept) {
    // krk made here: a sixth of its white-to-move indices no position reaches.
    ScratchDir        dir;
    const std::string tools = BRIX_TOOLS_BINARY;
    std::string       output, error;
    ASSERT_EQ(runCommand(tools + " tbgen " + dir.path + " krk", &output), 0) << output;
    const int                krk = findTablebaseRecord("krk");
    std::vector<std::int8_t> raw, packed;
    ASSERT_TRUE(readTableSide(dir.path, krk, 0, raw));
    ASSERT_TRUE(packTableSide(dir.path, krk, 0, true, error)) << error;
    ASSERT_TRUE(packTableSide(dir.path, krk, 1, true, error)) << error;
    ASSERT_TRUE(readTableSide(dir.path, krk, 0, packed));  // through the engine's reader
    ASSERT_EQ(packed.size(), raw.size());
    std::size_t free = 0, filled = 0, changed = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != 127) {
            changed += packed[i] != raw[i];
            continue;
        }
        ++free;
        filled += packed[i] != 127;
    }
    EXPECT_EQ(changed, 0u);
    EXPECT_GT(free, raw.size() / 10);
    EXPECT_GT(filled, free / 2);
    // The verifier takes the compressed files as they are: every position
    // exact, the free bytes left alone.
    EXPECT_EQ(runCommand(tools + " tbverify " + dir.path + " krk", &output), 0) << output;
}

TEST(TablePacker, Command) {
    ScratchDir dir;
    writeBytes(dir.path + "/kqk.nbw", tableLike(tableSize("kqk", 0), 6));
    writeBytes(dir.path + "/kqk.nbb", tableLike(tableSize("kqk", 1), 7));
    writeBytes(dir.path + "/knkn.nbw", std::vector<std::uint8_t>(tableSize("knkn", 0), 0));  // symmetric: one side
    const std::string tools = BRIX_TOOLS_BINARY;
    std::string       output;
    ASSERT_EQ(runCommand(tools + " tbpack " + dir.path + " --remove", &output), 0) << output;
    EXPECT_NE(output.find("kqk.nbb.emd: 28644 -> "), std::string::npos) << output;
    EXPECT_NE(output.find("packed 3 files"), std::string::npos) << output;
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"knkn.nbw.emd", "kqk.nbb.emd", "kqk.nbw.emd"}));
    // Nothing left to pack, and a named table without its files: failures.
    EXPECT_EQ(runCommand(tools + " tbpack " + dir.path, &output), 1);
    EXPECT_NE(output.find("no uncompressed tables"), std::string::npos) << output;
    EXPECT_EQ(runCommand(tools + " tbpack " + dir.path + " krk", &output), 1);
    EXPECT_NE(output.find("cannot open"), std::string::npos) << output;
    EXPECT_EQ(runCommand(tools + " tbpack " + dir.path + " kxk", &output), 2);
}

}  // namespace
