// driver/gameloop.cpp: the game loop. The interpreter only records requests;
// every change of the board happens here, between searches.
#include "driver/gameloop.h"
#include <cstdio>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "driver/console.h"
#include "driver/protocol.h"
#include "driver/uci.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "game/state.h"
#include "search/hashtable.h"
#include "search/search.h"
#include "search/searchdata.h"
#include "search/think.h"
#include "search/timecontrol.h"
#include "tablebase/tablebase.h"

static void say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

static void generateHere() {
    ply = 0;
    generateAllMoves();
}

static void recordMoveText(Move m) {
    std::snprintf(moveTextHistory[gamePly], sizeof moveTextHistory[0], "%s", moveToSan(m));
}

bool insufficientMaterial() {
    if (pieceCount[WHITE][PAWN] || pieceCount[BLACK][PAWN]) return false;
    for (int c = 0; c < 2; ++c)
        if (pieceCount[c][ROOK] || pieceCount[c][QUEEN]) return false;
    const int knights = pieceCount[WHITE][KNIGHT] + pieceCount[BLACK][KNIGHT];
    const int bishops = pieceCount[WHITE][BISHOP] + pieceCount[BLACK][BISHOP];
    // Kings alone, or one knight or bishop against a bare king.
    if (knights + bishops <= 1) return true;
    if (knights) return false;
    // Only bishops, all on squares of one colour: no mate can ever arise.
    int colours = 0;
    for (int s = 0; s < 64; ++s)
        if (codeType(board[s]) == BISHOP) colours |= 1 << ((rowOf(s) + fileOf(s)) & 1);
    return colours != 3;
}

void announceResult() {
    generateHere();
    bool legal = false;
    for (std::uint32_t i = firstMove[0]; i < firstMove[1] && !legal; ++i)
        if (makeMove(moveStack[i].move)) {
            unmakeMove();
            legal = true;
        }
    char line[64] = "";
    if (legal) {
        if (repetitionCount() >= 2)
            std::snprintf(line, sizeof line, "1/2-1/2 {Draw by repetition}");
        else if (fiftyCount >= 100)
            std::snprintf(line, sizeof line, "1/2-1/2 {Draw by fifty move rule}");
        else if (insufficientMaterial())
            std::snprintf(line, sizeof line, "1/2-1/2 {Insufficient material}");
    } else if (!inCheck()) {
        std::snprintf(line, sizeof line, "1/2-1/2 {Stalemate}");
    } else {
        const char* comment = side == engineSide              ? "You win"
                              : (side ^ 1) == engineSide      ? "Computer wins"
                              : side == WHITE                 ? "Black wins"
                                                              : "White wins";
        std::snprintf(line, sizeof line, "%s {%s}", side == WHITE ? "0-1" : "1-0", comment);
    }
    if (line[0]) {
        gameOver = 1;
        say(line);
    }
}

// The engine resigns after three hopeless moves in a row, when the
// opponent has time enough to win.
static bool resigns() {
    if (!(engineOptions & OPTION_RESIGN) || levelMoves == 0) return false;
    if (lastScore >= -900) {
        resignCount = 0;
        return false;
    }
    if (++resignCount < 3) return false;
    const int m = levelMoves - (gamePly / 2) % levelMoves;
    return m > 0 && remainingTime[side] / m + levelIncrement > 500;
}

// Steps 5-12: the engine's turn. Returns after its move (and any ponder
// search that followed it).
// The book's move, unless it is illegal or repeats a position.
static Move chooseBookMove() {
    Move bookMove = probeBook(false);
    if (bookMove) {
        if (makeMove(bookMove)) {
            const bool repeats = repetitionCount() != 0;
            unmakeMove();
            if (repeats) bookMove = 0;
        } else {
            bookMove = 0;
        }
    }
    ply = 0;
    return bookMove;
}

// After a search of the engine's own move: the book is asked again only
// after three searched moves, and the first scores after the book are kept
// for learning.
static void noteSearchedMove() {
    if (bookProbesLeft > 0) --bookProbesLeft;
    const int k = (gamePly - lastBookPly - 1) / 2;
    if (k >= 0 && k < 5) postBookScores[k] = lastScore;
}

static void engineTurn() {
    Move bookMove = 0;
    if (bookProbesLeft > 0 && !analyzeMode) bookMove = chooseBookMove();
    ply = 0;
    for (;;) {
        thinkStartTime = elapsedTime();
        Move move      = 0;
        if (bookMove) {
            lastBookPly    = gamePly;
            bookProbesLeft = 3;
            stopRequest    = STOP_NONE;
            pvLength[0]    = 0;
            move           = bookMove;
        } else {
            think();
            if (pondering) {
                // The ponder search ended without a hit.
                pondering = 0;
                unmakeMove();
                ply = 0;
                return;
            }
            if (analyzeMode) return;
            move = pvLength[0] > 0 ? pvTable[0][0] : 0;
            noteSearchedMove();
            if (stopRequest == STOP_ABORT) {
                engineSide = NO_SIDE;
                return;
            }
        }
        if (!move) {
            say("ERROR (no legal moves): think");
            engineSide = NO_SIDE;
            gameOver   = 1;
            return;
        }
        // 10. Play it.
        recordMoveText(move);
        const int at = gamePly;
        if (!makeMove(move)) {
            say("ERROR (unexpected illegal move error): think");
            gameOver = 1;
        } else {
            appendCheckSign(at);
        }
        ply = 0;
        if ((engineOptions & OPTION_XBOARD) && !gameOver) {
            if (resigns()) {
                say("resign");
                gameOver = 1;
            } else {
                std::printf("move %s\n", moveTextHistory[at]);
                std::fflush(stdout);
                traceLog("SENT-> %s\n", moveTextHistory[at]);
            }
        }
        answerDeferredPing();
        lastMovePly = std::int16_t(gamePly - 1);
        announceResult();

        // 11. The clock: time used, a new control, the increment.
        // Summed in 64 bits and clamped: a long game of large controls
        // would otherwise run the clock past 32 bits.
        if (engineSide != NO_SIDE) {
            std::int64_t clock = remainingTime[engineSide];
            clock -= (elapsedTime() - thinkStartTime) / 10;
            if (levelMoves > 0 && ((gamePly + engineSide) / 2 + side) % levelMoves == 0) clock += levelBaseTime;
            if (levelIncrement > 0) clock += levelIncrement;
            clock = clock < -CLOCK_LIMIT ? -CLOCK_LIMIT : clock > CLOCK_LIMIT ? CLOCK_LIMIT : clock;
            remainingTime[engineSide] = std::int32_t(clock);
            traceLog("CLK-> %ld\n", static_cast<long>(clock));
        }

        // 12. Ponder on the predicted reply.
        // The pondered reply would put the ponder search's root past the limit.
        if (!(engineOptions & OPTION_PONDER) || gameOver || stopRequest == STOP_ABORT || pendingCommand != CMD_NONE ||
            pvLength[0] <= 2 || gamePly >= GAME_PLY_LIMIT)
            return;
        ponderMove = pvTable[0][1];
        ply = 0;
        if (!isGeneratedMove(ponderMove)) return;
        recordMoveText(ponderMove);
        if (!makeMove(ponderMove)) return;
        ply       = 0;
        pondering = 1;
        bookMove  = 0;
    }
}

static bool hasLegalMove() {
    generateHere();
    for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i)
        if (makeMove(moveStack[i].move)) {
            unmakeMove();
            ply = 0;
            return true;
        }
    return false;
}

// A reply worth naming for pondering: generated and legal after the move.
static Move checkedReply(Move move, Move reply) {
    if (!move || !reply || !makeMove(move)) return 0;
    ply           = 0;
    const bool ok = isGeneratedMove(reply) && makeMove(reply);
    if (ok) unmakeMove();
    unmakeMove();
    ply = 0;
    return ok ? reply : 0;
}

// The engine's move for a UCI go: chosen as the xboard side chooses it, then
// announced with bestmove and not played (the GUI sends the next position).
// After go infinite, and after go ponder without a ponderhit, the protocol
// wants the bestmove only once stop (or ponderhit) has come.
static void uciTurn() {
    pondering      = uciPonderGo ? 1 : 0;
    ponderMove     = pondering && gamePly > 0 ? gameHistory[gamePly - 1].move : 0;
    stopRequest    = STOP_NONE;
    thinkStartTime = elapsedTime();
    Move move = 0, reply = 0;
    if (!hasLegalMove()) {
        pvLength[0] = 0;
    } else {
        const bool bookAllowed = uciOwnBook && !uciInfinite && !pondering && bookProbesLeft > 0;
        move                   = bookAllowed ? chooseBookMove() : 0;
        if (move) {
            printUciInfoString("book move %s", moveToUci(move));
            lastBookPly    = gamePly;
            bookProbesLeft = 3;
            pvLength[0]    = 0;
        } else {
            std::int16_t tbScore;
            if (menCount <= egtbMaxPieces && probeTablebase(&tbScore))
                printUciInfoString("tablebase hit: score %d", tbScore);
            think();
            if (pondering) {
                // The ponder search keeps no variation; its last finished
                // iteration's is still in savedPv.
                move  = isGeneratedMove(savedPv[0]) ? savedPv[0] : 0;
                reply = move ? savedPv[1] : 0;
            } else {
                move  = pvLength[0] > 0 ? pvTable[0][0] : 0;
                reply = pvLength[0] > 1 ? pvTable[0][1] : 0;
                noteSearchedMove();
            }
            ply = 0;
        }
    }
    while (stopRequest == STOP_NONE && (uciInfinite || pondering)) {
        const char* line = readInput(true);
        if (!line) break;
        traceLog("CMD-> %s (%lu)\n", line, static_cast<unsigned long>(elapsedTime()));
        processUciCommand(line);
    }
    if (!move && hasLegalMove()) {
        // A search stopped before it named a move: the first legal one.
        for (std::uint32_t i = firstMove[0]; i < firstMove[1] && !move; ++i)
            if (makeMove(moveStack[i].move)) {
                unmakeMove();
                move = moveStack[i].move;
            }
        ply = 0;
    }
    printUciBestMove(move, checkedReply(move, reply));
    pondering   = 0;
    uciGoActive = false;
    uciInfinite = false;
    uciPonderGo = false;
}

// Step 15: the user's move, with the promotion letter choosing among the
// four promotions the generator lists queen, rook, bishop, knight.
static void applyUserMove() {
    if (gamePly >= GAME_PLY_LIMIT) {
        say("ERROR (maximum number of moves reached): main");
        pendingMove.from = pendingMove.to = -1;
        return;
    }
    generateHere();
    std::uint32_t found = firstMove[1];
    for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i)
        if (moveFrom(moveStack[i].move) == pendingMove.from && moveTo(moveStack[i].move) == pendingMove.to) {
            found = i;
            break;
        }
    Move move = 0;
    if (found < firstMove[1]) {
        move = moveStack[found].move;
        if (move & MOVE_PROMOTION) {
            const char letter = pendingMove.promotion;
            const int  shift  = letter == 'R' || letter == 'r' ? 1 : letter == 'B' || letter == 'b' ? 2
                                : letter == 'N' || letter == 'n'                               ? 3
                                                                                                : 0;
            move = moveStack[found + std::uint32_t(shift)].move;
        }
        recordMoveText(move);
    }
    const int at = gamePly;
    if (move && makeMove(move)) {
        ply = 0;
        appendCheckSign(at);
        if (!forceMode) engineSide = side;
        lastMovePly = std::int16_t(gamePly - 1);
        announceResult();
    } else {
        std::printf("Illegal move: %s\n", move ? moveTextHistory[at] : pendingMove.word);
        std::fflush(stdout);
        traceLog("IMV-> %d %d (%lu)\n", pendingMove.from, pendingMove.to, static_cast<unsigned long>(elapsedTime()));
    }
    pendingMove.from = pendingMove.to = -1;
}

static void carryOutCommand() {
    switch (pendingCommand) {
    case CMD_NEW:
        newGame();
        forceMode = 0;
        break;
    case CMD_UNDO:
        if (gamePly == 0) break;
        gameOver   = 0;
        engineSide = NO_SIDE;
        lastScore  = 0;
        if (gamePly < lastMovePly) bookProbesLeft = 3;
        unmakeMove();
        if (undoPlies == 2 && gamePly > 0) unmakeMove();
        ply = 0;
        break;
    case CMD_GO:
        if (engineSide != NO_SIDE) {
            const std::int32_t t       = remainingTime[engineSide];
            remainingTime[engineSide]  = remainingTime[side];
            remainingTime[side]        = t;
        }
        forceMode  = 0;
        engineSide = side;
        break;
    case CMD_FORCE:
        forceMode  = 1;
        engineSide = NO_SIDE;
        lastScore  = 0;
        break;
    case CMD_SETBOARD:
        // A position the engine cannot play leaves the board as it was, but
        // the game restarts all the same: the GUI has ended the old one, and
        // the engine must not go on playing a side in it.
        if (!setPositionFromFen(setupText)) say("tellusererror Illegal position");
        resetGame();
        break;
    case CMD_SEARCH:
        uciGoActive = true;
        break;
    case CMD_POSITION:
        setUpUciPosition();
        break;
    case CMD_ANALYZE:
        // A second analyze before exit must not save analysis's own settings.
        if (!analysisTimeSaved) {
            savedMoveTime     = moveTime;
            savedDepthLimit   = depthLimit;
            analysisTimeSaved = true;
        }
        moveTime          = 0;
        depthLimit        = 60;
        analyzeMode       = 1;
        break;
    default: break;
    }
}

void runGameLoop() {
    ponderMove     = 0;
    pollHook       = pollInputDuringSearch;  // the search hears the session's input
    bool firstLine = true;
    for (;;) {
        // 1-3.
        pendingCommand = CMD_NONE;
        undoPlies      = 0;
        if (uciMode) {
            // A UCI go; its position never passes the last playable ply.
            if (uciGoActive) uciTurn();
        } else {
            if (!gameOver && gamePly >= GAME_PLY_LIMIT) {
                say("ERROR (maximum number of moves reached): main");
                gameOver = 1;
            }
            if (analyzeMode) engineSide = side;
            // 4-12. The engine's turn.
            if (!gameOver && side == engineSide) engineTurn();
            answerDeferredPing();  // a search that ended without a move
        }
        // 13. Wait for a request; the end of input counts as quit. The first
        // line chooses the protocol: "uci" for UCI, anything else xboard.
        while (pendingCommand == CMD_NONE && pendingMove.from < 0) {
            const char* line = readInput(true);
            if (!line) {
                pendingCommand = CMD_QUIT;
                break;
            }
            traceLog("CMD-> %s (%lu)\n", line, static_cast<unsigned long>(elapsedTime()));
            if (firstLine) {
                firstLine = false;
                if (std::strcmp(line, "uci") == 0) enterUciMode();
            }
            if (uciMode)
                processUciCommand(line);
            else
                processCommand(line);
        }
        // 14. Quit.
        if (pendingCommand == CMD_QUIT) return;
        // 15-16.
        if (pendingMove.from >= 0) applyUserMove();
        carryOutCommand();
    }
}
