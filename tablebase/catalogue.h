// tablebase/catalogue.h: the 179 material combinations that can have tables,
// with their index routines and position counts. The catalogue is constant:
// which files were found for a record is kept by the files module.
#pragma once
#include <cstdint>

constexpr int TB_RECORDS = 179;

// flags
constexpr std::uint32_t TB_SYMMETRIC = 1;  // both sides alike: one .nbw file serves both
constexpr std::uint32_t TB_TWO_BYTE  = 2;  // two bytes per position

// Tablebase squares run a1 = 0 ... h8 = 63 (the engine's square XOR 56);
// types 1 pawn .. 5 queen (the engine's type + 1).
constexpr std::uint32_t TB_NO_EP = 127;

// Piece list of one side: entry (t - 1) * 3 + i holds the square of the
// side's (i + 1)-th man of type t; entry 15 the king. Unused entries are not read.
constexpr int TB_KING_ENTRY = 15;

// Index routine: first list = the side named first in the record's name;
// epSquare in tablebase numbering or TB_NO_EP; inverted = 1 when the real
// colours are exchanged against the table. initIndexTables() (indexing.h)
// must have run once before the first call. Indices of legal positions are
// below the record's positionCount; other set-ups may give any index.
using IndexRoutine = std::uint32_t (*)(const std::uint32_t* first, const std::uint32_t* second,
                                       std::uint32_t epSquare, std::uint32_t inverted);

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
