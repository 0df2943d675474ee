// tablebase/indexing.h: the index of a position inside its table. The board is
// turned by symmetry so that a reference king lies in a small region, the two
// kings get one pair number, and every other man is numbered by its rank among
// the squares it may hold; the index layout is the file format, so it never changes.
#pragma once
#include <cstdint>

// Tablebase squares run a1 = 0 ... h8 = 63 (the engine's square XOR 56);
// types 1 pawn .. 5 queen (the engine's type + 1).
constexpr std::uint32_t TB_NO_EP = 127;

// Piece list of one side: entry (t - 1) * 3 + i holds the square of the
// side's (i + 1)-th man of type t; entry 15 the king. Unused entries are not read.
constexpr int TB_KING_ENTRY = 15;

// Index routine: first list = the side named first in the record's name;
// epSquare in tablebase numbering or TB_NO_EP; inverted = 1 when the real
// colours are exchanged against the table. initIndexTables() (below) must
// have run once before the first call. Indices of legal positions are
// below the record's positionCount (catalogue.h); other set-ups may give
// any index.
using IndexRoutine = std::uint32_t (*)(const std::uint32_t* first, const std::uint32_t* second,
                                       std::uint32_t epSquare, std::uint32_t inverted);

// Enumeration types: 0 a "free" pawn that may attack the key king, 1 pawn,
// 2 knight, 3 bishop, 4 rook, 5 queen.
constexpr int TB_ENUM_TYPES = 6;

// Two ways of numbering king pairs: with pawns only files may be mirrored
// (reference king on files a-d), without pawns all eight symmetries are used
// (reference king in the a1-d1-d4 triangle).
constexpr int TB_PAWN_KIND  = 0;
constexpr int TB_PIECE_KIND = 1;
constexpr int TB_PAWN_PAIRS  = 1806;
constexpr int TB_PIECE_PAIRS = 462;
constexpr std::int16_t TB_NO_PAIR = 4000;    // king pair no table uses
constexpr std::uint8_t TB_NO_RANK = 255;     // square not numbered in an enumeration

struct IndexGeometry {
    // [kind][reference king][other king], normalised squares: pair number or TB_NO_PAIR.
    std::int16_t kingPair[2][64][64];
    // [type][key king][square]: the square's number among the squares a man of
    // that type may hold beside the key king (the king it must not touch), or TB_NO_RANK.
    std::uint8_t rank[TB_ENUM_TYPES][64][64];
    std::uint8_t count[TB_ENUM_TYPES][64];  // numbered squares per type and key king
    // Pawnless normalisation of raw squares: symmetry 0..7 (bits 0-1 pick the
    // mask 0, 7, 56, 63; bit 2 the reflection in the a1-h8 diagonal after it) by
    // [reference king][other king], the squares each symmetry maps to, and the
    // pair number of the normalised kings.
    std::uint8_t pieceSymmetry[64][64];
    std::uint8_t symmetricSquare[8][64];
    std::int16_t pieceKingPair[64][64];
};
extern const IndexGeometry indexGeometry;

// Running totals over the king pairs before each pair (index [kind][types...][pair]):
// positions of one, two or three men of the given types (t >= u >= v) beside that
// pair, each man ranked keyed by the other king and not on the reference king.
// Filled by initIndexTables; only t >= u >= v entries are meaningful. The extra
// last entry (0) is what kings on or beside each other read, so that such a
// set-up gives a wrong index but never a read outside the tables.
constexpr int TB_PAIR_SLOTS = TB_PAWN_PAIRS + 1;
extern std::uint32_t oneManOffset[2][TB_ENUM_TYPES][TB_PAIR_SLOTS];
extern std::uint32_t twoManOffset[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_PAIR_SLOTS];
extern std::uint32_t threeManOffset[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_PAIR_SLOTS];
// The same sums over all pairs of the kind.
extern std::uint32_t oneManTotal[2][TB_ENUM_TYPES];
extern std::uint32_t twoManTotal[2][TB_ENUM_TYPES][TB_ENUM_TYPES];
extern std::uint32_t threeManTotal[2][TB_ENUM_TYPES][TB_ENUM_TYPES][TB_ENUM_TYPES];

// Builds the offset tables once; later calls (from any thread) return at once.
// Must run before the first index routine.
void initIndexTables();

// The index routine of every record: SIDE is the side to move in table terms
// (0 the first-named side), F1 >= F2 >= F3 the first side's men and S1 >= S2
// the second side's, as types 1 pawn .. 5 queen, 0 for none. The lists and the
// en-passant square follow IndexRoutine above. Squares must be 0..63.
// Only legal positions (kings apart, one man a square, pawns on ranks 2-7, the
// side not to move not in check) are sure to get an index below the position
// count; anything else gets some index, never a read outside the tables.
template <int SIDE, int F1, int F2, int F3, int S1, int S2>
std::uint32_t indexPosition(const std::uint32_t* first, const std::uint32_t* second,
                            std::uint32_t epSquare, std::uint32_t inverted);
