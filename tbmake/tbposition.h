// tbmake/tbposition.h: the table maker's small position of at most five men,
// its geometry and its own forward move generator, shared by the generator
// and the verifier. Squares here are tablebase squares (a1 = 0, h8 = 63);
// white pawns go up.
#pragma once
#include <cstdint>
#include <string>

constexpr int TBC_MAX_MEN = 5;
constexpr std::uint8_t TBC_GONE = 64;      // square of a captured man
constexpr std::uint8_t TBC_NO_EP = 127;    // same as the catalogue's TB_NO_EP
constexpr std::uint8_t TBC_KING = 5;       // types 0 pawn .. 4 queen, 5 king

// Man 0 is the first side's king, man 1 the second side's; colour 0 is the
// side named first in the record (white in the record's own orientation).
struct TbPosition {
    std::uint8_t square[TBC_MAX_MEN];
    std::uint8_t type[TBC_MAX_MEN];
    std::uint8_t colour[TBC_MAX_MEN];
    std::uint8_t men;       // slots in use (captured men keep their slot, square TBC_GONE)
    std::uint8_t toMove;    // colour to move
    std::uint8_t epSquare;  // square passed over by the last double push, or TBC_NO_EP
};

// One legal move. A double push that lands beside an enemy pawn sets the
// en-passant square of the successor; any other move clears it.
struct TbMove {
    std::uint8_t man;        // slot of the moving man
    std::uint8_t to;
    std::uint8_t promotion;  // new type, or 0 for none
    std::uint8_t captured;   // slot of the captured man, or 255
};

constexpr int TBC_MAX_MOVES = 128;

// Geometry filled by initTbCore: the squares a king or a knight reaches from
// each square, and the eight ray directions as (file, rank) steps, the
// rook's four first.
extern std::uint64_t tbKingMask[64];
extern std::uint64_t tbKnightMask[64];
extern const int     tbRayStep[8][2];

void initTbCore();  // geometry and index tables; call once before anything below

std::uint64_t occupancyOf(const TbPosition& p);
bool isAttackedBy(const TbPosition& p, int square, int colour, std::uint64_t occupancy);
bool isInCheck(const TbPosition& p, int colour);
// Legal moves of the side to move; returns their number.
int  generateTbMoves(const TbPosition& p, TbMove* moves);
// Only a board whose kings share a long diagonal (a1-h8 or a8-h1) can be its
// own mirror image in a diagonal: the cheap test in front of the full one.
bool kingsShareLongDiagonal(int a, int b);
// The legal moves split for the generator's set-up: those that leave the
// table (captures and promotions) listed in `exits`, the others only
// counted in `stays`. False, with nothing filled, for the positions that
// need every move looked at: in check, a pin, an en-passant square, or with
// `mirrorKings` (a pawnless table) kings that share or can come to share a
// long diagonal, where a move may lead to a board that is its own mirror
// image.
bool splitTbMoves(const TbPosition& p, bool mirrorKings, TbMove* exits, int& exitCount, int& stays);
TbPosition applyTbMove(const TbPosition& p, const TbMove& m);
// Whether a move keeps the material (neither capture nor promotion).
inline bool staysInTable(const TbMove& m) { return m.captured == 255 && m.promotion == 0; }

// FEN text of a position (no castling, move counters 0 1); 100 chars suffice.
void writeTbFen(const TbPosition& p, char* out);

// Men per type (0 pawn .. 4 queen) of each colour; 'name' gets the record
// name with colour 0 first (which may not be a catalogue name).
void materialOf(const TbPosition& p, std::uint8_t counts[2][5]);
std::string materialName(const std::uint8_t first[5], const std::uint8_t second[5]);
// The index routines' piece lists (indexing.h) of both colours; entries of
// men a list lacks are left as they are. 'entryOf', when given, gets each
// man's entry in its colour's list.
void pieceListsOf(const TbPosition& p, std::uint32_t lists[2][16], std::uint8_t* entryOf = nullptr);
