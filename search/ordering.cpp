// search/ordering.cpp: history and killer tables.
#include "search/ordering.h"
#include <cstring>

std::uint32_t historyTable[64][64];
Move          killerMoves[MAX_PLY][2];

void clearOrderingTables() {
    std::memset(historyTable, 0, sizeof historyTable);
    std::memset(killerMoves, 0, sizeof killerMoves);
}
