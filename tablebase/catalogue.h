// tablebase/catalogue.h: the 179 material combinations that can have tables,
// with their index routines and position counts. The catalogue is constant:
// which files were found for a record is kept by the files module.
#pragma once
#include <cstdint>
#include "tablebase/indexing.h"

constexpr int TB_RECORDS = 179;
// Records run by men: 1 .. 5 three men, 6 .. 35 four, 36 .. 145 five, then six.
constexpr int TB_LAST_THREE_MAN = 5;
constexpr int TB_LAST_FOUR_MAN  = 35;
constexpr int TB_LAST_FIVE_MAN  = 145;

// flags
constexpr std::uint32_t TB_SYMMETRIC = 1;  // both sides alike: one .nbw file serves both
constexpr std::uint32_t TB_TWO_BYTE  = 2;  // two bytes per position

struct TablebaseRecord {
    std::uint32_t ordinal;
    std::uint32_t flags;
    IndexRoutine  indexRoutine[2];   // [side to move]: 0 white (first side), 1 black
    char          name[8];           // "kqkr": strong side's men, then the weak side's
    std::uint32_t positionCount[2];  // index range per side to move
};

extern const TablebaseRecord tablebaseCatalogue[TB_RECORDS];

// Ordinal of the record with this name, or -1.
int findTablebaseRecord(const char* name);
// Men per type (index 0 pawn .. 4 queen) of the first and the second side of a record.
void recordMaterial(int ordinal, std::uint8_t first[5], std::uint8_t second[5]);
