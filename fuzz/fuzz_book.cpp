// fuzz/fuzz_book.cpp: a damaged or hostile BrixBook.bin. The book is opened,
// listed (bk), followed for a few moves, learned from, scored by a shallow
// search and merged with a copy of itself, which touches every way the
// engine reads and writes the file in place.
//
// Input layout. A real book is 128 KB of index before its first record, and
// nearly all index slots are empty, so the input holds only the slots in
// use and the rest of the file is built around them:
//   byte 0       options: bit 0 merge replacing, bits 1-2 game result
//                (0 loss, 1 draw, else win for white)
//   bytes 1-2    n, the number of index entries that follow (LE)
//   n x 6 bytes  slot (LE u16, low 15 bits), file offset (LE u32)
//   the rest     the file from offset 131072 on (the buckets)
// Every slot not named holds 0xFFFFFFFF, as in a book the engine writes.
#include <cstring>
#include <vector>
#include "board/makemove.h"
#include "board/rules.h"
#include "board/notation.h"
#include "board/position.h"
#include "book/book.h"
#include "book/bookfile.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr const char* OTHER_BOOK = "other.bin";
constexpr int         MIN_GAME_PLIES = 16;  // the game played before learning

std::vector<std::uint8_t> bookFromInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(BOOK_INDEX_BYTES, 0xFF);
    if (size < 3) return file;
    std::size_t entries = std::size_t(data[1]) | std::size_t(data[2]) << 8;
    std::size_t at      = 3;
    if (entries > (size - at) / 6) entries = (size - at) / 6;
    for (std::size_t i = 0; i < entries; ++i, at += 6) {
        const std::size_t slot = (std::size_t(data[at]) | std::size_t(data[at + 1]) << 8) & (BOOK_INDEX_SLOTS - 1);
        std::memcpy(&file[4 * slot], data + at + 2, 4);
    }
    file.insert(file.end(), data + at, data + size);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInput scope;
    closeBook();
    const std::uint8_t              options = size > 0 ? data[0] : 0;
    const std::vector<std::uint8_t> file    = bookFromInput(data, size);
    if (!writeScratchFile(BOOK_FILE_NAME, file.data(), file.size()) ||
        !writeScratchFile(OTHER_BOOK, file.data(), file.size()))
        fuzzFailure("scratch file", "cannot write the book");
    if (!openBook()) return 0;

    // 1. The listing, then a game that follows the book while it can.
    probeBook(true);
    // Learning needs a few moves after the last book move.
    while (gamePly < MIN_GAME_PLIES || (gamePly < lastBookPly + 8 && gamePly < MAX_GAME_PLIES / 8)) {
        ply             = 0;
        const Move book = probeBook(false);
        const Move move = book ? book : firstLegalMove();
        if (!move) break;
        if (book) lastBookPly = gamePly;
        if (!makeMove(move)) fuzzFailure("book move refused", moveToCoord(move));
        ply = 0;
    }

    // 2. Learning from its result, at a slow enough time control.
    const int result = ((options >> 1) & 3) == 0 ? -1 : ((options >> 1) & 3) == 1 ? 0 : 1;
    const std::int16_t scores[5] = {-120, 35, 210, -40, 90};
    setClockControl(0, 100000, 0);
    engineOptions |= OPTION_COMPUTER_OPPONENT;
    learnFromResult(lastBookPly, scores, result);

    // 3. Scoring every book position by a 1-ply search, then merging.
    newGame();
    scoreBook(1);
    newGame();
    mergeBook(OTHER_BOOK, options & 1);
    probeBook(true);
    closeBook();
    return 0;
}
