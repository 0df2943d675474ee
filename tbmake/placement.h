// tbmake/placement.h: the generator's own position numbering. A placement
// index is (first king on files a-d, 32) x (second king, 64) x 64 per other
// man, men in the record's order; the left-right mirror brings every
// position there. An en-passant position stores its just-pushed pawn three
// ranks back (first side: rank 1, second: rank 8), squares no pawn can
// otherwise hold.
#pragma once
#include <cstdint>
#include <vector>
#include "tbmake/tbposition.h"

struct Placement {
    int           ordinal;
    std::uint8_t  men;
    std::uint8_t  type[TBC_MAX_MEN];
    std::uint8_t  colour[TBC_MAX_MEN];
    bool          enPassant;  // pawns on both sides
    std::uint64_t size;       // placement indices per side to move
};

void setUpPlacement(int ordinal, Placement& layout);
std::uint64_t encodePlacement(const Placement& layout, const TbPosition& p);
// False when the index holds no sensible board (men on one square, a pawn
// on its first or last rank, a malformed en-passant set-up).
bool decodePlacement(const Placement& layout, std::uint64_t index, int toMove, TbPosition& p);
// A decoded board is a position: the side not to move is not in check and,
// for an en-passant position, the double push came from a legal position.
bool isLegalPlacement(const TbPosition& p);
// The catalogue index of a position of this record (record orientation,
// colour 0 = first side) for the side given.
std::uint32_t fileIndexOf(int ordinal, int side, const TbPosition& p);
// Records reached by a capture or a promotion (each once; "kk" left out).
void subtablesOf(int ordinal, std::vector<int>& records);
