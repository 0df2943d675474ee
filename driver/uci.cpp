// driver/uci.cpp: the UCI command interpreter. While a search runs only
// isready, stop, ponderhit and quit act; everything else waits for the
// bestmove, as the protocol wants. Times arrive in milliseconds and are kept
// in the engine's centiseconds.
#include "driver/uci.h"
#include <strings.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "driver/protocol.h"
#include "driver/startup.h"
#include "game/state.h"
#include "io/console.h"
#include "search/hashtable.h"
#include "search/rootmoves.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/strength.h"
#include "search/thinking.h"
#include "search/threads.h"
#include "tablebase/tablebase.h"

bool          uciMode;
bool          uciGoActive;
bool          uciInfinite;
bool          uciPonderGo;
bool          uciOwnBook = true;

namespace {

// The last position command: the FEN ("" for the start position) and the
// text of its move list, kept until the game loop sets it up.
char positionFen[128];
char positionMoves[INPUT_LINE_SIZE];

// The next space-separated word of *p, copied into word (cut to fit);
// false when none is left.
bool nextWord(const char** p, char* word, std::size_t size) {
    const char* s = *p;
    while (*s == ' ' || *s == '\t') ++s;
    if (!*s) {
        *p = s;
        return false;
    }
    std::size_t n = 0;
    for (; *s && *s != ' ' && *s != '\t'; ++s)
        if (n + 1 < size) word[n++] = *s;
    word[n] = '\0';
    *p      = s;
    return true;
}

// A number argument in milliseconds (or a count); negative figures, which a
// GUI sends for a clock already run out, count as 0.
long readCount(const char** p) {
    char word[32];
    if (!nextWord(p, word, sizeof word)) return 0;
    const long n = std::strtol(word, nullptr, 10);
    return n < 0 ? 0 : n;
}

std::int32_t toCentiseconds(long ms) {
    const long cs = ms / 10;
    return cs > CLOCK_LIMIT ? CLOCK_LIMIT : std::int32_t(cs);
}

// Time kept back a move for the way to the GUI and back, in ms.
constexpr int MAX_MOVE_OVERHEAD_MS = 5000;

// UCI_Elo counts only while UCI_LimitStrength is on.
bool limitStrength;
long chosenElo = STRENGTH_MIN;

void identify() {
    limitStrength = strengthElo != 0;  // brix.cfg may have set one
    if (strengthElo) chosenElo = strengthElo;
    printAndFlush("id name %s\n", engineName);
    printAndFlush("id author the Brix developers\n");
    const std::uint64_t mb = hashTableBytes() >> 20;
    printAndFlush("option name Hash type spin default %llu min 1 max 65536\n",
                  static_cast<unsigned long long>(mb ? mb : 1));
    printAndFlush("option name Clear Hash type button\n");
    printAndFlush("option name Threads type spin default %d min 1 max %d\n", searchThreads, maxSearchThreads());
    printAndFlush("option name Ponder type check default %s\n", engineOptions & OPTION_PONDER ? "true" : "false");
    printAndFlush("option name OwnBook type check default %s\n", uciOwnBook ? "true" : "false");
    printAndFlush("option name BookFile type string default %s\n", bookFileName[0] ? bookFileName : "<empty>");
    printAndFlush("option name BookLearning type check default %s\n", engineOptions & OPTION_LEARN ? "true" : "false");
    printAndFlush("option name EGTBPath type string default %s\n", egtbPath[0] ? egtbPath : "<empty>");
    // The cache is 2^n KB; the option counts whole megabytes.
    printAndFlush("option name EGTBCacheSize type spin default %d min 1 max 1024\n",
                  egtbCacheSizeLog >= 10 ? 1 << (egtbCacheSizeLog - 10) : 1);
    printAndFlush("option name MultiPV type spin default %d min 1 max %d\n", multiPvLines, MAX_MULTI_PV);
    printAndFlush("option name Move Overhead type spin default %d min 0 max %d\n", startingClockLag * 10,
                  MAX_MOVE_OVERHEAD_MS);
    printAndFlush("option name UCI_LimitStrength type check default %s\n", strengthElo ? "true" : "false");
    printAndFlush("option name UCI_Elo type spin default %d min %d max %d\n", strengthElo ? strengthElo : STRENGTH_MAX,
                  STRENGTH_MIN, STRENGTH_MAX);
    printAndFlush("uciok\n");
}

bool isTrue(const char* value) { return strcasecmp(value, "true") == 0; }

void setOption(const char* text) {
    // setoption name <id, may hold spaces> [value <x, may hold spaces>]
    char        name[64] = "", value[256] = "";
    const char* p        = std::strstr(text, " name ");
    if (!p) return;
    p += 6;
    const char* v   = std::strstr(p, " value ");
    std::size_t len = v ? std::size_t(v - p) : std::strlen(p);
    while (len > 0 && p[len - 1] == ' ') --len;
    while (len > 0 && *p == ' ') ++p, --len;
    if (len >= sizeof name) return;
    std::memcpy(name, p, len);
    name[len] = '\0';
    if (v) {
        const char* s = v + 7;
        while (*s == ' ') ++s;
        std::snprintf(value, sizeof value, "%s", s);
        for (std::size_t n = std::strlen(value); n > 0 && value[n - 1] == ' '; --n) value[n - 1] = '\0';
    }
    if (std::strcmp(value, "<empty>") == 0) value[0] = '\0';

    if (strcasecmp(name, "Hash") == 0) {
        const long mb = std::strtol(value, nullptr, 10);
        if (mb < 1 || mb > 65536) {
            printUciInfoString("Hash %s is not a size in MB from 1 to 65536; the table stays", value);
            return;
        }
        if (!resizeHashTables(std::uint64_t(mb) * 1024)) {
            printAndFlush("ERROR (not enough memory): setoption\n");
            std::exit(1);
        }
        // Clamped to half the memory, or halved until the allocation worked.
        if (ttShift > ttShiftForSize(std::int64_t(mb) * 1024))
            printUciInfoString("Hash %ld MB: not enough memory, the table has %llu KB", mb,
                               static_cast<unsigned long long>(hashTableBytes() >> 10));
    } else if (strcasecmp(name, "Threads") == 0) {
        setSearchThreads(std::strtol(value, nullptr, 10));
    } else if (strcasecmp(name, "UCI_LimitStrength") == 0 || strcasecmp(name, "UCI_Elo") == 0) {
        if (strcasecmp(name, "UCI_Elo") == 0)
            chosenElo = std::strtol(value, nullptr, 10);
        else
            limitStrength = isTrue(value);
        setStrength(limitStrength ? (chosenElo < STRENGTH_MIN ? STRENGTH_MIN : chosenElo) : 0);
    } else if (strcasecmp(name, "MultiPV") == 0) {
        setMultiPvLines(std::strtol(value, nullptr, 10));
    } else if (strcasecmp(name, "Move Overhead") == 0) {
        // Whole centiseconds, rounded up: the engine's clock unit.
        long ms = std::strtol(value, nullptr, 10);
        ms      = ms < 0 ? 0 : ms > MAX_MOVE_OVERHEAD_MS ? MAX_MOVE_OVERHEAD_MS : ms;
        setStartingClockLag(std::int16_t((ms + 9) / 10));
    } else if (strcasecmp(name, "Clear Hash") == 0) {
        clearHashTables();
    } else if (strcasecmp(name, "Ponder") == 0) {
        engineOptions = std::uint16_t(isTrue(value) ? engineOptions | OPTION_PONDER : engineOptions & ~OPTION_PONDER);
    } else if (strcasecmp(name, "OwnBook") == 0) {
        uciOwnBook = isTrue(value);
    } else if (strcasecmp(name, "BookFile") == 0) {
        closeBook();
        std::snprintf(bookFileName, sizeof bookFileName, "%s", value);
        if (value[0] && !openBook()) printUciInfoString("no usable book in %s", value);
    } else if (strcasecmp(name, "BookLearning") == 0) {
        engineOptions = std::uint16_t(isTrue(value) ? engineOptions | OPTION_LEARN : engineOptions & ~OPTION_LEARN);
    } else if (strcasecmp(name, "EGTBPath") == 0) {
        std::snprintf(egtbPath, sizeof egtbPath, "%s", value);
        egtbMaxPieces = -1;
        initTablebases();
    } else if (strcasecmp(name, "EGTBCacheSize") == 0) {
        long mb = std::strtol(value, nullptr, 10);
        mb      = mb < 1 ? 1 : mb > 1024 ? 1024 : mb;
        int n   = 10;
        while ((1L << (n - 10 + 1)) <= mb) ++n;
        egtbCacheSizeLog = std::int8_t(n);
        egtbMaxPieces    = -1;
        initTablebases();
    }
}

// "position startpos|fen <FEN> [moves ...]": only recorded here.
void recordPosition(const char* text) {
    const char* p = text;
    char        word[128];
    nextWord(&p, word, sizeof word);  // "position"
    if (!nextWord(&p, word, sizeof word)) word[0] = '\0';
    positionFen[0] = '\0';
    if (std::strcmp(word, "fen") == 0) {
        std::size_t n = 0;
        while (nextWord(&p, word, sizeof word) && std::strcmp(word, "moves") != 0) {
            const int made = std::snprintf(positionFen + n, sizeof positionFen - n, "%s%s", n ? " " : "", word);
            if (made < 0 || std::size_t(made) >= sizeof positionFen - n) {
                printUciInfoString("FEN too long: position not changed");
                return;
            }
            n += std::size_t(made);
        }
        if (n == 0) {
            printUciInfoString("position fen without a FEN: position not changed");
            return;
        }
    } else if (std::strcmp(word, "startpos") == 0) {
        if (nextWord(&p, word, sizeof word) && std::strcmp(word, "moves") != 0) {
            printUciInfoString("unexpected %s after startpos: position not changed", word);
            return;
        }
    } else {
        printUciInfoString("position needs startpos or fen: position not changed");
        return;
    }
    std::snprintf(positionMoves, sizeof positionMoves, "%s", p);
    pendingCommand = CMD_POSITION;
}

// "searchmoves m1 m2 ...": the moves up to the next word that is no move.
// Illegal ones are named and left out; when none is legal, every move is
// searched.
void restrictToSearchMoves(const char** p) {
    bool        any = false;
    char        word[16];
    const char* rest = *p;
    excludeAllRootMoves();
    while (nextWord(&rest, word, sizeof word)) {
        int  from, to;
        char letter;
        if (!readCoordinates(word, &from, &to, &letter)) break;
        *p           = rest;
        const Move m = findCoordinateMove(from, to, letter);
        if (!isLegalMove(m)) {
            printUciInfoString("searchmoves: %s is not a legal move here; left out", word);
            continue;
        }
        includeRootMove(m);
        any = true;
    }
    if (!any) {
        clearRootFilter();
        printUciInfoString("searchmoves: no legal move named; searching every move");
    }
}

// "go ...": the time settings are made at once, as level and st make them.
void recordGo(const char* text) {
    long        time[2] = {-1, -1}, increment[2] = {0, 0};
    long        toGo = 0, fixed = -1, depth = 0, mate = 0, nodes = 0;
    bool        infinite = false, ponder = false;
    const char* p        = text;
    char        word[32];
    nextWord(&p, word, sizeof word);  // "go"
    clearRootFilter();
    while (nextWord(&p, word, sizeof word)) {
        if (std::strcmp(word, "wtime") == 0) time[WHITE] = readCount(&p);
        else if (std::strcmp(word, "btime") == 0) time[BLACK] = readCount(&p);
        else if (std::strcmp(word, "winc") == 0) increment[WHITE] = readCount(&p);
        else if (std::strcmp(word, "binc") == 0) increment[BLACK] = readCount(&p);
        else if (std::strcmp(word, "movestogo") == 0) toGo = readCount(&p);
        else if (std::strcmp(word, "movetime") == 0) fixed = readCount(&p);
        else if (std::strcmp(word, "depth") == 0) depth = readCount(&p);
        else if (std::strcmp(word, "mate") == 0) mate = readCount(&p);
        else if (std::strcmp(word, "nodes") == 0) nodes = readCount(&p);
        else if (std::strcmp(word, "infinite") == 0) infinite = true;
        else if (std::strcmp(word, "ponder") == 0) ponder = true;
        else if (std::strcmp(word, "searchmoves") == 0) restrictToSearchMoves(&p);
        // Anything unknown is passed over.
    }
    // Depth: as sd caps it; mate in n needs about 2n plies.
    long limit = depth > 0 ? depth : 64;
    if (mate > 0 && 2 * mate < limit) limit = 2 * mate;
    if (limit > MAX_SET_DEPTH) limit = MAX_SET_DEPTH;
    const auto depthCap = std::uint8_t(depth > 0 || mate > 0 ? (limit < 1 ? 1 : limit) : 64);
    nodeLimit           = std::uint64_t(nodes);
    if (fixed >= 0 && !infinite) {
        // A fixed time a move, as st sets it.
        setFixedMoveTime(toCentiseconds(fixed) > 0 ? toCentiseconds(fixed) : 1, depthCap);
    } else if (time[side] >= 0 && !infinite) {
        // The clocks: a whole game with increment, or moves to go.
        const std::int32_t mine = toCentiseconds(time[side]);
        const long         inc  = increment[side] / 10;
        setClocksLeft(side, mine, time[xside] >= 0 ? toCentiseconds(time[xside]) : mine,
                      std::uint16_t(inc > 65535 ? 65535 : inc),
                      std::uint16_t(toGo > 0 ? (toGo > 65535 ? 65535 : toGo) : 0), depthCap);
    } else {
        // Depth, nodes or mate alone, infinite (whatever clocks came with
        // it), or nothing at all: no time limit.
        setFixedMoveTime(0, depthCap);
    }
    uciInfinite    = infinite;
    uciPonderGo    = ponder;
    pendingCommand = CMD_SEARCH;
}

bool is(const char* line, const char* command) {
    const std::size_t n = std::strlen(command);
    return std::strncmp(line, command, n) == 0 && (line[n] == '\0' || line[n] == ' ' || line[n] == '\t');
}

// Mate scores as moves: mating in p plies is mate (p + 1) / 2, being mated
// in p plies mate -(p + 1) / 2.
void printUciThinking(int depth, int score) {
    if (depth <= 0) return;
    const std::uint32_t ms    = elapsedTime() - thinkStartTime;
    const std::uint64_t nodes = searchNodes();
    const std::uint64_t nps   = ms ? nodes * 1000u / ms : 0;
    std::printf("info depth %d seldepth %d", depth, selDepth > depth ? selDepth : depth);
    if (thinkingLineNumber > 0) std::printf(" multipv %d", thinkingLineNumber);
    if (score > 9000)
        std::printf(" score mate %d", (MATE_SCORE - score + 1) / 2);
    else if (score < -9000)
        std::printf(" score mate -%d", (MATE_SCORE + score + 1) / 2);
    else
        std::printf(" score cp %d", score);
    std::printf(" nodes %llu nps %llu hashfull %d time %lu pv", static_cast<unsigned long long>(nodes),
                static_cast<unsigned long long>(nps), hashFullPermille(), static_cast<unsigned long>(ms));
    for (int i = 0; i < pvLength[0]; ++i) std::printf(" %s", moveToUci(pvTable[0][i]));
    printAndFlush("\n");
}

void printUciBookLine(const char* candidates) { printUciInfoString("book %s", candidates); }

}  // namespace

void enterUciMode() {
    uciMode       = true;
    engineOptions = std::uint16_t(engineOptions & ~OPTION_XBOARD);
    thinkingHook  = printUciThinking;
    bookLineHook  = printUciBookLine;
}

void processUciCommand(const char* line) {
    pendingCommand = CMD_NONE;
    if (!line) {
        // The end of input ends a search that has no end of its own; a timed
        // or limited one finishes and answers first.
        if (inputClosed && inputPolling && uciGoActive && (uciInfinite || pondering) && stopRequest == STOP_NONE)
            stopRequest = STOP_MOVE_NOW;
        return;
    }
    while (*line == ' ' || *line == '\t') ++line;
    if (is(line, "uci")) {
        identify();
    } else if (is(line, "isready")) {
        printAndFlush("readyok\n");
    } else if (is(line, "quit")) {
        pendingCommand = CMD_QUIT;
        stopRequest    = STOP_ABORT;
    } else if (is(line, "stop")) {
        if (uciGoActive) stopRequest = STOP_MOVE_NOW;
    } else if (is(line, "ponderhit")) {
        if (uciGoActive && pondering) stopRequest = STOP_PONDER_HIT;
    } else if (uciGoActive) {
        // The protocol sends nothing else before bestmove; a GUI that does
        // is told and otherwise ignored.
        if (is(line, "position") || is(line, "go") || is(line, "ucinewgame") || is(line, "setoption"))
            printUciInfoString("busy searching: %.40s ignored", line);
    } else if (is(line, "ucinewgame")) {
        pendingCommand = CMD_NEW;
    } else if (is(line, "setoption")) {
        setOption(line);
    } else if (is(line, "position")) {
        recordPosition(line);
    } else if (is(line, "go")) {
        recordGo(line);
    }
}

void printUciInfoString(const char* format, ...) {
    char    text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printAndFlush("info string %s\n", text);
}

void printUciBestMove(Move move, Move reply) {
    if (!move) {
        printAndFlush("bestmove 0000\n");
        return;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%s", moveToUci(move));
    if (reply)
        printAndFlush("bestmove %s ponder %s\n", text, moveToUci(reply));
    else
        printAndFlush("bestmove %s\n", text);
}

void setUpUciPosition() {
    if (positionFen[0]) {
        if (!setPositionFromFen(positionFen)) {
            printUciInfoString("illegal FEN %s: position not changed", positionFen);
            return;
        }
    } else {
        resetPosition();
    }
    ply = 0;
    const char* p = positionMoves;
    char        word[16];
    while (nextWord(&p, word, sizeof word)) {
        if (gamePly >= GAME_PLY_LIMIT) {
            printUciInfoString("game too long: moves from %s on not played", word);
            break;
        }
        // A promotion needs its letter, and any other move must come without one.
        const Move m = findCoordinateText(word);
        if (!m || !makeMove(m)) {
            printUciInfoString("illegal move %s: the position before it stays", word);
            break;
        }
        ply = 0;
    }
    ply = 0;
}
