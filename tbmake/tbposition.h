// tbmake/tbposition.h: what the table generator and the verifier share: a small
// position of at most five men with its own forward move generator, and
// value look-ups in table files through the catalogue's index routines.
// Squares here are tablebase squares (a1 = 0, h8 = 63); white pawns go up.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

void initTbCore();  // geometry tables; call once before anything below

std::uint64_t occupancyOf(const TbPosition& p);
bool isAttackedBy(const TbPosition& p, int square, int colour, std::uint64_t occupancy);
bool isInCheck(const TbPosition& p, int colour);
// Legal moves of the side to move; returns their number.
int  generateTbMoves(const TbPosition& p, TbMove* moves);
TbPosition applyTbMove(const TbPosition& p, const TbMove& m);
// Whether a move keeps the material (neither capture nor promotion).
inline bool staysInTable(const TbMove& m) { return m.captured == 255 && m.promotion == 0; }

// FEN text of a position (no castling, move counters 0 1); 100 chars suffice.
void writeTbFen(const TbPosition& p, char* out);

// Men per type (0 pawn .. 4 queen) of each colour; 'name' gets the record
// name with colour 0 first (which may not be a catalogue name).
void materialOf(const TbPosition& p, std::uint8_t counts[2][5]);
std::string materialName(const std::uint8_t first[5], const std::uint8_t second[5]);

// Table values read from files in one directory. A value is the stored
// signed byte from the side to move's view; kings alone are a draw (0).
// Returns false when the table is missing or the index is out of range.
bool setTableDirectory(const std::string& directory);
bool lookUpTbValue(const TbPosition& p, int& value);
// The index of a position in its table (record and side chosen the way the
// engine's probe chooses them); false when the material has no record.
bool indexOfPosition(const TbPosition& p, int& ordinal, int& fileSide, std::uint32_t& index);
// The whole of one file side (ordinal, 0 or 1) found in the directory: the
// uncompressed file when there is one, else the compressed one through the
// engine's reader (which forgets every registered table file on the way).
// False when neither can be read whole.
bool readTableSide(const std::string& directory, int ordinal, int side, std::vector<std::int8_t>& out);
// The bytes of a loaded file side (the table must have been looked up).
const std::int8_t* tableBytes(int ordinal, int fileSide);
// Forget loaded tables (after a directory gains new files).
void forgetLoadedTables();

// Distance in plies from the side to move's view: a win in n moves is
// 2n - 1 plies, a loss in n moves 2n plies; far values saturate.
constexpr int TBC_PLY_FAR_WIN  = 253;
constexpr int TBC_PLY_FAR_LOSS = 254;
inline int pliesOfValue(int v) {
    if (v > 0) return 2 * (127 - v) - 1;
    if (v == -128) return TBC_PLY_FAR_WIN;
    if (v == -127) return TBC_PLY_FAR_LOSS;
    return 2 * (v + 126);
}
// The stored byte for a distance in plies (odd: a win, even: a loss).
inline int valueOfPlies(int plies) {
    if (plies & 1) {
        const int n = (plies + 1) / 2;
        return n <= 126 ? 127 - n : -128;
    }
    const int n = plies / 2;
    return n <= 125 ? -126 + n : -127;
}
