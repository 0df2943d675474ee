// book/maintain.cpp: scoring the book's positions by search, and merging
// scores and learning values from another book.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "game/state.h"
#include "io/console.h"
#include "search/settings.h"
#include "search/think.h"

namespace {

struct ScoringWalk {
    std::uint8_t* visited;  // one bit per 16-byte unit after the index
    long          units;    // bits in visited
    bool          failed;   // a score could not be written: the walk stops
    int           counter;
    long          total;    // records in the book, for the progress line
    int           depth;
};

// Everything a nested think overwrites, kept while it runs.
struct SavedGame {
    MoveEntry     moves[MOVE_STACK_SIZE];
    std::uint32_t first[MAX_PLY + 1];
    HistoryRecord history[MAX_GAME_PLIES];
    std::uint16_t checks[MAX_GAME_PLIES];
    std::int16_t  plies;
    std::uint8_t  searchPly, fifty;
};
SavedGame saved;

void scoreHere(ScoringWalk& walk, BookRecord& record, long offset) {
    std::memcpy(saved.moves, moveStack, sizeof saved.moves);
    std::memcpy(saved.first, firstMove, sizeof saved.first);
    std::memcpy(saved.history, gameHistory, sizeof saved.history);
    std::memcpy(saved.checks, checkState, sizeof saved.checks);
    saved.plies     = gamePly;
    saved.searchPly = ply;
    saved.fifty     = fiftyCount;
    // The position becomes the root of a fresh game.
    char fen[100];
    positionToFen(fen);
    newGame();
    setPositionFromFen(fen);
    // A damaged book can count fewer records than the walk meets.
    std::printf("\rScoring %d out of %ld", walk.counter, walk.total > walk.counter ? walk.total : long(walk.counter));
    std::fflush(stdout);
    think();
    // The end of input is no request to stop: a job run with its input at
    // its end (from cron, in CI) still scores the whole book. The search it
    // cut short runs again, without polling input that has nothing to say.
    if (stopRequest != STOP_NONE && inputClosed && inputPolling) {
        inputPolling = false;
        think();
    }
    gamePly    = saved.plies;
    ply        = saved.searchPly;
    fiftyCount = saved.fifty;
    std::memcpy(checkState, saved.checks, sizeof saved.checks);
    std::memcpy(moveStack, saved.moves, sizeof saved.moves);
    std::memcpy(firstMove, saved.first, sizeof saved.first);
    std::memcpy(gameHistory, saved.history, sizeof saved.history);
    if (stopRequest != STOP_NONE) return;
    record.scoredDepth = std::int8_t(walk.depth);
    record.searchScore = std::int8_t(lastScore < -128 ? -128 : lastScore > 127 ? 127 : lastScore);
    if (!writeBookRecord(record, offset)) walk.failed = true;
}

void scoreBookTree(ScoringWalk& walk) {
    // Book lines deeper than the search's plies are not followed.
    if (ply >= MAX_PLY - 2) return;
    generateAllMoves();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1] && stopRequest == STOP_NONE && !walk.failed; ++i) {
        if (!makeMove(moveStack[i].move)) continue;
        BookRecord record;
        long       offset;
        // The lookup only returns records of the record area, each with its bit.
        if (findBookRecord(&record, &offset) && offset >= BOOK_INDEX_BYTES &&
            (offset - BOOK_INDEX_BYTES) / BOOK_RECORD_BYTES < walk.units) {
            const long bit = (offset - BOOK_INDEX_BYTES) / BOOK_RECORD_BYTES;
            if (!(walk.visited[bit >> 3] & (1 << (bit & 7)))) {
                walk.visited[bit >> 3] = std::uint8_t(walk.visited[bit >> 3] | (1 << (bit & 7)));
                if (record.scoredDepth < walk.depth) scoreHere(walk, record, offset);
                ++walk.counter;
                scoreBookTree(walk);
            }
        }
        unmakeMove();
    }
}

// The records of the book's buckets by their counts, as far as each bucket
// lies in the file and the lookup reads it.
long countBookRecords(long fileSize) {
    long total = 0;
    for (int s = 0; s < BOOK_INDEX_SLOTS; ++s) {
        const long   at = bookIndex[s] == BOOK_EMPTY_SLOT ? -1 : long(bookIndex[s]);
        std::uint8_t raw[4];
        if (at < BOOK_INDEX_BYTES || at + 4 > fileSize || std::fseek(bookFile, at, SEEK_SET) != 0 ||
            std::fread(raw, 1, 4, bookFile) != 4)
            continue;
        const std::uint32_t count = std::uint32_t(raw[0]) | std::uint32_t(raw[1]) << 8 | std::uint32_t(raw[2]) << 16 |
                                    std::uint32_t(raw[3]) << 24;
        const long read = count > std::uint32_t(BOOK_BUCKET_LIMIT) ? BOOK_BUCKET_LIMIT : long(count);
        if (read <= (fileSize - at - 4) / BOOK_RECORD_BYTES) total += read;
    }
    return total;
}

}  // namespace

bool scoreBook(int depth) {
    if (!bookFile || std::fseek(bookFile, 0, SEEK_END) != 0) return false;
    const long size    = std::ftell(bookFile);
    const long records = (size - BOOK_INDEX_BYTES) / BOOK_RECORD_BYTES;
    if (records < 1) return false;
    ScoringWalk walk;
    walk.visited = static_cast<std::uint8_t*>(std::calloc(std::size_t(records / 8 + 2), 1));
    if (!walk.visited) return false;
    walk.units    = records;
    walk.failed   = false;
    walk.counter  = 1;
    walk.total    = countBookRecords(size);
    walk.depth    = std::int8_t(depth);
    engineOptions  = std::uint16_t(engineOptions & ~OPTION_POST);
    setFixedDepth(depth);
    ply            = 0;
    stopRequest    = STOP_NONE;
    const bool polling = inputPolling;
    scoreBookTree(walk);
    inputPolling = polling;
    std::free(walk.visited);
    if (walk.failed) std::fprintf(stderr, "Book scoring stopped: a score could not be written to %s\n", BOOK_FILE_NAME);
    return !walk.failed;
}

bool mergeBook(const char* sourcePath, bool replace) {
    if (!bookFile) {
        std::fprintf(stderr, "No book to merge into: %s is missing or unusable\n", BOOK_FILE_NAME);
        return false;
    }
    std::FILE* source = std::fopen(sourcePath, "rb");
    if (!source) {
        std::fprintf(stderr, "Cannot open source file '%s'\n", sourcePath);
        return false;
    }
    BookRecord* theirs = static_cast<BookRecord*>(std::malloc(sizeof(BookRecord) * BOOK_BUCKET_LIMIT));
    if (!theirs) {
        std::fprintf(stderr, "Not enough memory to merge books\n");
        std::fclose(source);
        return false;
    }
    std::fseek(source, 0, SEEK_END);
    const long sourceSize = std::ftell(source);
    std::fseek(bookFile, 0, SEEK_END);
    const long ownSize = std::ftell(bookFile);
    static BookRecord ours[BOOK_BUCKET_LIMIT];
    bool readable = sourceSize >= BOOK_INDEX_BYTES, written = true;
    for (int s = 0; s < BOOK_INDEX_SLOTS && readable && written; ++s) {
        std::uint8_t raw[4];
        if (std::fseek(source, 4L * s, SEEK_SET) != 0 || std::fread(raw, 1, 4, source) != 4) {
            readable = false;
            break;
        }
        const std::uint32_t theirAt = std::uint32_t(raw[0]) | std::uint32_t(raw[1]) << 8 | std::uint32_t(raw[2]) << 16 |
                                      std::uint32_t(raw[3]) << 24;
        const std::uint32_t ourAt = bookIndex[s];
        if (theirAt == BOOK_EMPTY_SLOT || ourAt == BOOK_EMPTY_SLOT) continue;
        int theirCount = 0, ourCount = 0;
        if (!readBookBucket(source, sourceSize, theirAt, theirs, &theirCount) ||
            !readBookBucket(bookFile, ownSize, ourAt, ours, &ourCount))
            continue;
        bool changed = false;
        for (int i = 0; i < ourCount; ++i) {
            BookRecord& mine = ours[i];
            for (int j = 0; j < theirCount; ++j) {
                const BookRecord& other = theirs[j];
                if (other.checkKey != mine.checkKey) continue;
                if (other.scoredDepth > 0 && (replace || mine.scoredDepth < other.scoredDepth)) {
                    mine.scoredDepth = other.scoredDepth;
                    mine.searchScore = other.searchScore;
                    changed          = true;
                }
                if (other.learned != 0 && (replace || mine.learned == 0)) {
                    mine.learned = other.learned;
                    changed      = true;
                }
                break;
            }
        }
        for (int i = 0; changed && i < ourCount && written; ++i)
            written = writeBookRecord(ours[i], long(ourAt) + 4 + long(i) * BOOK_RECORD_BYTES);
    }
    std::free(theirs);
    std::fclose(source);
    if (!readable) std::fprintf(stderr, "Cannot read the index of source book '%s'\n", sourcePath);
    if (!written) std::fprintf(stderr, "Book merge stopped: a record could not be written to %s\n", BOOK_FILE_NAME);
    return readable && written;
}
