// eval/pawns.h: pawn structure, cached per pawn configuration in the pawn
// hash table, plus the per-call passed-pawn pass (blockers, king distances,
// the pawn race) and the king shelter filled lazily into the cache.
#pragma once
#include <cstdint>
#include "board/types.h"

// Shelter slots: [0] white king on files f-h, [1] a-c, [2] d-e; [3..5] the
// same for black. 255 = not computed yet. The d-e slots hold the king file's
// parity (1: d-file) in bit 7 and the penalty in bits 0-6.
struct PawnHashEntry {
    std::uint32_t key;  // full pawnKey
    std::int16_t  score;  // structure score, white's view
    std::uint8_t  shelter[6];
    std::uint8_t  whiteBackwardFiles;  // bit f: file f holds a backward pawn
    std::uint8_t  blackBackwardFiles;
    std::uint8_t  whitePassedFiles;    // bit f: file f holds a passed pawn
    std::uint8_t  blackPassedFiles;
};
static_assert(sizeof(PawnHashEntry) == 16);

constexpr int PAWN_HASH_ENTRIES = 8192;  // 128 KB, index = pawnKey & 8191

extern THREAD_STATE PawnHashEntry* pawnHashTable;  // allocated at start-up

// Phase-dependent weights (loaded by setEvaluationPhase).
struct PawnWeights {
    int doubled, isolated, backward, weak, sideBySide, majority;
    int passed[9];  // by the owner's rank 1..8
};
extern THREAD_STATE PawnWeights pawnWeights;

bool allocatePawnHashTable();
void freePawnHashTable();
void clearPawnHashTable();
void loadPawnWeights(int phase);  // 1 middlegame, 2 endgame

// The entry for the current pawnKey, filled on a miss (always replace).
PawnHashEntry& probePawnHash();
void           fillPawnEntry(PawnHashEntry& entry);  // recomputes unconditionally

bool isWeakPawnWhite(int fileIndex, int row);
bool isWeakPawnBlack(int fileIndex, int row);
int  kingShelterFile(int fileIndex);  // one file's penalty for the white king
// Middlegame king terms (king square value minus shelter), filling the
// entry's shelter bytes on first use.
int evaluateWhiteKingShelter(int kingSq, PawnHashEntry& entry);
int evaluateBlackKingShelter(int kingSq, PawnHashEntry& entry);

int evaluatePassedPawns(const PawnHashEntry& entry);      // white's view, never cached
int evaluateBackwardFollowUps(const PawnHashEntry& entry);  // white's view
