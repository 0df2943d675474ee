// fuzz/fuzz_pgn.cpp: book creation from a PGN file. The input is the file;
// the book job reads it and writes BrixBook.bin into the scratch directory.
// A book it reports as written must then open, and each of its buckets must
// lie whole in the record area with real records, since the engine trusts
// its own books. The tools' PGN reader gets the same file.
#include <cstdio>
#include <string>
#include "board/makemove.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "book/bookfile.h"
#include "fuzz/fuzz_support.h"
#include "tools/pgn.h"

namespace {

constexpr const char* PGN_NAME = "games.pgn";

// Structure of the book just written; returns what is wrong, or "".
std::string checkWrittenBook() {
    std::FILE* file = std::fopen(BOOK_FILE_NAME, "rb");
    if (!file) return "no book file";
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    if (!openBook()) return "the book does not open";
    static BookRecord records[BOOK_BUCKET_LIMIT];
    std::string       fault;
    for (int s = 0; s < BOOK_INDEX_SLOTS && fault.empty(); ++s) {
        const std::uint32_t at = bookIndex[s];
        if (at == BOOK_EMPTY_SLOT) continue;
        int count = 0;
        if (at < std::uint32_t(BOOK_INDEX_BYTES) || !readBookBucket(bookFile, size, at, records, &count) || count == 0) {
            fault = "slot " + std::to_string(s) + ": bad bucket at " + std::to_string(at);
            break;
        }
        for (int i = 0; i < count; ++i)
            if (records[i].checkKey == 0 || records[i].frequency == 0) {
                fault = "slot " + std::to_string(s) + ": empty record " + std::to_string(i);
                break;
            }
    }
    closeBook();
    return fault;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInput scope;
    closeBook();
    std::remove(BOOK_FILE_NAME);
    if (!writeScratchFile(PGN_NAME, data, size)) fuzzFailure("scratch file", "cannot write the PGN");

    if (createBook(PGN_NAME)) {
        const std::string fault = checkWrittenBook();
        if (!fault.empty()) fuzzFailure("book written from PGN is unsound", fault);
    }

    // The tools' reader: every token is looked up, and played when legal.
    for (const auto& game : readPgnGames(PGN_NAME, 50)) {
        resetPosition();
        for (const std::string& token : game) {
            ply             = 0;
            const Move move = findSanMove(token);
            if (!move || gamePly >= MAX_GAME_PLIES - 1 || !makeMove(move)) break;
        }
    }
    ply = 0;
    return 0;
}
