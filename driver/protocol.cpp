// driver/protocol.cpp: the xboard command interpreter. Commands are tested
// in a fixed order; any other word is taken as a move in coordinates.
// Words are cut to 127 characters and at most five are kept, so no input
// can overflow anything.
#include "driver/protocol.h"
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "book/book.h"
#include "eval/evaluate.h"
#include "io/console.h"
#include "search/hashtable.h"
#include "search/rootmoves.h"
#include "search/searchdata.h"
#include "search/strength.h"
#include "search/threads.h"
#include "tablebase/tablebase.h"

char          engineName[16] = "Brix 1.0";
std::uint8_t  forceMode, analyzeMode;
std::uint32_t pendingCommand;
int           undoPlies;
PendingMove   pendingMove = {-1, -1, 0, {0}};
char          setupText[128];

namespace {

// A ping received during the engine's own search, answered after its move.
char deferredPing[128];
bool pingDeferred;

// The last exclude/include (its move, or "all") and option (NAME=VALUE).
char rootMoveWord[128];
bool rootMoveIncluded;
char optionText[128];

constexpr int WORD_SIZE = 128;
constexpr int MAX_WORDS = 5;

char words[MAX_WORDS][WORD_SIZE];
int  wordCount;  // the command and its arguments present

// Splits at spaces (runs of spaces count as one) into at most five words.
void splitLine(const char* line) {
    wordCount = 0;
    for (auto& w : words) w[0] = '\0';
    const char* p = line;
    while (wordCount < MAX_WORDS) {
        while (*p == ' ') ++p;
        if (!*p) break;
        int n = 0;
        for (; *p && *p != ' '; ++p)
            if (n < WORD_SIZE - 1) words[wordCount][n++] = *p;
        words[wordCount][n] = '\0';
        ++wordCount;
    }
}

bool is(const char* name) { return std::strcmp(words[0], name) == 0; }
int  arguments() { return wordCount - 1; }
long number(int i) { return std::strtol(words[i], nullptr, 10); }

// "M" or "M:SS" minutes into centiseconds. The sum is formed in double,
// where no figure a GUI can send overflows, and clamped before narrowing.
std::int32_t readMinutes(const char* text) {
    char*      end     = nullptr;
    const long minutes = std::strtol(text, &end, 10);
    long       seconds = 0;
    if (end && *end == ':') seconds = std::strtol(end + 1, nullptr, 10);
    const double total = double(minutes) * 6000 + double(seconds) * 100;
    return total < 0 ? 0 : total > CLOCK_LIMIT ? CLOCK_LIMIT : std::int32_t(total);
}

// Seconds with an optional fraction into centiseconds.
std::int32_t readSeconds(const char* text) {
    const double seconds = std::strtod(text, nullptr);
    if (!(seconds > 0)) return 0;
    return seconds * 100 > CLOCK_LIMIT ? CLOCK_LIMIT : std::int32_t(seconds * 100 + 0.5);
}

void commandLevel() {
    const auto         moves = std::uint16_t(number(1) < 0 ? 0 : number(1) > 65535 ? 65535 : number(1));
    const std::int32_t inc   = readSeconds(words[3]);
    setClockControl(moves, readMinutes(words[2]), std::uint16_t(inc > 65535 ? 65535 : inc));
}

std::int32_t clampTime(long t) { return t < 0 ? 0 : t > CLOCK_LIMIT ? CLOCK_LIMIT : std::int32_t(t); }

void commandTime() {
    const std::int32_t t = clampTime(number(1));
    if (engineSide == NO_SIDE) {
        setClock(xside, t);
        return;
    }
    long lag = long(remainingTime[engineSide]) - t;
    if (lag < 1) lag = 20;
    if (lag > 200) lag = 200;
    if (levelMoves) {
        const long average = long(std::uint32_t(levelBaseTime) / levelMoves);
        if (lag > average) {
            lag = average - 20;
            if (lag <= 20) lag = 20;
        }
    }
    setClockLag(std::int16_t(lag));
    setClock(engineSide, t);
}

// The FEN after "setboard", whole: the reader checks every field, clocks
// included, so none is cut or dropped here. A text too long for setupText
// is no FEN; it is left empty, which the reader refuses like a bad board.
void copySetupText(const char* line) {
    while (*line == ' ') ++line;
    line += std::strlen("setboard");
    while (*line == ' ') ++line;
    if (std::snprintf(setupText, sizeof setupText, "%s", line) >= int(sizeof setupText)) setupText[0] = '\0';
}

void printBoard() {
    for (int s = 0; s < 64; ++s) {
        const std::uint8_t code = board[s];
        char               c    = '.';
        if (code != EMPTY) {
            c = PIECE_LETTERS[codeType(code)];
            if (codeColour(code) == BLACK) c = char(std::tolower(static_cast<unsigned char>(c)));
        }
        std::printf("%c%c", c, (s & 7) == 7 ? '\n' : ' ');
    }
    std::fflush(stdout);
}

void commandHint() {
    Move m = 0;
    if (pondering)
        m = ponderMove;
    else if (analyzeMode && pvLength[0] >= 1)
        m = pvTable[0][0];
    if (m) printAndFlush("Hint: %s\n", moveToCoord(m));
}

void analysisStatus() {
    printAndFlush("stat01: %ld %d %d %d %d %s\n", static_cast<long>((elapsedTime() - thinkStartTime) / 10),
                  static_cast<int>(searchNodes()), iterationDepth, rootMoveCount - rootMoveNumber, rootMoveCount,
                  moveToCoord(gameHistory[gamePly - ply].move));
}

void commandProtover() {
    std::printf("feature ping=1 setboard=1 san=0 time=1 draw=0\n");
    std::printf("feature sigint=0 sigterm=0 reuse=1 analyze=1\n");
    std::printf("feature myname=\"%s\" name=1\n", engineName);
    std::printf("feature playother=1 colors=0\n");
    std::printf("feature variants=\"normal\"\n");
    std::printf("feature smp=1\n");
    std::printf("feature exclude=1\n");
    std::printf("feature option=\"MultiPV -spin %d 1 %d\"\n", multiPvLines, MAX_MULTI_PV);
    std::printf("feature option=\"Strength -spin %d %d %d\"\n", strengthElo ? strengthElo : STRENGTH_MAX,
                STRENGTH_MIN, STRENGTH_MAX);
    std::printf("feature done=1\n");
    std::printf("done=1\n");
    std::fflush(stdout);
}

// Any other word: a move in coordinates, or the predicted reply arriving.
// A word that is no move leaves no move for the game loop.
void moveRule() {
    const char* w = words[0];
    int         from, to;
    char        letter;
    const bool  valid = readCoordinates(w, &from, &to, &letter);
    if (!valid) from = to = -1;
    pendingMove.from      = std::int8_t(from);
    pendingMove.to        = std::int8_t(to);
    pendingMove.promotion = valid ? letter : 0;
    std::snprintf(pendingMove.word, sizeof pendingMove.word, "%s", w);
    stopRequest = STOP_ABORT;
    if (!pondering || !valid || from != moveFrom(ponderMove) || to != moveTo(ponderMove)) return;
    const int promotion = movePromotion(ponderMove);
    if (promotion &&
        std::toupper(static_cast<unsigned char>(pendingMove.promotion)) != PIECE_LETTERS[promotion])
        return;
    // The predicted reply is already on the board: keep searching.
    appendCheckSign(++lastMovePly);
    pendingMove.from = pendingMove.to = -1;
    stopRequest                        = STOP_PONDER_HIT;
}

}  // namespace

void answerDeferredPing() {
    if (!pingDeferred) return;
    pingDeferred = false;
    printAndFlush("pong %s\n", deferredPing);
}

void processCommand(const char* line) {
    pendingCommand = CMD_NONE;
    if (!line) return;
    splitLine(line);
    if (wordCount == 0) return;
    const bool idle = !searching;

    if (is("xboard")) {
        engineOptions |= OPTION_XBOARD;
    } else if (is("analyze")) {
        pendingCommand = CMD_ANALYZE;
        stopRequest    = STOP_ABORT;
    } else if (is(".")) {
        if (analyzeMode) analysisStatus();
    } else if (is("board")) {
        printBoard();
    } else if (is("bk")) {
        if (idle) probeBook(true);
    } else if (is("chk")) {
    } else if (is("computer")) {
        engineOptions |= OPTION_COMPUTER_OPPONENT;
    } else if (is("draw")) {
    } else if (is("egtb")) {
        initTablebases();
        std::int16_t score;
        if (probeTablebase(&score))
            printAndFlush("Max %d , Score %d\n", egtbMaxPieces, score);
        else
            printAndFlush(egtbMaxPieces < 0 ? "EGTB not found\n" : "Position not in EGTB\n");
    } else if (is("eval")) {
        if (idle) {
            updateEvaluationPhase();  // the weights of this position's phase
            printAndFlush("Eval: %d\n", evaluate(-10000, 10000));
        }
    } else if (is("exit")) {
        // Analysis only borrowed the side to move; after it the engine
        // plays neither side until told, also when its search had ended.
        analyzeMode = 0;
        engineSide  = NO_SIDE;
        // Only analysis kept the time settings; without one they stay.
        endAnalysisLimits();
        stopRequest = STOP_ABORT;
    } else if (is("force")) {
        if (!forceMode) {
            pendingCommand = CMD_FORCE;
            stopRequest    = STOP_ABORT;
        }
    } else if (is("go")) {
        if (idle || pondering || analyzeMode) {
            pendingCommand = CMD_GO;
            stopRequest    = STOP_ABORT;
        }
    } else if (is("hard")) {
        engineOptions |= OPTION_PONDER;
    } else if (is("hint")) {
        commandHint();
    } else if (is("easy")) {
        engineOptions = std::uint16_t(engineOptions & ~OPTION_PONDER);
        if (pondering) stopRequest = STOP_ABORT;
    } else if (is("level")) {
        if (arguments() != 3) {
            printAndFlush("ERROR (wrong number of parameters): level <nmoves> <min> <inc>\n");
            return;
        }
        commandLevel();
        stopRequest = STOP_ABORT;
    } else if (is("new")) {
        pendingCommand = CMD_NEW;
        stopRequest    = STOP_ABORT;
    } else if (is("ping")) {
        // The protocol wants pong only once the move being thought about has
        // been sent; the search goes on and the game loop answers after it.
        if (searching && !pondering && !analyzeMode) {
            std::snprintf(deferredPing, sizeof deferredPing, "%s", words[1]);
            pingDeferred = true;
        } else {
            // Analysis goes on: nothing would start it again.
            if (!analyzeMode) stopRequest = STOP_ABORT;
            printAndFlush("pong %s\n", words[1]);
        }
    } else if (is("playother")) {
        forceMode   = 0;
        engineSide  = xside;
        stopRequest = STOP_ABORT;
    } else if (is("post")) {
        engineOptions |= OPTION_POST;
    } else if (is("nopost")) {
        engineOptions = std::uint16_t(engineOptions & ~OPTION_POST);
    } else if (is("protover")) {
        commandProtover();
    } else if (is("quit")) {
        pendingCommand = CMD_QUIT;
        stopRequest    = STOP_ABORT;
    } else if (is("remove")) {
        pendingCommand = CMD_UNDO;
        undoPlies      = 2;
        stopRequest    = STOP_ABORT;
    } else if (is("result")) {
        const int r = words[1][0] && words[1][1] == '-' ? (words[1][0] == '1' ? 1 : -1) : 0;
        if (engineOptions & OPTION_LEARN) learnFromResult(lastBookPly, postBookScores, r);
        gameOver    = 1;
        stopRequest = STOP_ABORT;
    } else if (is("setboard")) {
        pendingCommand = CMD_SETBOARD;
        copySetupText(line);
        stopRequest = STOP_ABORT;
    } else if (is("exclude") || is("include")) {
        std::snprintf(rootMoveWord, sizeof rootMoveWord, "%s", words[1]);
        rootMoveIncluded = is("include");
        pendingCommand   = CMD_ROOT_MOVES;
        stopRequest      = STOP_ABORT;
    } else if (is("option")) {
        // The value may hold spaces: the rest of the line after "option ".
        const char* text = std::strstr(line, "option") + 6;
        while (*text == ' ') ++text;
        std::snprintf(optionText, sizeof optionText, "%s", text);
        pendingCommand = CMD_OPTION;
        stopRequest    = STOP_ABORT;
    } else if (is("cores")) {
        setSearchThreads(number(1));
    } else if (is("sd")) {
        // An 8-bit depth, so sd -3 is 253, capped at 56.
        setFixedDepth(std::uint8_t(static_cast<unsigned long>(number(1))));
    } else if (is("st")) {
        setFixedMoveTime(readSeconds(words[1]));
    } else if (is("time")) {
        commandTime();
    } else if (is("otim")) {
        setClock(engineSide == NO_SIDE ? side : engineSide ^ 1, clampTime(number(1)));
    } else if (is("undo")) {
        pendingCommand = CMD_UNDO;
        undoPlies      = 1;
        stopRequest    = STOP_ABORT;
    } else if (is("?") && searching && !pondering && !analyzeMode) {
        stopRequest = STOP_MOVE_NOW;
    } else if (is("name")) {
    } else if (idle || pondering || analyzeMode) {
        moveRule();
    }
}

void applyRootMoveRequest() {
    if (std::strcmp(rootMoveWord, "all") == 0) {
        rootMoveIncluded ? clearRootFilter() : excludeAllRootMoves();
        return;
    }
    const Move m = findCoordinateText(rootMoveWord);
    if (!isLegalMove(m)) {
        printAndFlush("Error (not a legal move here): %s %s\n", rootMoveIncluded ? "include" : "exclude", rootMoveWord);
        return;
    }
    rootMoveIncluded ? includeRootMove(m) : excludeRootMove(m);
}

void applyOptionRequest() {
    char*       value = std::strchr(optionText, '=');
    const char* name  = optionText;
    if (value) *value++ = '\0';
    if (!value) return;
    if (std::strcmp(name, "MultiPV") == 0) setMultiPvLines(std::strtol(value, nullptr, 10));
    if (std::strcmp(name, "Strength") == 0) setStrength(std::strtol(value, nullptr, 10));
}
