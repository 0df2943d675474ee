// Compressed table files built symbol by symbol (emd_builder.h) and read back
// through registration, single block reads and the cache: every branch of the
// code-length reader and the block decoder, every header check with the line
// the engine prints, and damage that must end in "not found", never a crash.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include "tablebase/catalogue.h"
#include "tablebase/emdformat.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbfiles.h"
#include "tests/driver/engine_process.h"
#include "tests/tablebase/emd_builder.h"
#include "tests/tablebase/tablebase_test.h"

namespace {

int knk() { return findTablebaseRecord("knk"); }
constexpr std::uint32_t KNK_LAST = 26282 - 3 * 8192;  // knk white to move: 1706 bytes in block 3

std::vector<int> noLengths() { return std::vector<int>(1024, 0); }

EmdBlock codedBlock(std::vector<EmdSymbol> symbols) {
    EmdBlock b;
    b.symbols = std::move(symbols);
    return b;
}

EmdBlock storedBlock(std::uint32_t length, std::uint32_t seed) {
    EmdBlock b;
    b.kind = EmdBlock::STORED;
    std::mt19937 rng(seed);
    for (std::uint32_t i = 0; i < length; ++i) b.bytes.push_back(std::uint8_t(rng()));
    return b;
}

// knk white to move with four blocks made by `make(block, expected)`.
template <class Make>
EmdFile knkFile(Make make) {
    EmdFile f;
    f.lastLength = KNK_LAST;
    for (std::uint32_t b = 0; b < 4; ++b) f.blocks.push_back(make(b, b < 3 ? 8192u : KNK_LAST));
    return f;
}

// Every block stored: the code lengths are all a file has to be checked on.
EmdFile allStored(EmdFile f) {
    for (std::size_t b = 0; b < f.blocks.size(); ++b) f.blocks[b] = storedBlock(b + 1 < f.blocks.size() ? 8192 : f.lastLength, std::uint32_t(b));
    return f;
}

// The premise of a decoder test: its blocks are coded, not stored.
void expectCoded(const EmdFile& f) {
    const EmdImage image = buildEmdFile(f);
    for (std::size_t b = 0; b < image.blockAt.size(); ++b) {
        if (f.blocks[f.layout.empty() ? b : f.layout[b]].kind != EmdBlock::CODED) continue;
        const std::uint64_t end = b + 1 < image.blockAt.size() ? image.blockAt[b + 1] : image.bytes.size();
        EXPECT_LT(end - image.blockAt[b], b + 1 < image.blockAt.size() ? 8192u : f.lastLength) << "block " << b;
    }
}

std::uint32_t bigEndian32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 | std::uint32_t(bytes[at + 2]) << 8 |
           std::uint32_t(bytes[at + 3]);
}

class EmdFiles : public ::testing::Test {
protected:
    void        SetUp() override { stopTablebases(); }
    void        TearDown() override { stopTablebases(); }
    ScratchDir  dir;
    std::string path(const std::string& name = "knk.nbw.emd") const { return dir.path + "/" + name; }
    std::string brokenLine(const char* kind) const { return "*** Unable to read " + path() + " - " + kind + "\n"; }

    // Registers knk white to move from these bytes without ending the run:
    // the result and the line the engine would print.
    int tryRegister(const std::vector<std::uint8_t>& bytes, std::string& message) {
        forgetTableFiles();
        EXPECT_TRUE(writeBytes(path(), bytes));
        char line[600];
        const int result = tryRegisterTableSide(dir.path.c_str(), knk(), 0, line, sizeof line);
        message          = line;
        std::remove(path().c_str());
        forgetTableFiles();
        return result;
    }
    void expectRejected(const std::vector<std::uint8_t>& bytes, const std::string& line, const char* what) {
        std::string message;
        EXPECT_EQ(tryRegister(bytes, message), -1) << what;
        EXPECT_EQ(message, line) << what;
    }
    void expectBroken(const std::vector<std::uint8_t>& bytes, const char* what) {
        expectRejected(bytes, brokenLine("file broken"), what);
    }

    // Puts the file on the path with the smallest cache (3 slots).
    void start(const EmdFile& f) {
        stopTablebases();
        ASSERT_TRUE(writeBytes(path(), buildEmdFile(f).bytes));
        // Refused here, the start-up below would end the test program.
        char line[600];
        ASSERT_EQ(tryRegisterTableSide(dir.path.c_str(), knk(), 0, line, sizeof line), 1) << line;
        forgetTableFiles();
        startTablebases(dir.path, 5);
        ASSERT_TRUE(isTableSideRegistered(knk(), 0));
        ASSERT_EQ(std::string(tableFileName(knk(), 0)), path());
    }
    // Every block read past the cache equals what the block rules give.
    void expectBlocksRead(const EmdFile& f, const char* what) {
        start(f);
        const std::uint32_t n = std::uint32_t(f.layout.empty() ? f.blocks.size() : f.layout.size());
        for (std::uint32_t b = 0; b < n; ++b) {
            std::vector<std::uint8_t> want, got(TB_SLOT_DATA, 0xEE);
            ASSERT_TRUE(emdBlockContent(f, b, want)) << what << ": block " << b << " is not a valid block";
            ASSERT_EQ(readTableBlock(knk(), 0, b, got.data()), std::int32_t(want.size())) << what << ": block " << b;
            const auto diff = std::mismatch(want.begin(), want.end(), got.begin());
            EXPECT_TRUE(diff.first == want.end())
                << what << ": block " << b << " differs first at byte " << (diff.first - want.begin());
        }
        EXPECT_EQ(readTableBlock(knk(), 0, n, std::vector<std::uint8_t>(TB_SLOT_DATA).data()), -1) << "past the last block";
        EXPECT_TRUE(isTableSideRegistered(knk(), 0));
    }
    // The file registers; block `bad` cannot be read, and a probe of it
    // answers unknown and drops the side.
    void expectBlockFails(const EmdFile& f, std::uint32_t bad, const char* what) {
        start(f);
        std::vector<std::uint8_t> data(TB_SLOT_DATA);
        EXPECT_EQ(readTableBlock(knk(), 0, bad, data.data()), -1) << what;
        EXPECT_TRUE(isTableSideRegistered(knk(), 0)) << what << ": a read past the cache keeps the side";
        EXPECT_EQ(lookupTableValue(knk(), 0, bad * 8192 + 1), TB_VALUE_UNKNOWN) << what;
        EXPECT_FALSE(isTableSideRegistered(knk(), 0)) << what << ": the side is dropped";
        EXPECT_EQ(lookupTableValue(knk(), 0, 0), TB_VALUE_UNKNOWN) << what;
    }
};

using EmdDecoder = EmdFiles;
using EmdHeader  = EmdFiles;
using EmdProbe   = EmdFiles;

// ---------------------------------------------------------------- checksum

TEST(EmdChecksum, TableAndBitwiseAgree) {
    // The bitwise form is the test's own; the file checks below rely on the
    // two meeting on every header the builder writes.
    std::mt19937              rng(7);
    std::vector<std::uint8_t> bytes(1000);
    for (auto& b : bytes) b = std::uint8_t(rng());
    for (std::size_t length : {0, 1, 2, 3, 80, 84, 999, 1000})
        EXPECT_EQ(emdChecksum(bytes.data(), length), emdChecksumBitwise(bytes.data(), length)) << length;
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_NE(emdChecksum(digits, 9), 0xCBF43926u) << "not the usual CRC-32";
    EXPECT_EQ(emdChecksum(digits, 0), 0u);
}

// ------------------------------------------------------------ block decoder

TEST_F(EmdDecoder, SampleFileUnderEveryNameAndAgainstTheUncompressedTable) {
    const EmdFile f     = sampleEmdFile();
    const EmdImage image = buildEmdFile(f);
    ASSERT_NO_FATAL_FAILURE(expectBlocksRead(f, "sample"));
    // The three compressed names, in their order, and the raw file first.
    for (const char* name : {"knk.nbw.emd", "knk_nbw.emd", "knknbw.emd"}) {
        stopTablebases();
        std::remove(path().c_str());
        ASSERT_TRUE(writeBytes(path(name), image.bytes));
        char line[600];
        ASSERT_EQ(tryRegisterTableSide(dir.path.c_str(), knk(), 0, line, sizeof line), 1) << name << ": " << line;
        EXPECT_EQ(std::string(tableFileName(knk(), 0)), path(name));
        if (std::string(name) != "knknbw.emd") std::remove(path(name).c_str());
    }
    // knknbw.emd stays; knk_nbw.emd beside it wins, then the raw file.
    ASSERT_TRUE(writeBytes(path("knk_nbw.emd"), image.bytes));
    std::vector<std::uint8_t> raw;
    for (std::uint32_t b = 0; b < 4; ++b) {
        std::vector<std::uint8_t> content;
        ASSERT_TRUE(emdBlockContent(f, b, content));
        raw.insert(raw.end(), content.begin(), content.end());
    }
    ASSERT_EQ(raw.size(), tableSize("knk", 0));
    forgetTableFiles();
    char line[600];
    ASSERT_EQ(tryRegisterTableSide(dir.path.c_str(), knk(), 0, line, sizeof line), 1);
    EXPECT_EQ(std::string(tableFileName(knk(), 0)), path("knk_nbw.emd"));

    // Every value through the cache of three slots, in an order that keeps
    // evicting, against the same bytes as an uncompressed table.
    ScratchDir plain;
    ASSERT_TRUE(writeBytes(plain.path + "/knk.nbw", raw));
    auto sweep = [&](const std::string& where) {
        startTablebases(where, 5);
        std::vector<std::int32_t> values;
        for (std::uint32_t k = 0; k < 26282; ++k) values.push_back(lookupTableValue(knk(), 0, k));
        for (std::uint32_t k = 0; k < 3000; ++k) values.push_back(lookupTableValue(knk(), 0, (k * 7919u) % 26282u));
        stopTablebases();
        return values;
    };
    const std::vector<std::int32_t> fromRaw = sweep(plain.path);
    const std::uint64_t             reads   = tableBlockReads;
    const std::vector<std::int32_t> fromEmd = sweep(dir.path);
    EXPECT_GT(tableBlockReads - reads, 500u) << "blocks were evicted and read again";
    EXPECT_EQ(std::count(fromEmd.begin(), fromEmd.begin() + 26282, TB_VALUE_UNKNOWN),
              std::count(raw.begin(), raw.end(), std::uint8_t(127)));
    EXPECT_TRUE(fromRaw == fromEmd);
    // The uncompressed file beside the compressed ones is taken first.
    ASSERT_TRUE(writeBytes(path("knk.nbw"), raw));
    forgetTableFiles();
    ASSERT_EQ(tryRegisterTableSide(dir.path.c_str(), knk(), 0, line, sizeof line), 1);
    EXPECT_EQ(std::string(tableFileName(knk(), 0)), path("knk.nbw"));
}

TEST_F(EmdDecoder, AllZeroCodeLengthsServeStoredBlocksOnly) {
    // The flag bit alone: no block code. Stored blocks read as they are.
    EmdFile f = knkFile([](std::uint32_t b, std::uint32_t expected) { return storedBlock(expected, b); });
    f.codeLengths.allZero = true;
    expectBlocksRead(f, "flag bit");
    // The same written out as 1024 zero lengths (one run through the
    // auxiliary codes) is no code either.
    EmdFile spelled             = f;
    spelled.codeLengths.allZero = false;
    spelled.lengths             = noLengths();
    spelled.codeLengths.items   = {lengthRun(0, 1024)};
    expectBlocksRead(spelled, "zero run");
    // A block that is not stored cannot be decoded without a code.
    for (EmdFile* g : {&f, &spelled}) {
        g->blocks[2].kind  = EmdBlock::RAW;
        g->blocks[2].bytes = {0x00, 0x12, 0x34};
        expectBlockFails(*g, 2, "coded block under no code");
    }
}

TEST_F(EmdDecoder, OneSymbolOfLengthOneTakesNoBits) {
    // Only the literal 0x2A has a code: every block is one padding byte and
    // decodes to its whole length of 0x2A.
    EmdFile f   = knkFile([](std::uint32_t, std::uint32_t expected) {
        return codedBlock(std::vector<EmdSymbol>(expected, emdLiteral(0x2A)));
    });
    f.lengths   = noLengths();
    f.lengths[0x2A] = 1;
    const EmdImage image = buildEmdFile(f);
    ASSERT_EQ(image.bytes.size(), image.headerLength + 4u);
    expectBlocksRead(f, "one literal");
    EXPECT_EQ(lookupTableValue(knk(), 0, 3 * 8192 + KNK_LAST - 1), 32640 + 0x2A);

    // The one symbol may be a copy, too: nothing to copy from at the start.
    EmdFile copyOnly = f;
    copyOnly.lengths = noLengths();
    copyOnly.lengths[256] = 1;
    for (EmdBlock& b : copyOnly.blocks) b.symbols = {emdCopy(0, 1)};
    expectBlockFails(copyOnly, 0, "a lone copy symbol");
}

TEST_F(EmdDecoder, OneSymbolAuxiliaryCodesReadTheLengthsWithoutBits) {
    // All 1024 block symbols at length 10 (a complete code). Read as two runs
    // of 512, code A and code B each have one symbol and take no bits; only
    // the 8 extra bits of each run count remain. Read as 1024 plain lengths,
    // code A has one symbol and B none.
    std::vector<int> tens(1024, 10);
    auto make = [&](std::uint32_t b, std::uint32_t expected) {
        EmdBlock block = codedBlock(randomEmdBlock(tens, EmdFile{}.distances, expected, 40 + b, 300));
        return block;
    };
    EmdFile runs                 = knkFile(make);
    runs.lengths                 = tens;
    runs.codeLengths.items       = {lengthRun(10, 512), lengthRun(10, 512)};
    ASSERT_EQ(runs.codeLengths.items[0].b, 40);
    expectCoded(runs);
    expectBlocksRead(runs, "two runs");
    EmdFile plain                = runs;
    plain.codeLengths.items      = {};
    plain.codeLengths.useRuns    = false;
    expectBlocksRead(plain, "plain lengths");
    EXPECT_LT(buildEmdFile(plain).headerLength, buildEmdFile(runs).headerLength + 8)
        << "1024 lengths of no bits each";
}

TEST_F(EmdDecoder, CodesLongerThanThirteenBits) {
    // A chain of lengths 1..31: the block takes every symbol, deepest first,
    // so codes of 14 to 31 bits are read below the 13-bit table.
    const std::vector<int> chain = chainCodeLengths();
    EmdFile                f     = knkFile([&](std::uint32_t b, std::uint32_t expected) {
        return codedBlock(randomEmdBlock(chain, EmdFile{}.distances, expected, b, 400));
    });
    f.lengths                    = chain;
    expectCoded(f);
    expectBlocksRead(f, "chain");

    // Random complete codes grown by splitting, up to 16, 24 and 31 bits,
    // with few and with many symbols.
    const int shapes[][2] = {{16, 40}, {24, 120}, {31, 64}, {31, 700}, {20, 1024}, {14, 300}};
    std::uint32_t seed = 1;
    for (const auto& shape : shapes) {
        const std::vector<int> lengths = randomCompleteLengths(seed, shape[0], shape[1]);
        ASSERT_GT(*std::max_element(lengths.begin(), lengths.end()), 13) << seed;
        EmdFile g = knkFile([&](std::uint32_t b, std::uint32_t expected) {
            return codedBlock(randomEmdBlock(lengths, EmdFile{}.distances, expected, seed * 10 + b, 600));
        });
        g.lengths = lengths;
        expectCoded(g);
        expectBlocksRead(g, ("random code " + std::to_string(seed)).c_str());
        ++seed;
    }
}

TEST_F(EmdDecoder, ZeroRunsInTheCodeLengths) {
    // Literals at 9 bits, the copy symbols 256..767 at 10, the rest unused.
    std::vector<int> lengths(1024, 0);
    std::fill(lengths.begin(), lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 768, 10);
    EmdFile f = knkFile([&](std::uint32_t b, std::uint32_t expected) {
        return codedBlock(randomEmdBlock(lengths, EmdFile{}.distances, expected, 70 + b, 800));
    });
    f.lengths = lengths;
    expectCoded(f);
    // Runs whose counts come from B symbols 0..31 and from 32.. with their
    // extra bits (none for 32), mixed with plain lengths.
    f.codeLengths.items = {lengthRun(9, 34), lengthRun(9, 35), lengthRun(9, 36), lengthRun(9, 151),
                           lengthRun(10, 2), lengthRun(10, 33), {10}, {10}, {10}, lengthRun(10, 474),
                           lengthRun(0, 256)};
    ASSERT_EQ(f.codeLengths.items[0].b, 32);
    ASSERT_EQ(f.codeLengths.items[2].b, 33);
    ASSERT_EQ(f.codeLengths.items[2].extra, 1u);
    ASSERT_EQ(f.codeLengths.items[5].b, 31);
    expectBlocksRead(f, "explicit runs");
    // Derived runs (256 nines, 512 tens and 256 zeros need B symbols 39 and
    // 40 with 7 and 8 extra bits), and no runs at all.
    EmdFile derived           = f;
    derived.codeLengths.items = {};
    expectBlocksRead(derived, "derived runs");
    EmdFile single              = derived;
    single.codeLengths.useRuns  = false;
    expectBlocksRead(single, "one length at a time");
    // The auxiliary lengths: zero runs of up to 15, of none, and wider fields.
    EmdFile noZeroRuns                 = f;
    noZeroRuns.codeLengths.auxZeroRun = 0;
    expectBlocksRead(noZeroRuns, "zeros one by one");
    EmdFile wide                = f;
    wide.codeLengths.auxWidth   = 9;
    wide.codeLengths.auxZeroRun = 3;
    expectBlocksRead(wide, "9-bit lengths, runs of three");
    EXPECT_NE(buildEmdFile(noZeroRuns).headerLength, buildEmdFile(f).headerLength) << "the runs were written";
}

// Copies with every length class: the content is made of many distinct
// bytes, so any misread length or extra shifts everything after it.
TEST_F(EmdDecoder, EveryCopyLengthClassWithItsExtraBits) {
    std::vector<EmdSymbol> first, second, third, last;
    std::uint32_t           produced = 0;
    auto literal = [&](std::vector<EmdSymbol>& s, int v) {
        s.push_back(emdLiteral(std::uint8_t(v)));
        ++produced;
    };
    auto copy = [&](std::vector<EmdSymbol>& s, int d, int c, std::uint32_t extra) {
        s.push_back(emdCopyClass(d, c, extra));
        produced += emdCopyLength(s.back());
    };
    // Block 0: classes 0..24 with their largest extra values, then 25.
    for (int i = 0; i < 16; ++i) literal(first, i * 13 + 1);
    for (int c = 0; c <= 24; ++c) {
        copy(first, c % 9, c, c < 15 ? 0 : (1u << (c - 14)) - 1);
        literal(first, c + 100);
    }
    copy(first, 11, 25, 8192 - produced - 2062);  // class 11: distance 128
    ASSERT_EQ(produced, 8192u);
    // Block 1: classes 15..24 with extra 0, then 26.
    produced = 0;
    for (int i = 0; i < 30; ++i) literal(second, 255 - i * 3);
    for (int c = 15; c <= 24; ++c) {
        copy(second, (c * 7) % 10, c, 0);
        literal(second, c);
    }
    copy(second, 9, 26, 8192 - produced - 4110);
    ASSERT_EQ(produced, 8192u);
    // Block 2: a pattern of eight repeated to byte 8191 by the longest copy
    // of class 26, then the block's first byte from the longest distance, 8191.
    produced = 0;
    literal(third, 0x5A);
    for (int i = 1; i <= 8; ++i) literal(third, i);
    copy(third, 7, 26, 8191 - 9 - 4110);
    copy(third, 17, 0, 0);
    ASSERT_EQ(produced, 8192u);
    produced = 0;
    for (int i = 0; i < 3; ++i) literal(last, 7 + i);
    for (int c = 0; c <= 14; ++c) copy(last, 2, c, 0);
    copy(last, 0, 24, KNK_LAST - produced - 1038);
    ASSERT_EQ(produced, KNK_LAST);
    EmdFile f;
    f.lastLength = KNK_LAST;
    f.blocks     = {codedBlock(first), codedBlock(second), codedBlock(third), codedBlock(last)};
    expectCoded(f);
    expectBlocksRead(f, "length classes");

    // Classes 27..31 always run past 8192 bytes (their lengths start at
    // 8206); 31 has 17 extra bits. Each one makes its block unreadable.
    for (int c = 27; c <= 31; ++c) {
        EmdFile g = f;
        g.blocks[1].symbols = {emdLiteral(1), emdCopyClass(0, c, (1u << (c - 14)) - 1)};
        expectBlockFails(g, 1, ("class " + std::to_string(c)).c_str());
    }
}

TEST_F(EmdDecoder, OverlappingCopiesAndDistanceClasses) {
    // A distance-1 copy repeats one byte; distance 3 a three-byte pattern;
    // every class is used once, each after enough bytes, with distinct
    // distances, so a wrong class or distance shows in the bytes.
    EmdFile f;
    f.lastLength = KNK_LAST;
    for (int d = 0; d < 24; ++d) f.distances[d] = std::uint32_t(d * 97 % 301 + 1 + d);
    std::vector<EmdSymbol> s;
    std::uint32_t          produced = 0;
    for (int i = 0; i < 400; ++i, ++produced) s.push_back(emdLiteral(std::uint8_t(i * 7 + i / 256)));
    s.push_back(emdCopy(0, 50));
    produced += 50;
    ASSERT_EQ(f.distances[0], 1u);
    for (int round = 0; round < 3; ++round)
        for (int d = 0; d < 24; ++d) {
            // Short distances overlap their own output.
            const std::uint32_t length = (f.distances[d] <= 40 ? 2 * f.distances[d] + 3 : 20) + std::uint32_t(round);
            s.push_back(emdCopy(d, length));
            s.push_back(emdLiteral(std::uint8_t(d + round)));
            produced += length + 1;
        }
    ASSERT_LT(produced, 8192u);
    s.push_back(emdCopy(5, 8192 - produced));
    f.blocks = {codedBlock(s), storedBlock(8192, 3), codedBlock(s), storedBlock(KNK_LAST, 4)};
    expectCoded(f);
    expectBlocksRead(f, "distances");
}

TEST_F(EmdDecoder, StoredCodedAndShortLastBlocks) {
    // A stored last block, and a coded one; a coded block whose length
    // happens to equal the expected length is stored, whatever it holds.
    EmdFile f = sampleEmdFile();
    f.blocks[3] = storedBlock(KNK_LAST, 9);
    expectBlocksRead(f, "stored last block");

    EmdFile equal = sampleEmdFile();
    const EmdImage image = buildEmdFile(equal);
    const std::uint64_t codedLength = image.bytes.size() - image.blockAt[3];
    ASSERT_LT(codedLength, KNK_LAST);
    equal.blocks[3].padBytes = KNK_LAST - std::uint32_t(codedLength);
    std::vector<std::uint8_t> asStored;
    ASSERT_TRUE(emdBlockContent(equal, 3, asStored));
    ASSERT_EQ(asStored.size(), KNK_LAST);
    EXPECT_EQ(asStored[KNK_LAST - 1], 0) << "the padding is read as data";
    expectBlocksRead(equal, "coded bytes of the stored length");

    // One byte less: decoded, the zero bytes after the symbols are padding.
    EmdFile padded             = sampleEmdFile();
    padded.blocks[3].padBytes = KNK_LAST - std::uint32_t(codedLength) - 1;
    expectBlocksRead(padded, "coded with padding");
    // A full block stored in a file whose code cannot read it.
    EmdFile full       = sampleEmdFile();
    full.blocks[1]     = storedBlock(8192, 5);
    full.blocks[2]     = storedBlock(8192, 6);
    expectBlocksRead(full, "three stored blocks");
}

TEST_F(EmdDecoder, CodedLastBlockLongerThanItsContent) {
    // The last block holds 1706 bytes; a coded form of 1800 bytes (most of
    // it padding) is still decoded: only a length equal to the block's
    // means stored, and a coded block may take up to 8192 bytes.
    EmdFile f                 = sampleEmdFile();
    const EmdImage image      = buildEmdFile(f);
    f.blocks[3].padBytes      = 1800 - std::uint32_t(image.bytes.size() - image.blockAt[3]);
    expectBlocksRead(f, "padded past the content length");
}

TEST_F(EmdDecoder, BlockEndingOnItsLastBitAndOddLengths) {
    // Ten bits a symbol: literal (10), copy class 15 (11), class 17 (13),
    // class 26 (22) make 56 bits, seven bytes with no padding at all: the
    // decoder may look ahead past the end but must not need those bits.
    std::vector<int> tens(1024, 10);
    EmdFile          f;
    f.lastLength = KNK_LAST;
    f.lengths    = tens;
    f.blocks     = {codedBlock({emdLiteral(0x77), emdCopy(0, 16), emdCopyClass(0, 17, 0), emdCopy(1, 8192 - 1 - 16 - 22)})};
    f.blocks.push_back(codedBlock({emdLiteral(1), emdLiteral(2), emdLiteral(3), emdCopy(2, 8192 - 3)}));
    f.blocks.push_back(codedBlock({emdLiteral(9), emdCopyClass(0, 15, 1), emdCopyClass(0, 17, 7), emdCopy(0, 8192 - 1 - 17 - 29)}));
    f.blocks.push_back(codedBlock({emdLiteral(4), emdLiteral(5), emdCopy(1, KNK_LAST - 2)}));
    const EmdImage image = buildEmdFile(f);
    EXPECT_EQ(image.blockAt[1] - image.blockAt[0], 7u);
    EXPECT_EQ(image.blockAt[3] - image.blockAt[2], 7u);
    EXPECT_EQ(image.bytes.size() - image.blockAt[3], 5u);
    expectBlocksRead(f, "exact bits");
}

// ---------------------------------------------- damage found while probing

TEST_F(EmdProbe, BrokenBlocksAnswerNotFoundAndDropTheSide) {
    struct Case {
        const char*            what;
        std::uint32_t          block;
        std::vector<EmdSymbol> symbols;
    };
    const std::vector<Case> cases = {
        {"copy before the block start", 1, {emdLiteral(1), emdLiteral(2), emdLiteral(3), emdCopy(3, 8189)}},
        {"copy as the first symbol", 0, {emdCopy(0, 1), emdLiteral(1)}},
        {"copy from a distance longer than the block so far", 2, {emdLiteral(1), emdCopy(17, 8191)}},
        {"copy one past the block's end", 1, {emdLiteral(1), emdCopy(0, 8192)}},
        {"copy past the last block's end", 3, {emdLiteral(1), emdCopy(0, KNK_LAST)}},
        {"bits run out", 2, {emdLiteral(1), emdLiteral(2), emdCopy(0, 100)}},
        {"bits run out on the last block", 3, {emdLiteral(1), emdCopy(0, KNK_LAST - 2)}},
    };
    for (const Case& c : cases) {
        EmdFile f         = sampleEmdFile();
        f.blocks[c.block] = codedBlock(c.symbols);
        std::vector<std::uint8_t> content;
        ASSERT_FALSE(emdBlockContent(f, c.block, content)) << c.what;
        expectBlockFails(f, c.block, c.what);
    }
}

TEST_F(EmdProbe, SmallestCacheEvictsAndRereadsCompressedBlocks) {
    const EmdFile f = sampleEmdFile();
    start(f);
    ASSERT_EQ(cacheSlotCount, 3u);
    std::vector<std::uint8_t> blocks[4];
    for (std::uint32_t b = 0; b < 4; ++b) ASSERT_TRUE(emdBlockContent(f, b, blocks[b]));
    const std::uint64_t base = tableBlockReads;
    // The values of one-byte tables: wins and losses at +-32640 plus the
    // byte, -128 and -127 the far ones, 127 unknown.
    auto check = [&](std::uint32_t b, std::uint32_t offset) {
        const std::int32_t byte = std::int8_t(blocks[b][offset]);
        const std::int32_t want = byte == 0 ? 0 : byte == 127 ? TB_VALUE_UNKNOWN : byte == -128 ? 32640 :
                                  byte == -127 ? -32640 : byte > 0 ? 32640 + byte : byte - 32640;
        EXPECT_EQ(lookupTableValue(knk(), 0, b * 8192 + offset), want) << b << ":" << offset;
    };
    check(0, 5);
    check(1, 6000);
    check(2, 17);
    EXPECT_EQ(tableBlockReads, base + 3);
    check(0, 8191);  // hit
    check(3, 1705);  // evicts block 1
    EXPECT_EQ(tableBlockReads, base + 4);
    check(1, 8191);  // read and decoded again; evicts block 2
    check(1, 0);
    check(2, 4000);  // again; evicts block 0
    EXPECT_EQ(tableBlockReads, base + 6);
    for (std::uint32_t offset = 0; offset < 8192; offset += 61) check(1, offset);
    EXPECT_EQ(tableBlockReads, base + 6);
    EXPECT_TRUE(isTableSideRegistered(knk(), 0));
}

TEST_F(EmdProbe, TwoByteTable) {
    // krnknn keeps two bytes a position, low byte first: (n - 1) x 4096 +
    // last / 2 positions. Most of its 664822 blocks are one code of three
    // bytes; a few stored ones hold the values looked up.
    const int           krnknn = findTablebaseRecord("krnknn");
    const std::uint64_t bytes  = tableSize("krnknn", 0);
    ASSERT_NE(tablebaseCatalogue[krnknn].flags & TB_TWO_BYTE, 0u);
    const std::uint32_t n = std::uint32_t((bytes + 8191) / 8192), last = std::uint32_t(bytes - std::uint64_t(n - 1) * 8192);
    ASSERT_EQ(last % 2, 0u);
    EmdFile f;
    f.lastLength = last;
    f.distances[0] = 2;
    f.blocks.push_back(codedBlock({emdLiteral(0x34), emdLiteral(0xC2), emdCopy(0, 8190)}));
    f.blocks.push_back(storedBlock(8192, 11));
    f.blocks.push_back(codedBlock({emdLiteral(0x01), emdLiteral(0x80), emdCopy(0, last - 2)}));
    const std::uint32_t stored = n / 2 + 3;
    f.layout.assign(n, 0);
    f.layout[1] = f.layout[stored] = 1;
    f.layout[n - 1] = 2;
    const EmdImage image = buildEmdFile(f);
    ASSERT_TRUE(writeBytes(dir.path + "/krnknn.nbw.emd", image.bytes));
    char line[600];
    forgetTableFiles();
    ASSERT_EQ(tryRegisterTableSide(dir.path.c_str(), krnknn, 0, line, sizeof line), 1) << line;
    startTablebases(dir.path, 5);
    ASSERT_TRUE(isTableSideRegistered(krnknn, 0));
    std::vector<std::uint8_t> storedBytes;
    ASSERT_TRUE(emdBlockContent(f, 1, storedBytes));
    auto storedValue = [&](std::uint32_t k) {
        return std::int32_t(std::int8_t(storedBytes[2 * k + 1])) * 256 + storedBytes[2 * k];
    };
    EXPECT_EQ(lookupTableValue(krnknn, 0, 0), -62 * 256 + 0x34);
    EXPECT_EQ(lookupTableValue(krnknn, 0, 4095), -62 * 256 + 0x34);
    EXPECT_EQ(lookupTableValue(krnknn, 0, 4096), storedValue(0));
    EXPECT_EQ(lookupTableValue(krnknn, 0, 8191), storedValue(4095));
    EXPECT_EQ(lookupTableValue(krnknn, 0, stored * 4096 + 1234), storedValue(1234));
    EXPECT_EQ(lookupTableValue(krnknn, 0, (stored + 1) * 4096), -62 * 256 + 0x34);
    const std::uint32_t positions = tablebaseCatalogue[krnknn].positionCount[0];
    EXPECT_EQ(lookupTableValue(krnknn, 0, positions - 1), -128 * 256 + 1);
    EXPECT_EQ(lookupTableValue(krnknn, 0, (n - 1) * 4096), -128 * 256 + 1);
    std::vector<std::uint8_t> data(TB_SLOT_DATA);
    EXPECT_EQ(readTableBlock(krnknn, 0, n - 1, data.data()), std::int32_t(last));
    EXPECT_EQ(readTableBlock(krnknn, 0, n, data.data()), -1);
    stopTablebases();

    // Two bytes short of the count: corrupted.
    f.lastLength = last - 2;
    f.blocks[2]  = codedBlock({emdLiteral(0x01), emdLiteral(0x80), emdCopy(0, last - 4)});
    ASSERT_TRUE(writeBytes(dir.path + "/krnknn.nbw.emd", buildEmdFile(f).bytes));
    EXPECT_EQ(tryRegisterTableSide(dir.path.c_str(), krnknn, 0, line, sizeof line), -1);
    EXPECT_EQ(std::string(line), "*** " + dir.path + "/krnknn.nbw.emd corrupted\n");
}

// ------------------------------------------------------------ header checks

TEST_F(EmdHeader, ShortFilesAndWrongSignaturesAreReadErrors) {
    const std::vector<std::uint8_t> good = buildEmdFile(sampleEmdFile()).bytes;
    std::string message;
    ASSERT_EQ(tryRegister(good, message), 1) << message;
    const std::string readError = brokenLine("read error");
    expectRejected({}, readError, "empty");
    expectRejected(std::vector<std::uint8_t>(good.begin(), good.begin() + 79), readError, "79 bytes");
    for (std::size_t at : {0, 17, 63}) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] ^= 0x20;
        resealEmd(bytes);
        expectRejected(bytes, readError, ("signature byte " + std::to_string(at)).c_str());
    }
    // The head alone, and the head with a header length past the file.
    expectBroken(std::vector<std::uint8_t>(good.begin(), good.begin() + 80), "80 bytes");
    expectBroken(std::vector<std::uint8_t>(good.begin(), good.begin() + 100), "100 bytes");
}

TEST_F(EmdHeader, HeadFieldsAndChecksum) {
    const EmdImage image = buildEmdFile(sampleEmdFile());
    const std::vector<std::uint8_t>& good = image.bytes;
    auto patched = [&](std::size_t at, std::uint32_t value, int width, bool reseal) {
        std::vector<std::uint8_t> bytes = good;
        putBigEndian(bytes, at, value, width);
        if (reseal) resealEmd(bytes);
        return bytes;
    };
    expectBroken(patched(64, 83, 4, false), "header length 83");
    expectBroken(patched(64, 0, 4, false), "header length 0");
    expectBroken(patched(64, 0xFFFFFFFFu, 4, false), "header length 2^32 - 1");
    expectBroken(patched(64, 0x7FFFFFF0u, 4, false), "header length 2 GB");
    expectBroken(patched(64, std::uint32_t(good.size()) + 1, 4, false), "header length past the file");
    expectBroken(patched(70, 17, 1, true), "exponent 17");
    expectBroken(patched(70, 255, 1, true), "exponent 255");
    expectBroken(patched(71, 23, 1, true), "23 classes");
    expectBroken(patched(71, 25, 1, true), "25 classes");
    expectBroken(patched(71, 0, 1, true), "no classes");
    expectBroken(patched(76, 0x004001F4u, 4, true), "tag");
    expectBroken(patched(76, 0xF5014000u, 4, true), "tag byte-swapped");
    // The checksum covers every byte before it, the unused ones included.
    const std::uint32_t h = image.headerLength;
    expectBroken(patched(h - 4, bigEndian32(good, h - 4) ^ 1u, 4, false), "checksum");
    expectBroken(patched(68, 0x1234, 2, false), "unexamined bytes");
    expectBroken(patched(84, 77, 4, false), "block record");
    expectBroken(patched(h - 5, good[h - 5] ^ 0x80u, 1, false), "last code-length byte");
    // The same bytes resealed are a good file again: only the checksum told.
    std::string message;
    EXPECT_EQ(tryRegister(patched(68, 0x1234, 2, true), message), 1) << message;
    EXPECT_EQ(tryRegister(patched(84, 77, 4, true), message), 1) << message;

    // Block sizes other than 8192, behind a right checksum.
    expectRejected(patched(70, 12, 1, true), "*** " + path() + ": Unsupported block size 4096\n", "exponent 12");
    expectRejected(patched(70, 16, 1, true), "*** " + path() + ": Unsupported block size 65536\n", "exponent 16");
    expectRejected(patched(70, 14, 1, true), "*** " + path() + ": Unsupported block size 16384\n", "exponent 14");
}

TEST_F(EmdHeader, PositionCountAndFileSize) {
    const std::string corrupted = "*** " + path() + " corrupted\n";
    // Last block one byte short (the file consistent with it otherwise).
    EmdFile shortLast    = sampleEmdFile();
    shortLast.lastLength = KNK_LAST - 1;
    shortLast.blocks[3]  = storedBlock(KNK_LAST - 1, 2);
    expectRejected(buildEmdFile(shortLast).bytes, corrupted, "one position short");
    // A fifth block, and three blocks.
    EmdFile five = sampleEmdFile();
    five.blocks.insert(five.blocks.begin(), storedBlock(8192, 8));
    expectRejected(buildEmdFile(five).bytes, corrupted, "five blocks");
    EmdFile three = sampleEmdFile();
    three.blocks.erase(three.blocks.begin());
    expectRejected(buildEmdFile(three).bytes, corrupted, "three blocks");
    // A last length of 0 means 8192, not 0.
    EmdFile zero    = sampleEmdFile();
    zero.lastLength = 0;
    zero.blocks[3]  = storedBlock(8192, 2);
    expectRejected(buildEmdFile(zero).bytes, corrupted, "last length 8192");

    // The file must be the header and the blocks exactly.
    const std::vector<std::uint8_t> good = buildEmdFile(sampleEmdFile()).bytes;
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    expectBroken(longer, "a byte too many");
    expectBroken(std::vector<std::uint8_t>(good.begin(), good.end() - 1), "a byte too few");
    EmdFile claimed = sampleEmdFile();
    claimed.blocks[1].headerLength = std::int32_t(buildEmdFile(claimed).blockAt[2] - buildEmdFile(claimed).blockAt[1]) + 1;
    expectBroken(buildEmdFile(claimed).bytes, "a block length one too long");
    // A header length that cuts into the packed lengths, resealed.
    for (std::uint32_t h : {84u, 80u + 8u * 4u + 4u, 80u + 8u * 4u + 20u}) {
        std::vector<std::uint8_t> bytes(good.begin(), good.begin() + h);
        putBigEndian(bytes, 64, h, 4);
        resealEmd(bytes);
        bytes.insert(bytes.end(), good.begin() + std::ptrdiff_t(buildEmdFile(sampleEmdFile()).headerLength), good.end());
        std::string message;
        EXPECT_EQ(tryRegister(bytes, message), -1) << "header of " << h << " bytes";
        EXPECT_TRUE(message == brokenLine("file broken") || message == corrupted) << message;
    }
    // Block counts that cannot fit: none, and 2^32 - 1 (80 + 8n overflows 32 bits).
    for (std::uint32_t n : {0u, 0xFFFFFFFFu, 0x20000000u}) {
        std::vector<std::uint8_t> bytes = good;
        putBigEndian(bytes, 72, n, 4);
        resealEmd(bytes);
        std::string message;
        EXPECT_EQ(tryRegister(bytes, message), -1) << n << " blocks";
        EXPECT_TRUE(message == brokenLine("file broken") || message == corrupted) << message;
    }
}

TEST_F(EmdHeader, InvalidCodeLengths) {
    // Every block stored: only the code lengths decide.
    auto withLengths = [&](std::vector<std::pair<int, int>> set) {
        EmdFile f = allStored(sampleEmdFile());
        f.lengths = noLengths();
        for (auto [s, l] : set) f.lengths[std::size_t(s)] = l;
        return buildEmdFile(f).bytes;
    };
    std::string message;
    ASSERT_EQ(tryRegister(withLengths({{5, 1}, {300, 1}}), message), 1) << "two symbols of length 1: " << message;
    ASSERT_EQ(tryRegister(withLengths({{5, 1}}), message), 1) << "one symbol of length 1: " << message;
    expectBroken(withLengths({{5, 2}, {6, 2}}), "incomplete");
    expectBroken(withLengths({{5, 2}, {6, 2}, {7, 2}, {8, 3}}), "incomplete by one 3-bit code");
    expectBroken(withLengths({{5, 1}, {6, 1}, {7, 1}}), "over-subscribed");
    expectBroken(withLengths({{5, 1}, {6, 2}, {7, 2}, {8, 31}}), "over-subscribed by one 31-bit code");
    // Even counts at every length, and still twice too many codes.
    expectBroken(withLengths({{5, 1}, {6, 1}, {7, 1}, {8, 1}}), "four codes of 1 bit");
    expectBroken(withLengths({{5, 1}, {6, 1}, {7, 2}, {8, 2}, {9, 2}, {10, 2}}), "two of 1 bit, four of 2");
    expectBroken(withLengths({{5, 2}}), "one symbol of length 2");
    expectBroken(withLengths({{900, 31}}), "one symbol of length 31");

    // Literals 0 and 1 at length 1, written through explicit items and
    // auxiliary lengths: A = {1, 32}, B = the one count symbol of 1022.
    const std::vector<LengthItem> items = {{1}, {1}, lengthRun(0, 1022)};
    std::vector<int> aux(128, 0);
    aux[1] = 1, aux[32] = 1, aux[std::size_t(64 + items[2].b)] = 1;
    auto withItems = [&](std::vector<LengthItem> list, std::vector<int> auxLengths) {
        EmdFile f           = allStored(sampleEmdFile());
        f.lengths           = noLengths();
        f.codeLengths.items = std::move(list);
        f.codeLengths.aux   = std::move(auxLengths);
        return f;
    };
    ASSERT_EQ(tryRegister(buildEmdFile(withItems(items, aux)).bytes, message), 1) << "explicit lengths: " << message;
    ASSERT_EQ(tryRegister(buildEmdFile(withItems({lengthRun(1, 2), lengthRun(0, 1022)}, {})).bytes, message), 1)
        << "the same as runs: " << message;
    // Runs past 1024.
    expectBroken(buildEmdFile(withItems({lengthRun(1, 2), lengthRun(0, 1023)}, {})).bytes, "run past 1024");
    expectBroken(buildEmdFile(withItems({lengthRun(1, 2), lengthRun(0, 1000), lengthRun(0, 23)}, {})).bytes,
                 "second run past 1024");
    // (A plain length after the 1024th is never read: it is padding.)
    ASSERT_EQ(tryRegister(buildEmdFile(withItems({lengthRun(1, 2), lengthRun(0, 1022), {0}}, {})).bytes, message), 1)
        << message;

    // The auxiliary codes obey the block code's rules, with at most 8 bits.
    const std::size_t count = std::size_t(64 + items[2].b);
    std::vector<int>  bad   = aux;
    bad[5]                  = 2;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "code A over-subscribed");
    bad = aux, bad[32] = 2;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "code A incomplete");
    bad = aux, bad[count] = 2;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "code B: one symbol of length 2");
    // Complete codes that need 9 bits: symbols 1 and 32 at 1 and 2, then a
    // chain of 3..9 with two codes of 9 bits.
    bad = aux, bad[32] = 2;
    for (int l = 3; l <= 9; ++l) bad[std::size_t(l - 1)] = l;
    bad[9] = 9;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "code A of 9 bits");
    std::vector<int> eight = aux;
    eight[32] = 2;
    for (int l = 3; l <= 8; ++l) eight[std::size_t(l - 1)] = l;
    eight[8] = 8;
    ASSERT_EQ(tryRegister(buildEmdFile(withItems(items, eight)).bytes, message), 1) << "code A of 8 bits: " << message;
    bad = aux;
    for (int l = 2; l <= 9; ++l) bad[std::size_t(64 + 40 + l)] = l;
    bad[64 + 50] = 9;
    bad[count]   = 1;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "code B of 9 bits");
    // Lengths above 31 need a wider field.
    EmdFile wide              = withItems(items, aux);
    wide.codeLengths.aux[1]   = 32;
    wide.codeLengths.auxWidth = 6;
    expectBroken(buildEmdFile(wide).bytes, "auxiliary length 32");
    // No auxiliary code at all, and runs with no code B.
    EmdFile noAux                = withItems(items, aux);
    noAux.codeLengths.auxAllZero = true;
    expectBroken(buildEmdFile(noAux).bytes, "auxiliary lengths all zero");
    bad = aux, bad[count] = 0;
    expectBroken(buildEmdFile(withItems(items, bad)).bytes, "a run with code B empty");
    // A zero-run count after the last auxiliary length that reaches past 128.
    EmdFile over                 = withItems(items, aux);
    over.codeLengths.auxZeroRun = 0;
    ASSERT_EQ(over.codeLengths.aux[127], 0);
    ASSERT_EQ(tryRegister(buildEmdFile(over).bytes, message), 1) << message;
    over.codeLengths.auxOverrun = 1;
    expectBroken(buildEmdFile(over).bytes, "zero run past 128");
}

// --------------------------------------------------- the engine's own exit

void writeConfig(const std::string& dir, const std::string& text) {
    std::FILE* f = std::fopen((dir + "/brix.cfg").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::strchr(".*+?()[]{}|^$\\", c)) out += '\\';
        out += c;
    }
    return out;
}

TEST(EmdSession, BrokenFileEndsStartUpAndGoodOneAnswers) {
    ScratchDir tables, home;
    std::vector<std::uint8_t> bytes = buildEmdFile(sampleEmdFile()).bytes;
    bytes[3] ^= 1;  // the signature
    ASSERT_TRUE(writeBytes(tables.path + "/knk.nbw.emd", bytes));
    writeConfig(home.path, "EGTB_PATH " + tables.path + "\n");
    {
        EngineProcess e(home.path);
        e.expect("^" + escaped("*** Unable to read " + tables.path + "/knk.nbw.emd - read error") + "$");
        EXPECT_EQ(e.waitExit(5), 1);
    }
    EmdFile f = sampleEmdFile();
    f.exponent = 12;
    ASSERT_TRUE(writeBytes(tables.path + "/knk.nbw.emd", buildEmdFile(f).bytes));
    {
        EngineProcess e(home.path);
        e.expect("^" + escaped("*** " + tables.path + "/knk.nbw.emd: Unsupported block size 4096") + "$");
        EXPECT_EQ(e.waitExit(5), 1);
    }
    // Every value 5 (a win in 5): one literal of length 1, no bits.
    f          = knkFile([](std::uint32_t, std::uint32_t expected) {
        return codedBlock(std::vector<EmdSymbol>(expected, emdLiteral(5)));
    });
    f.lengths  = noLengths();
    f.lengths[5] = 1;
    ASSERT_TRUE(writeBytes(tables.path + "/knk_nbw.emd", buildEmdFile(f).bytes));
    std::remove((tables.path + "/knk.nbw.emd").c_str());
    EngineProcess e(home.path);
    e.send("protover 2");
    e.expect("^EGTB Status: Maximum 3 piece tablebases found$");
    e.send("setboard 8/8/8/4k3/8/8/N7/4K3 w - - 0 1");
    e.send("egtb");
    e.expect("^Max 3 , Score 9756$");
    e.send("quit");
    EXPECT_EQ(e.waitExit(5), 0);
}

}  // namespace
