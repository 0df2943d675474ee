#include "tests/tablebase/tablebase_test.h"
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>
#include "tablebase/catalogue.h"
#include "tablebase/indexing.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbfiles.h"

ScratchDir::ScratchDir() {
    char name[] = "/tmp/brix-tb-XXXXXX";
    path        = mkdtemp(name);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

static void writeAt(int fd, std::uint64_t offset, const std::vector<std::int8_t>& bytes) {
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), off_t(offset)), ssize_t(bytes.size()));
}

void writeTableFile(const std::string& path, std::uint64_t bytes, std::int8_t fill,
                    const std::map<std::uint64_t, std::int8_t>& at) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(ftruncate(fd, off_t(bytes)), 0);  // zeros, sparse where the disk allows
    if (fill != 0) {
        const std::vector<std::int8_t> block(TB_BLOCK_BYTES, fill);
        for (std::uint64_t start = 0; start < bytes; start += TB_BLOCK_BYTES)
            writeAt(fd, start, std::vector<std::int8_t>(block.begin(), block.begin() + long(std::min<std::uint64_t>(TB_BLOCK_BYTES, bytes - start))));
    }
    for (const auto& [offset, value] : at) writeAt(fd, offset, {value});
    close(fd);
}

void writeBlockPattern(const std::string& path, std::uint64_t bytes, std::int8_t firstBlockFill) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    for (std::uint64_t start = 0, b = 0; start < bytes; start += TB_BLOCK_BYTES, ++b) {
        const std::uint64_t n = std::min<std::uint64_t>(TB_BLOCK_BYTES, bytes - start);
        writeAt(fd, start, std::vector<std::int8_t>(n, std::int8_t(firstBlockFill + std::int8_t(b))));
    }
    close(fd);
}

std::uint64_t tableSize(const char* name, int side) {
    const int r = findTablebaseRecord(name);
    EXPECT_GE(r, 0) << name;
    const TablebaseRecord& record = tablebaseCatalogue[r];
    return std::uint64_t(record.positionCount[side]) * ((record.flags & TB_TWO_BYTE) ? 2 : 1);
}

void startTablebases(const std::string& path, int cacheLog) {
    ASSERT_LT(path.size(), sizeof egtbPath);
    std::strcpy(egtbPath, path.c_str());
    egtbCacheSizeLog = std::int8_t(cacheLog);
    egtbMaxPieces    = -1;
    initTablebases();
}

void stopTablebases() {
    initIndexTables();  // the tests compute indices before the tables start
    egtbPath[0]      = '\0';
    egtbCacheSizeLog = 10;
    egtbMaxPieces    = -1;
    forgetTableFiles();
    allocateBlockCache(0);
}

std::uint32_t tbSquare(const char* name) { return std::uint32_t(name[0] - 'a') + 8 * std::uint32_t(name[1] - '1'); }
