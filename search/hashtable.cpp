// search/hashtable.cpp: storage and sizing of the two search hash tables.
#include "search/hashtable.h"
#include <cstdlib>
#include <cstring>

HashEntry*   hashTable   = nullptr;
HashEntry*   qsHashTable = nullptr;
std::uint8_t ttShift     = 16;

std::uint8_t ttShiftForSize(std::int64_t kilobytes) {
    std::int64_t v = kilobytes < 48 ? 3100 : kilobytes;
    // Buckets of 48 bytes that fit; the count is kept in 32 bits.
    const std::uint32_t n = std::uint32_t(std::uint64_t(v) * 1024 / 48);
    int                 c = 10;
    if (n >= 1024)
        while (c < 32 && (std::uint64_t(1) << c) <= n) ++c;
    return std::uint8_t(33 - c);
}

std::uint64_t hashTableBytes() {
    return (std::uint64_t(1) << (32 - ttShift)) * HASH_BUCKET_ENTRIES * sizeof(HashEntry);
}

bool allocateHashTables(std::int64_t kilobytes) {
    freeHashTables();
    ttShift   = ttShiftForSize(kilobytes);
    hashTable = static_cast<HashEntry*>(std::calloc(hashTableBytes(), 1));
    if (!hashTable) return false;
    qsHashTable = static_cast<HashEntry*>(std::calloc(QS_HASH_BUCKETS * 2, sizeof(HashEntry)));
    return true;
}

void freeHashTables() {
    std::free(hashTable);
    std::free(qsHashTable);
    hashTable   = nullptr;
    qsHashTable = nullptr;
}

void clearHashTables() {
    if (hashTable) std::memset(hashTable, 0, hashTableBytes());
    if (qsHashTable) std::memset(qsHashTable, 0, QS_HASH_BUCKETS * 2 * sizeof(HashEntry));
}
