// tablebase/tablebase.cpp: placeholder until the tablebase files are read.
#include "tablebase/tablebase.h"

int         egtbMaxPieces = -1;
char        egtbPath[256];
std::int8_t egtbCacheSizeLog = 10;

void initTablebases() { egtbMaxPieces = -1; }

bool probeTablebase(std::int16_t*) { return false; }
