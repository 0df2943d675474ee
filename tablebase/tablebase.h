// tablebase/tablebase.h: endgame tablebase probing. Not built yet: no
// tablebases are ever found, so egtbMaxPieces stays -1.
#pragma once
#include <cstdint>

extern int egtbMaxPieces;  // largest number of men with tables found; -1: none

// True when the position is in the tablebases; *score is then 0 for a draw,
// positive when the side to move wins (mate scale).
bool probeTablebase(std::int16_t* score);
// Looks for tablebase files in egtbPath; sets egtbMaxPieces.
void initTablebases();

extern char         egtbPath[256];     // directory list from the configuration
extern std::int8_t  egtbCacheSizeLog;  // cache of 2^n KB, 5..20
