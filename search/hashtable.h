// search/hashtable.h: the transposition table and the quiescence table.
// Both are allocated once at start-up; the callers apply their own probe
// and store variants. Entries hold scores exactly as searched.
#pragma once
#include <cstdint>
#include "board/types.h"

constexpr std::uint8_t HASH_EXACT       = 1;
constexpr std::uint8_t HASH_LOWER       = 2;  // failed high: score is a lower bound
constexpr std::uint8_t HASH_UPPER       = 4;  // failed low: score is an upper bound
constexpr std::uint8_t HASH_MATE_THREAT = 8;  // main table: the null move met a mate threat

// Packed move: bits 0-11 from and to squares, bits 12-14 promotion type.
struct HashEntry {
    std::uint32_t lockHigh;  // high half of hashKey
    std::uint16_t lockLow;   // low 16 bits of hashKey
    std::uint16_t move;
    std::int16_t  score;
    std::int16_t  age;       // searchGamePly when written
    std::int8_t   depth;     // remaining depth, plies (main table only)
    std::uint8_t  flags;
    std::uint8_t  padding[2];
};
static_assert(sizeof(HashEntry) == 16);

constexpr int HASH_BUCKET_ENTRIES = 3;
constexpr int QS_HASH_BUCKETS     = 2048;  // of two entries: 64 KB

extern HashEntry*   hashTable;    // 2^(32 - ttShift) buckets of three entries, or nullptr
extern HashEntry*   qsHashTable;  // QS_HASH_BUCKETS buckets of two entries, or nullptr
extern std::uint8_t ttShift;      // bucket = low half of hashKey >> ttShift

// Stored moves keep from, to and promotion only; classifyMove restores flags.
constexpr std::uint16_t packMove(Move m) { return std::uint16_t((m & 0xFFF) | ((m >> 16) & 7) << 12); }
constexpr Move          unpackMove(std::uint16_t m) { return Move(m & 0xFFF) | Move((m >> 12) & 7) << 16; }

// Main table. The probe looks at all three entries of the bucket.
HashEntry* probeMainTable();
// Store at the end of a search node (d plies; keepMoveOnFailLow: the value
// is at or below alpha, so a stored move for this position stays).
void storeMainTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow);
// Store after a null move failed high, into the probed entry or else e2.
void storeNullMove(HashEntry* probed, int depth, int score, std::uint8_t flags);
HashEntry* probeRootTable();  // e0, then only the entry the key's parity picks
void       storeRootTable(int depth, int score, std::uint8_t flags, Move move, bool keepMoveOnFailLow);
// Quiescence table: two entries a bucket, no depth or age.
HashEntry* probeQuiescenceTable();
void       storeQuiescenceTable(int score, std::uint8_t flags, Move move);

// Bucket count for a TT_SIZE in kilobytes (below 48 means the default).
std::uint8_t  ttShiftForSize(std::int64_t kilobytes);
std::uint64_t hashTableBytes();  // main table size for the current ttShift
// Allocates both tables (the quiescence one only if the main one fitted).
bool allocateHashTables(std::int64_t kilobytes);
void freeHashTables();
void clearHashTables();
// The evaluation's phase for the current position (setEvaluationPhase);
// a change of phase clears both tables, whose scores used the old weights.
void updateEvaluationPhase();
