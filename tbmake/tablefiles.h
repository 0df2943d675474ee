// tbmake/tablefiles.h: finished tables in a directory as the maker reads
// them: the records a command names, whole files, sides kept only compressed
// read through the engine's own reader, and single values by position.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "tbmake/tbposition.h"

// The records named on a command line ("DIR [NAME...]"), each one of the
// ordinals 1 .. last (TB_LAST_FOUR_MAN or TB_LAST_FIVE_MAN, catalogue.h);
// every 3- and 4-man record when the list is empty. False with the first
// name that is no such record in `unknown`.
bool recordsNamed(const std::vector<std::string>& names, int last, std::vector<int>& ordinals, std::string& unknown);

// Bytes of one side's uncompressed file: its catalogue count, twice that
// for a record of two-byte values.
std::uint64_t sideBytesOf(int ordinal, int side);

// The file at `path`, which must hold exactly `bytes` bytes, into `out`.
// False with the reason: "cannot open PATH", "cannot read PATH" or
// "PATH holds N bytes, not M".
bool readWholeFile(const std::string& path, std::uint64_t bytes, std::uint8_t* out, std::string& reason);

// What readThroughEngine found.
constexpr int ENGINE_READ_WHOLE = 1;
constexpr int ENGINE_NO_FILE    = 0;   // reason "no file found"
constexpr int ENGINE_REFUSED    = -1;  // reason: the reader's own line, without its newline
constexpr int ENGINE_BAD_BLOCK  = -2;  // reason: "block N does not read back as written"
// The `bytes` bytes of one record side registered from the directory, read
// block by block through the engine's reader past its cache, exactly as a
// probe sees them. Forgets every registered table file of the engine before
// and after.
int readThroughEngine(const std::string& directory, int ordinal, int side, std::uint64_t bytes, std::uint8_t* out,
                      std::string& reason);

// The whole of one file side (ordinal, 0 or 1) found in the directory: the
// uncompressed file when there is one, else the compressed one through the
// engine's reader. False when neither can be read whole, with the reason in
// `problem` when given (else the reader's refusal is printed on stderr).
bool readTableSide(const std::string& directory, int ordinal, int side, std::vector<std::int8_t>& out,
                   std::string* problem = nullptr);

// Table values read from files in one directory. A value is the stored
// signed byte from the side to move's view; kings alone are a draw (0).
// Returns false when the table is missing or the index is out of range.
bool setTableDirectory(const std::string& directory);
bool lookUpTbValue(const TbPosition& p, int& value);
// The index of a position in its table (record and side chosen the way the
// engine's probe chooses them); false when the material has no record.
bool indexOfPosition(const TbPosition& p, int& ordinal, int& fileSide, std::uint32_t& index);
// The same from a position's piece lists (pieceListsOf), its record, the
// colour the record names first and the table side (side to move ^ first).
std::uint32_t indexFromLists(int ordinal, int first, int tableSide, const std::uint32_t lists[2][16],
                             std::uint8_t epSquare);
// The record of a material (counts by colour and type, materialOf), or -1
// when none has it; `first` is 1 when the record names colour 1 first.
int recordOfMaterial(const std::uint8_t counts[2][5], int& first);
// The bytes of a loaded file side (the table must have been looked up).
const std::int8_t* tableBytes(int ordinal, int fileSide);
// Whether a file side of the directory reads whole (loading it if need be);
// if not, why.
bool tableSideReads(int ordinal, int fileSide, std::string& problem);
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
