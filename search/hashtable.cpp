// search/hashtable.cpp: storage and sizing of the two search hash tables.
#include "search/hashtable.h"
#include <cstdlib>
#include <cstring>
#include "board/position.h"
#include "eval/evaluate.h"
#include "search/searchdata.h"

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

void updateEvaluationPhase() {
    if (setEvaluationPhase()) clearHashTables();
}

static inline bool holdsPosition(const HashEntry& e) {
    return e.lockLow == std::uint16_t(hashKey) && e.lockHigh == std::uint32_t(hashKey >> 32);
}
// An entry written k plies of the game ago counts as k plies shallower.
static inline int effectiveDepth(const HashEntry& e) { return e.depth + e.age - searchGamePly; }
static inline HashEntry* mainBucket() {
    return hashTable + std::size_t(std::uint32_t(hashKey) >> ttShift) * HASH_BUCKET_ENTRIES;
}

static void writeEntry(HashEntry& e, int depth, int score, std::uint8_t flags, Move move, bool keepMove) {
    e.lockHigh = std::uint32_t(hashKey >> 32);
    e.lockLow  = std::uint16_t(hashKey);
    if (!keepMove) e.move = packMove(move);
    e.score = std::int16_t(score);
    e.age   = searchGamePly;
    e.depth = std::int8_t(depth);
    e.flags = flags;
}

HashEntry* probeMainTable() {
    HashEntry* b = mainBucket();
    for (int i = 0; i < HASH_BUCKET_ENTRIES; ++i)
        if (holdsPosition(b[i])) return &b[i];
    return nullptr;
}

void storeMainTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow) {
    HashEntry* b = mainBucket();
    // e0 keeps the deepest recent result, e1 the next, e2 takes the rest.
    if (depth >= effectiveDepth(b[0])) {
        const bool same = holdsPosition(b[0]);
        if (!same) {
            b[2] = b[1];
            b[1] = b[0];
        }
        writeEntry(b[0], depth, score, flags, move, same && keepMoveOnFailLow);
    } else if (holdsPosition(b[0])) {
        if (depth >= b[0].depth) writeEntry(b[0], depth, score, flags, move, keepMoveOnFailLow);
    } else if (depth >= effectiveDepth(b[1])) {
        const bool same = holdsPosition(b[1]);
        if (!same) b[2] = b[1];
        writeEntry(b[1], depth, score, flags, move, same && keepMoveOnFailLow);
    } else if (holdsPosition(b[1])) {
        if (depth >= b[1].depth) writeEntry(b[1], depth, score, flags, move, keepMoveOnFailLow);
    } else {
        writeEntry(b[2], depth, score, flags, move, false);
    }
}

void storeNullMove(HashEntry* probed, int depth, int score, std::uint8_t flags) {
    HashEntry& e = probed ? *probed : mainBucket()[2];
    if (depth >= effectiveDepth(e) || (holdsPosition(e) && depth >= e.depth)) writeEntry(e, depth, score, flags, 0, false);
}

HashEntry* probeRootTable() {
    HashEntry* b = mainBucket();
    if (holdsPosition(b[0])) return &b[0];
    HashEntry& other = b[1 + ((hashKey >> 32) & 1)];
    return holdsPosition(other) ? &other : nullptr;
}

void storeRootTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow) {
    HashEntry* b    = mainBucket();
    const bool same = holdsPosition(b[0]);
    if (depth >= effectiveDepth(b[0]) || (same && depth >= b[0].depth)) {
        if (!same) b[1 + (b[0].lockHigh & 1)] = b[0];
        writeEntry(b[0], depth, score, flags, move, same && keepMoveOnFailLow);
        return;
    }
    HashEntry& s = b[1 + ((hashKey >> 32) & 1)];
    if (depth >= effectiveDepth(s) || (holdsPosition(s) && depth >= s.depth)) writeEntry(s, depth, score, flags, move, false);
}

static inline HashEntry* quiescenceBucket() {
    return qsHashTable + std::size_t((std::uint32_t(hashKey) >> 16) & (QS_HASH_BUCKETS - 1)) * 2;
}

HashEntry* probeQuiescenceTable() {
    HashEntry* b = quiescenceBucket();
    if (holdsPosition(b[0])) return &b[0];
    return holdsPosition(b[1]) ? &b[1] : nullptr;
}

void storeQuiescenceTable(int score, std::uint8_t flags, Move move) {
    HashEntry* b = quiescenceBucket();
    if (!holdsPosition(b[0])) b[1] = b[0];
    b[0].lockHigh = std::uint32_t(hashKey >> 32);
    b[0].lockLow  = std::uint16_t(hashKey);
    b[0].move     = packMove(move);
    b[0].score    = std::int16_t(score);
    b[0].flags    = flags;
}
