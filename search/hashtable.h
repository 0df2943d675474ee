// search/hashtable.h: the transposition table and the quiescence table.
// Both are allocated once at start-up and shared by the search threads: an
// entry's two words are read and written whole, and a probe hands back a copy.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr std::uint8_t HASH_EXACT       = 1;
constexpr std::uint8_t HASH_LOWER       = 2;  // failed high: score is a lower bound
constexpr std::uint8_t HASH_UPPER       = 4;  // failed low: score is an upper bound
constexpr std::uint8_t HASH_MATE_THREAT = 8;  // main table: the null move met a mate threat

// An entry as stored. data, bits 0-15 move (packed: bits 0-11 from and to
// squares, bits 12-14 promotion type), 16-31 score, 32-47 age (searchGamePly
// when written), 48-55 depth (remaining plies, main table only), 56-63 flags.
// check is the lock (hashKey with bits 16-31 cleared: its high half and low
// 16 bits) XOR data, so an entry whose words come from two different writes
// fails the lock test instead of lending one position another's score.
// The words are plain integers that only the atomic built-ins in
// hashtable.cpp touch, so calloc and memset still make and clear the tables.
struct HashEntry {
    std::uint64_t check;
    std::uint64_t data;
};
static_assert(sizeof(HashEntry) == 16);

// A probe's copy of the entry that matched, unpacked.
struct HashHit {
    std::uint16_t move;   // packed as in the entry; 0: none
    std::int16_t  score;
    std::int16_t  age;
    std::int8_t   depth;  // plies
    std::uint8_t  flags;
    std::uint8_t  slot;   // its place in the bucket, for storeNullMove
};

constexpr int HASH_BUCKET_ENTRIES = 3;
constexpr int QS_HASH_BUCKETS     = 2048;  // of two entries: 64 KB

extern HashEntry*   hashTable;    // 2^(32 - ttShift) buckets of three entries, or nullptr
extern HashEntry*   qsHashTable;  // QS_HASH_BUCKETS buckets of two entries, or nullptr
extern std::uint8_t ttShift;      // bucket = low half of hashKey >> ttShift

// Stored moves keep from, to and promotion only; classifyMove restores flags.
constexpr std::uint16_t packMove(Move m) { return std::uint16_t((m & 0xFFF) | ((m >> 16) & 7) << 12); }
constexpr Move          unpackMove(std::uint16_t m) { return Move(m & 0xFFF) | Move((m >> 12) & 7) << 16; }

// Probes fill *hit and return true when an entry holds the position.
// Main table: the probe looks at all three entries of the bucket.
bool probeMainTable(HashHit* hit);
// Store at the end of a search node (d plies; keepMoveOnFailLow: the value
// is at or below alpha, so a stored move for this position stays).
void storeMainTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow);
// Store after a null move failed high, into the probed entry's slot (as it
// stands now) or, with nullptr, e2.
void storeNullMove(const HashHit* probed, int depth, int score, std::uint8_t flags);
bool probeRootTable(HashHit* hit);  // e0, then only the entry the key's parity picks
void storeRootTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow);
// Quiescence table: two entries a bucket, no depth or age.
bool probeQuiescenceTable(HashHit* hit);
void storeQuiescenceTable(int score, std::uint8_t flags, Move move);

// Bucket count for a TT_SIZE in kilobytes (below 48 means the default).
std::uint8_t  ttShiftForSize(std::int64_t kilobytes);
std::uint64_t hashTableBytes();  // main table size for the current ttShift
// Allocates both tables (the quiescence one only if the main one fitted).
bool allocateHashTables(std::int64_t kilobytes);
void freeHashTables();
void clearHashTables();  // only while no search runs
// Permille of the main table written by the current search, from its
// first thousand entries.
int hashFullPermille();
// The evaluation's phase for the current position (setEvaluationPhase);
// a change of phase clears both tables, whose scores used the old weights.
void updateEvaluationPhase();
