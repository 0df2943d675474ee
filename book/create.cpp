// book/create.cpp: building BrixBook.bin from a PGN collection. The first
// 25 moves of every game are replayed and each position reached is counted
// in a 64 MB arena of linked 20-record blocks per slot; the file is then
// written in one pass in slot order, under a temporary name that replaces
// the old book only once the new one is whole.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/rules.h"
#include "book/book.h"
#include "game/state.h"
#include "io/system.h"

namespace {

constexpr std::size_t ARENA_BYTES     = 67108864;
constexpr int         BLOCK_RECORDS   = 20;
constexpr int         MOVE_TEXT_SIZE  = 2048;
constexpr int         LINE_SIZE       = MOVE_TEXT_SIZE;  // more of a line could never be used
constexpr int         TOKEN_LIMIT     = 8;
constexpr int         VARIATION_LIMIT = 1 << 20;  // deeper nesting is counted as this deep

struct BookBlock {
    std::uint32_t next;  // arena offset of the slot's next block, 0: none
    BookRecord    records[BLOCK_RECORDS];
};
static_assert(sizeof(BookBlock) == 324);

struct Builder {
    std::uint8_t*  arena;
    std::size_t    used;
    std::uint32_t* index;  // arena offset of each slot's first block
    bool           full;
};

BookBlock* blockAt(Builder& b, std::uint32_t offset) { return reinterpret_cast<BookBlock*>(b.arena + offset); }

// A new zeroed block, or nullptr when the arena is full.
BookBlock* takeBlock(Builder& b, std::uint32_t* offset) {
    if (b.used + sizeof(BookBlock) > ARENA_BYTES) {
        b.full = true;
        return nullptr;
    }
    *offset = std::uint32_t(b.used);
    b.used += sizeof(BookBlock);
    return blockAt(b, *offset);
}

// Counts the position on the board for the side that just moved.
bool recordPosition(Builder& b, int result) {
    const std::uint32_t slot = bookSlot(), key = bookCheckKey();
    const int           forMover = side == BLACK ? result : -result;  // white just moved when black is to move
    std::uint32_t       offset   = b.index[slot];
    BookBlock*          block;
    if (offset == BOOK_EMPTY_SLOT) {
        if (!(block = takeBlock(b, &offset))) return false;
        b.index[slot] = offset;
    } else {
        block = blockAt(b, offset);
    }
    for (;;) {
        for (BookRecord& r : block->records) {
            if (r.checkKey == key) {
                // Both counts stop at their limits: a wrapped sum would turn
                // a much-won line into a much-lost one.
                if (r.frequency != 0xFFFFFFFF) ++r.frequency;
                const int sum = r.winLoss + forMover;
                r.winLoss     = std::int16_t(sum > 32767 ? 32767 : sum < -32768 ? -32768 : sum);
                return true;
            }
            if (r.checkKey == 0) {
                r.checkKey    = key;
                r.frequency   = 1;
                r.winLoss     = std::int16_t(forMover);
                // While building, byte 11 holds the full moves played before
                // the position (capped: only "below 20" matters).
                r.searchScore = std::int8_t(gamePly / 2 > 127 ? 127 : gamePly / 2);
                return true;
            }
        }
        if (!block->next) {
            std::uint32_t next;
            BookBlock*    fresh = takeBlock(b, &next);
            if (!fresh) return false;
            block->next = next;
            block       = fresh;
        } else {
            block = blockAt(b, block->next);
        }
    }
}

bool isBlank(unsigned char c) { return c >= 1 && c <= 32; }

enum class GameEnd { FINISHED, ERROR, ARENA_FULL };

// Replays the move text from the initial position, counting each position.
GameEnd replayGame(Builder& b, const char* text, int result) {
    newGame();
    const char* p = text;
    for (;;) {
        while (isBlank(static_cast<unsigned char>(*p))) ++p;
        const bool castling = std::strncmp(p, "0-0", 3) == 0 || std::strncmp(p, "O-O", 3) == 0;
        if (!castling) {
            if (!*p || *p == '*' || *p == '#' || std::strncmp(p, "++", 2) == 0 || p[1] == '-' || p[1] == '/')
                return GameEnd::FINISHED;
            if (*p >= '0' && *p <= '9') {
                while ((*p >= '0' && *p <= '9') || *p == '.') ++p;
                while (isBlank(static_cast<unsigned char>(*p))) ++p;
                continue;
            }
        }
        char token[TOKEN_LIMIT + 1];
        int  n = 0;
        for (; *p && !isBlank(static_cast<unsigned char>(*p)); ++p) {
            if (n == TOKEN_LIMIT) return GameEnd::ERROR;
            token[n++] = *p;
        }
        token[n] = '\0';
        Move parsed;
        if (!parseSan(token, &parsed)) return GameEnd::ERROR;
        ply = 0;
        if (!isGeneratedMove(parsed) || !makeMove(parsed)) return GameEnd::ERROR;
        ply = 0;
        if (repetitionCount() != 0) return GameEnd::FINISHED;
        if (gamePly >= MAX_GAME_PLIES - 1) return GameEnd::FINISHED;
        if (!recordPosition(b, result)) return GameEnd::ARENA_FULL;
    }
}

bool isResultTag(const char* line) {
    return line[0] == '[' && std::strstr(line, "esult \"") != nullptr;
}

int resultOf(const char* line) {
    const char* quote = std::strstr(line, "esult \"") + 7;
    if (std::strncmp(quote, "1-0", 3) == 0) return 1;
    if (std::strncmp(quote, "0-1", 3) == 0) return -1;
    return 0;
}

// The PGN file line by line, each line whole however long: its first
// LINE_SIZE - 1 bytes are kept and the rest is dropped, so the tail of a long
// tag or comment never comes back as a line of its own. One line can be put
// back, for the game it opens.
//
// Outside the tags only the moves are kept: {comments}, ;comments to the end
// of the line, (variations, nested), $n annotations and ! and ? suffixes are
// dropped as the bytes come in, so a one-line game with a comment after every
// move still fits. A comment or variation may run over lines; a line that
// opens inside one is part of it even when it starts with "[", and "26." or
// "1." in it is never seen.
struct PgnReader {
    std::FILE* file;
    char       line[LINE_SIZE];
    int        length;      // bytes kept of the line being read
    bool       blank;       // the whole line is blanks (codes 1 to 32)
    bool       tag;         // the line starts with "[" outside comments and variations
    bool       lineStart;   // no byte of the line has been taken yet
    bool       held;        // `line` was put back and is read again next
    bool       started;     // a line has been read (a byte-order mark may open the file)
    bool       inComment;   // inside {...}
    bool       restOfLine;  // after ";" on this line
    bool       annotation;  // in the digits of a $n
    int        variations;  // open parentheses
};

void keepByte(PgnReader& r, char c) {
    if (r.length < LINE_SIZE - 1) r.line[r.length++] = c;
}

// What is dropped still parts the moves around it (e4{good}e5), by one blank
// at most, so the kept line stays short.
void keepSeparator(PgnReader& r) {
    if (r.length > 0 && !isBlank(static_cast<unsigned char>(r.line[r.length - 1]))) keepByte(r, ' ');
}

// Takes the next byte of the line being read.
void takeByte(PgnReader& r, unsigned char c) {
    if (r.lineStart) r.tag = c == '[' && !r.inComment && r.variations == 0;
    r.lineStart = false;
    if (!isBlank(c)) r.blank = false;
    if (r.tag) {
        keepByte(r, char(c));
        return;
    }
    if (r.restOfLine) return;
    if (r.inComment) {
        r.inComment = c != '}';
        return;
    }
    if (r.annotation && c >= '0' && c <= '9') return;
    r.annotation = false;
    const bool moves = r.variations == 0;
    if (c == '{' || c == '$') {
        r.inComment  = c == '{';
        r.annotation = c == '$';
        if (moves) keepSeparator(r);
    } else if (c == '(') {
        if (moves) keepSeparator(r);
        if (r.variations < VARIATION_LIMIT) ++r.variations;
    } else if (c == ')') {
        if (!moves) --r.variations;
    } else if (c == ';') {
        r.restOfLine = true;
    } else if (moves && c != '}' && c != '!' && c != '?') {
        keepByte(r, char(c));
    }
}

bool nextLine(PgnReader& r) {
    if (r.held) {
        r.held = false;
        return true;
    }
    int c = std::getc(r.file);
    if (c == EOF) return false;
    r.length     = 0;
    r.blank      = true;
    r.tag        = false;
    r.lineStart  = true;
    r.restOfLine = false;
    r.annotation = false;
    // A byte-order mark may open the file; a line is a tag line by what
    // follows it. Bytes of a mark that is not whole are the line's own.
    static const unsigned char mark[] = {0xEF, 0xBB, 0xBF};
    int                        marked = 0;
    if (!r.started)
        for (; marked < 3 && c == mark[marked]; c = std::getc(r.file)) ++marked;
    if (marked < 3)
        for (int i = 0; i < marked; ++i) takeByte(r, mark[i]);
    r.started = true;
    for (; c != EOF && c != '\n'; c = std::getc(r.file)) takeByte(r, static_cast<unsigned char>(c));
    r.line[r.length] = '\0';
    return true;
}

bool isTagLine(const PgnReader& r) { return r.tag; }

// Appends a line to the move text, cutting it where the buffer is full.
void appendText(char* text, std::size_t& length, const char* line, std::size_t count) {
    const std::size_t room = MOVE_TEXT_SIZE - 1 - length;
    if (count > room) count = room;
    std::memcpy(text + length, line, count);
    length += count;
    text[length] = '\0';
}

// Reads the next game that has a result and moves: its move text up to move
// 25 into `text` (a first line is taken whole) and its result. False at the
// end of the file.
//
// A tag section is every tag line and blank line up to the first other line,
// so blank lines among the tags and tags of any length are read with it. A
// game whose section holds no Result tag is skipped. When a tag line comes
// before the first line of moves, the game had none (a forfeit): that line
// opens the next game, and with it the next game's Result tag.
bool readGame(PgnReader& r, char* text, int* result) {
    for (;;) {
        // 1. The tag section; the last Result tag in it counts.
        bool tagged = false;
        while (!tagged && nextLine(r)) tagged = isTagLine(r);
        if (!tagged) return false;
        bool haveResult = false, more;
        do {
            if (isTagLine(r) && isResultTag(r.line)) {
                haveResult = true;
                *result    = resultOf(r.line);
            }
        } while ((more = nextLine(r)) && (isTagLine(r) || r.blank));
        if (!more) return false;
        r.held = true;
        if (!haveResult) continue;

        // 2. The first line of moves: one that is not a tag and holds "1.".
        bool moves = false;
        while (!moves && nextLine(r) && !isTagLine(r)) moves = std::strstr(r.line, "1.") != nullptr;
        if (!moves) {
            if (isTagLine(r)) {
                r.held = true;
                continue;
            }
            return false;
        }

        // 3. The move text, up to the next tag line, which is left for the
        // next game. Lines are joined by line feeds, as in the file.
        std::size_t length = 0;
        text[0]            = '\0';
        appendText(text, length, r.line, std::strlen(r.line));
        bool cut = false;
        while (nextLine(r)) {
            if (isTagLine(r)) {
                r.held = true;
                break;
            }
            if (cut) continue;
            appendText(text, length, "\n", 1);
            if (const char* at = std::strstr(r.line, "26.")) {
                appendText(text, length, r.line, std::size_t(at - r.line));
                cut = true;
            } else {
                appendText(text, length, r.line, std::strlen(r.line));
            }
        }
        return true;
    }
}

// Seen in more than one game, or before move 21 (byte 11 holds the move).
bool keptInBook(const BookRecord& r) { return r.frequency > 1 || r.searchScore < 20; }

std::uint32_t keptRecords(Builder& b, int slot) {
    std::uint32_t kept = 0;
    for (std::uint32_t at = b.index[slot];; at = blockAt(b, at)->next) {
        for (const BookRecord& r : blockAt(b, at)->records) {
            if (r.checkKey == 0) break;
            if (keptInBook(r)) ++kept;
        }
        if (!blockAt(b, at)->next) return kept;
    }
}

// Writes the index and then the buckets in slot order, front to back: the
// records are counted first, so no write has to go back for a count. A slot
// whose records are all dropped keeps its four count bytes, as zeros, and is
// marked empty. False when a write fails.
bool writeBookFile(Builder& b, std::FILE* file) {
    static std::uint8_t  index[BOOK_INDEX_BYTES];
    static std::uint32_t kept[BOOK_INDEX_SLOTS];
    std::memset(index, 0xFF, sizeof index);
    std::uint32_t position = BOOK_INDEX_BYTES;
    for (int s = 0; s < BOOK_INDEX_SLOTS; ++s) {
        if (b.index[s] == BOOK_EMPTY_SLOT) continue;
        kept[s] = keptRecords(b, s);
        if (kept[s] > 0)
            for (int i = 0; i < 4; ++i) index[4 * s + i] = std::uint8_t(position >> (8 * i));
        position += 4 + BOOK_RECORD_BYTES * kept[s];
    }
    if (std::fwrite(index, 1, sizeof index, file) != sizeof index) return false;
    for (int s = 0; s < BOOK_INDEX_SLOTS; ++s) {
        if (b.index[s] == BOOK_EMPTY_SLOT) continue;
        std::uint8_t head[4];
        for (int i = 0; i < 4; ++i) head[i] = std::uint8_t(kept[s] >> (8 * i));
        if (std::fwrite(head, 1, 4, file) != 4) return false;
        for (std::uint32_t at = b.index[s];; at = blockAt(b, at)->next) {
            for (const BookRecord& r : blockAt(b, at)->records) {
                if (r.checkKey == 0) break;
                if (!keptInBook(r)) continue;
                BookRecord   out = r;
                std::uint8_t bytes[BOOK_RECORD_BYTES];
                out.searchScore = 0;
                encodeBookRecord(out, bytes);
                if (std::fwrite(bytes, 1, BOOK_RECORD_BYTES, file) != BOOK_RECORD_BYTES) return false;
            }
            if (!blockAt(b, at)->next) break;
        }
    }
    return std::fflush(file) == 0;
}

// Writes the collected positions. The new book is written under a temporary
// name beside the old one and renamed over it only once it is whole, so a
// failed write leaves the old book as it was. A book that is a symbolic link
// is replaced at the link's target; a target that is no regular file (a
// device) is written directly. False, said on standard error, on failure.
bool writeBook(Builder& b) {
    // The book's directory is the current one, so a link's text, when it
    // names a file not made yet, is a path from here.
    const std::string target = linkTarget(BOOK_FILE_NAME);
    std::uint64_t     size   = 0;
    const bool        inPlace = fileSize(target.c_str(), size) && !isRegularFile(target.c_str());
    std::string       temporary;
    std::FILE*        file = inPlace ? std::fopen(target.c_str(), "wb") : createFileBeside(target.c_str(), temporary);
    if (!file) {
        const int error = errno;
        std::printf("Cannot create book file '%s'\n", BOOK_FILE_NAME);
        std::fprintf(stderr, "Cannot create book file '%s': %s\n", BOOK_FILE_NAME, std::strerror(error));
        return false;
    }
    std::printf("Creating %s ... ", BOOK_FILE_NAME);
    std::fflush(stdout);
    bool written = writeBookFile(b, file) && (inPlace || syncToDisk(file));
    int  error   = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error   = errno;
    }
    if (written && !inPlace && !replaceFile(temporary.c_str(), target.c_str())) {
        written = false;
        error   = errno;
    }
    if (!written) {
        if (!inPlace) std::remove(temporary.c_str());
        std::printf("failed\n");
        std::fflush(stdout);
        std::fprintf(stderr, "Cannot write book file '%s': %s%s\n", BOOK_FILE_NAME, std::strerror(error),
                     inPlace ? "" : "; the old book is unchanged");
        return false;
    }
    std::printf("Done!\n");
    return true;
}

}  // namespace

bool createBook(const char* pgnPath) {
    std::FILE* pgn = std::fopen(pgnPath, "r");
    if (!pgn) {
        std::fprintf(stderr, "Cannot open PGN file '%s'\n", pgnPath);
        return false;
    }
    Builder b;
    b.arena = static_cast<std::uint8_t*>(std::calloc(ARENA_BYTES, 1));
    b.index = static_cast<std::uint32_t*>(std::malloc(BOOK_INDEX_BYTES));
    b.used  = 0;
    b.full  = false;
    if (!b.arena || !b.index) {
        std::fprintf(stderr, "Not enough memory to create a book\n");
        std::free(b.arena);
        std::free(b.index);
        std::fclose(pgn);
        return false;
    }
    std::memset(b.index, 0xFF, BOOK_INDEX_BYTES);

    static PgnReader reader;
    reader      = PgnReader{};
    reader.file = pgn;
    static char text[MOVE_TEXT_SIZE];
    int         games  = 0;
    int         result = 0;
    while (readGame(reader, text, &result)) {
        // Replay the game and count its positions.
        std::printf("\rProcessing game: %d ... ", ++games);
        const GameEnd end = replayGame(b, text, result);
        if (end == GameEnd::ERROR) std::printf("Error processing game:\n%s\n", text);
        if (end == GameEnd::ARENA_FULL) {
            std::printf("Game file is too big to process\n");
            break;
        }
    }
    std::fclose(pgn);
    std::printf("Done!\n");
    const bool written = writeBook(b);
    std::free(b.arena);
    std::free(b.index);
    return written;
}
