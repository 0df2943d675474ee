// tbmake/placement.h: the table maker's position numberings. The full one
// (the verifier's and the dumper's) puts the first king on files a-d by the
// left-right mirror and every other man on 64 squares. The folded one (the
// generator's) numbers each position once: the two kings are one of the
// pairs that can stand on a board, without pawns with the first king in the
// a1-d1-d4 triangle by all eight symmetries; like men (same type and colour)
// are one set; pawns take ranks 2-7. An en-passant position stores its
// just-pushed pawn three ranks back (first side: rank 1, second: rank 8),
// squares no pawn can otherwise hold.
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
    bool          folded;     // the generator's numbering
    bool          pawnless;   // folded by all eight symmetries
    std::uint8_t  groups;     // runs of like men from man 2 on (folded)
    std::uint8_t  groupFirst[TBC_MAX_MEN], groupSize[TBC_MAX_MEN];
    std::uint8_t  groupBase[TBC_MAX_MEN];   // lowest square a man of the group may hold
    std::uint8_t  groupSpan[TBC_MAX_MEN];   // squares from there: 64, 56 or 48
    std::uint32_t groupRadix[TBC_MAX_MEN];  // sets of the group: C(span, size)
    std::uint64_t size;       // placement indices per side to move
};

// Folded: the index of a board whose kings stand side by side.
constexpr std::uint64_t NO_PLACEMENT = ~std::uint64_t(0);

// The full numbering, or with `folded` the generator's.
void setUpPlacement(int ordinal, Placement& layout, bool folded = false);
std::uint64_t encodePlacement(const Placement& layout, const TbPosition& p);
// False when the index holds no sensible board (men on one square, a pawn
// on its first or last rank, a malformed en-passant set-up) or, folded, a
// board that another index stands for.
bool decodePlacement(const Placement& layout, std::uint64_t index, int toMove, TbPosition& p);
// A decoded board is a position: the side not to move is not in check and,
// for an en-passant position, the double push came from a legal position.
bool isLegalPlacement(const TbPosition& p);
// Whether a board of a pawnless folded record is its own image in a diagonal
// of the board: its folded index then stands for one board instead of two.
bool isOwnMirrorImage(const Placement& layout, const TbPosition& p);
// The board reflected in the a1-h8 diagonal.
TbPosition transposedPosition(const TbPosition& p);
// The catalogue index of a position of this record (record orientation,
// colour 0 = first side) for the side given.
std::uint32_t fileIndexOf(int ordinal, int side, const TbPosition& p);
// Records reached by a capture or a promotion (each once; "kk" left out).
void subtablesOf(int ordinal, std::vector<int>& records);
// The same with the file sides the moves out of the table read: sides[k]
// has bit 2 x c + f when a move of colour c reads file side f of records[k]
// (0 the .nbw, 1 the .nbb; a symmetric record has only the first). A
// colour's captures and promotions all leave the other to move, so each
// colour reads one side of each record it leads to.
void subtableSidesOf(int ordinal, std::vector<int>& records, std::vector<std::uint8_t>& sides);
