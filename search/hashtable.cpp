// search/hashtable.cpp: storage and sizing of the two search hash tables,
// and the probe and store variants, which may run in several threads at once.
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
    if (qsHashTable) return true;
    freeHashTables();  // the search needs both
    return false;
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

// The lock bits of a key: its high half and its low 16 bits. Bits 16-31
// choose the bucket at the default size and are left out of the lock.
static constexpr std::uint64_t LOCK_MASK = 0xFFFFFFFF0000FFFF;

// Entries are shared by the search threads. Each word is read and written
// whole (relaxed: no order is needed, since a check word and a data word
// that do not belong together fail the lock test), and every decision is
// taken on one snapshot of the entry.
static inline HashEntry loadEntry(const HashEntry& e) {
    return {__atomic_load_n(&e.check, __ATOMIC_RELAXED), __atomic_load_n(&e.data, __ATOMIC_RELAXED)};
}
static inline void saveEntry(HashEntry& e, HashEntry v) {
    __atomic_store_n(&e.check, v.check, __ATOMIC_RELAXED);
    __atomic_store_n(&e.data, v.data, __ATOMIC_RELAXED);
}

static inline bool holdsPosition(HashEntry s, std::uint64_t lock) { return (s.check ^ s.data) == lock; }

// The signed fields go through unsigned types, so their sign bits come back
// by arithmetic rather than by an implementation-defined conversion.
static inline std::int16_t signed16(std::uint64_t bits) {
    const auto u = std::uint16_t(bits);
    return u < 0x8000 ? std::int16_t(u) : std::int16_t(int(u) - 0x10000);
}
static inline std::int8_t signed8(std::uint64_t bits) {
    const auto u = std::uint8_t(bits);
    return u < 0x80 ? std::int8_t(u) : std::int8_t(int(u) - 0x100);
}
static inline std::uint16_t entryMove(std::uint64_t data) { return std::uint16_t(data); }
static inline std::int16_t  entryScore(std::uint64_t data) { return signed16(data >> 16); }
static inline std::int16_t  entryAge(std::uint64_t data) { return signed16(data >> 32); }
static inline std::int8_t   entryDepth(std::uint64_t data) { return signed8(data >> 48); }
static inline std::uint8_t  entryFlags(std::uint64_t data) { return std::uint8_t(data >> 56); }

// An entry written k plies of the game ago counts as k plies shallower.
static inline int effectiveDepth(HashEntry s) { return entryDepth(s.data) + entryAge(s.data) - searchGamePly; }

static inline HashEntry* mainBucket() {
    return hashTable + std::size_t(std::uint32_t(hashKey) >> ttShift) * HASH_BUCKET_ENTRIES;
}

static inline void writeEntry(HashEntry& e, std::uint64_t lock, int depth, int score, std::uint8_t flags,
                              std::uint16_t move) {
    const std::uint64_t data = std::uint64_t(move) | std::uint64_t(std::uint16_t(score)) << 16 |
                               std::uint64_t(std::uint16_t(searchGamePly)) << 32 |
                               std::uint64_t(std::uint8_t(depth)) << 48 | std::uint64_t(flags) << 56;
    saveEntry(e, {lock ^ data, data});
}

static inline bool copyHit(HashEntry s, int slot, HashHit* hit) {
    hit->move  = entryMove(s.data);
    hit->score = entryScore(s.data);
    hit->age   = entryAge(s.data);
    hit->depth = entryDepth(s.data);
    hit->flags = entryFlags(s.data);
    hit->slot  = std::uint8_t(slot);
    return true;
}

bool probeMainTable(HashHit* hit) {
    const HashEntry*    b    = mainBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    for (int i = 0; i < HASH_BUCKET_ENTRIES; ++i) {
        const HashEntry s = loadEntry(b[i]);
        if (holdsPosition(s, lock)) return copyHit(s, i, hit);
    }
    return false;
}

void storeMainTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow) {
    HashEntry*          b    = mainBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     e0 = loadEntry(b[0]), e1 = loadEntry(b[1]);
    // A kept move is the snapshot's, which matched this position.
    const auto moveFor = [&](HashEntry s, bool keep) { return keep ? entryMove(s.data) : packMove(move); };
    // e0 keeps the deepest recent result, e1 the next, e2 takes the rest.
    if (depth >= effectiveDepth(e0)) {
        const bool same = holdsPosition(e0, lock);
        if (!same) {
            saveEntry(b[2], e1);
            saveEntry(b[1], e0);
        }
        writeEntry(b[0], lock, depth, score, flags, moveFor(e0, same && keepMoveOnFailLow));
    } else if (holdsPosition(e0, lock)) {
        if (depth >= entryDepth(e0.data)) writeEntry(b[0], lock, depth, score, flags, moveFor(e0, keepMoveOnFailLow));
    } else if (depth >= effectiveDepth(e1)) {
        const bool same = holdsPosition(e1, lock);
        if (!same) saveEntry(b[2], e1);
        writeEntry(b[1], lock, depth, score, flags, moveFor(e1, same && keepMoveOnFailLow));
    } else if (holdsPosition(e1, lock)) {
        if (depth >= entryDepth(e1.data)) writeEntry(b[1], lock, depth, score, flags, moveFor(e1, keepMoveOnFailLow));
    } else {
        writeEntry(b[2], lock, depth, score, flags, packMove(move));
    }
}

// The probed slot is judged by what it holds now: the null-move search below
// it may have replaced it, and then today's rule decides as for any entry.
void storeNullMove(const HashHit* probed, int depth, int score, std::uint8_t flags) {
    HashEntry&          e    = mainBucket()[probed ? probed->slot : 2];
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     s    = loadEntry(e);
    if (depth >= effectiveDepth(s) || (holdsPosition(s, lock) && depth >= entryDepth(s.data)))
        writeEntry(e, lock, depth, score, flags, 0);
}

bool probeRootTable(HashHit* hit) {
    const HashEntry*    b    = mainBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     e0   = loadEntry(b[0]);
    if (holdsPosition(e0, lock)) return copyHit(e0, 0, hit);
    const int       slot  = 1 + int((hashKey >> 32) & 1);
    const HashEntry other = loadEntry(b[slot]);
    return holdsPosition(other, lock) && copyHit(other, slot, hit);
}

void storeRootTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow) {
    HashEntry*          b    = mainBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     e0   = loadEntry(b[0]);
    const bool          same = holdsPosition(e0, lock);
    if (depth >= effectiveDepth(e0) || (same && depth >= entryDepth(e0.data))) {
        // The displaced entry goes to the slot its own key's parity picks.
        if (!same) saveEntry(b[1 + (((e0.check ^ e0.data) >> 32) & 1)], e0);
        writeEntry(b[0], lock, depth, score, flags, same && keepMoveOnFailLow ? entryMove(e0.data) : packMove(move));
        return;
    }
    HashEntry&      s    = b[1 + ((hashKey >> 32) & 1)];
    const HashEntry copy = loadEntry(s);
    if (depth >= effectiveDepth(copy) || (holdsPosition(copy, lock) && depth >= entryDepth(copy.data)))
        writeEntry(s, lock, depth, score, flags, packMove(move));
}

static inline HashEntry* quiescenceBucket() {
    return qsHashTable + std::size_t((std::uint32_t(hashKey) >> 16) & (QS_HASH_BUCKETS - 1)) * 2;
}

bool probeQuiescenceTable(HashHit* hit) {
    const HashEntry*    b    = quiescenceBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     e0   = loadEntry(b[0]);
    if (holdsPosition(e0, lock)) return copyHit(e0, 0, hit);
    const HashEntry e1 = loadEntry(b[1]);
    return holdsPosition(e1, lock) && copyHit(e1, 1, hit);
}

// Nothing in this table ever has a depth or age, so both stay 0.
void storeQuiescenceTable(int score, std::uint8_t flags, Move move) {
    HashEntry*          b    = quiescenceBucket();
    const std::uint64_t lock = hashKey & LOCK_MASK;
    const HashEntry     e0   = loadEntry(b[0]);
    if (!holdsPosition(e0, lock)) saveEntry(b[1], e0);
    const std::uint64_t data = std::uint64_t(packMove(move)) | std::uint64_t(std::uint16_t(score)) << 16 |
                               std::uint64_t(flags) << 56;
    saveEntry(b[0], {lock ^ data, data});
}

int hashFullPermille() {
    if (!hashTable) return 0;
    int used = 0;
    for (int i = 0; i < 1000; ++i) {
        const HashEntry e = loadEntry(hashTable[i]);
        used += e.data != 0 && entryAge(e.data) == searchGamePly;
    }
    return used;
}
