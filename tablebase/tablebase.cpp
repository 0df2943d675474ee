// tablebase/tablebase.cpp: placeholder until the tablebase files are read.
#include "tablebase/tablebase.h"

int egtbMaxPieces = -1;

bool probeTablebase(std::int16_t*) { return false; }
