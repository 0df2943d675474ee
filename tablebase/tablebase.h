// tablebase/tablebase.h: start-up of the endgame tablebases and the probe the
// search and the egtb command call. Scores share the search's mate scale:
// wins just below the search's own mate scores, never confused with them.
#pragma once
#include <cstdint>

extern char        egtbPath[256];     // directories from EGTB_PATH, split at "," or ";"
extern std::int8_t egtbCacheSizeLog;  // block cache of 2^n KB, 5..20
// -1 before start-up; then the most men of any registered table (3..6), or 0
// when none was found or the cache could not be had.
extern int egtbMaxPieces;

// Registers the tables of egtbPath and allocates the block cache. Does
// nothing once egtbMaxPieces is 0 or more, or when the path is empty.
void initTablebases();

// True when the current position (side to move included) is in the tables;
// *score is then 0 for a draw, positive when the side to move wins.
bool probeTablebase(std::int16_t* score);

// The material tree's leaf for ten men counts (white pawns .. queens, then
// black's): +ordinal, -ordinal with the colours exchanged against the record,
// 0 for no registered table or a material outside the tree.
int materialLeaf(const std::uint8_t counts[10]);
