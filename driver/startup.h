// driver/startup.h: configuration file, table allocation and the banner.
#pragma once
#include <cstdint>
#include <cstdio>

// Reads brix.cfg-style settings (PONDER, LEARN, RESIGN, TT_SIZE,
// EGTB_PATH, EGTB_CACHE_SIZE) from an open file.
void readConfig(std::FILE* file);
extern std::uint64_t configuredTableKb;  // TT_SIZE as read, before clamping

// Appends the digit of an invocation name like "brix2" to engineName; only
// the file name counts, not the directories before it.
void applyNameDigit(const char* argv0);

// Allocates the three hash tables; false when memory ran out.
bool initApp();
// Reallocates the transposition table at about kb KB, clamped and halved
// like the start-up size until it fits; false when nothing fitted.
bool resizeHashTables(std::uint64_t kb);
void printBanner();
void freeTables();
