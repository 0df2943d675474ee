// driver/engineturn.cpp: the engine's turn. The move comes from the book
// while it has one that repeats nothing, else from the search; xboard gets it
// played and then pondered on, UCI gets it named in bestmove.
#include "driver/engineturn.h"
#include <cstdint>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/rules.h"
#include "book/book.h"
#include "driver/console.h"
#include "driver/protocol.h"
#include "driver/uci.h"
#include "game/result.h"
#include "game/state.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/think.h"
#include "tablebase/tablebase.h"

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

// The engine's move under xboard. The loop goes round again when the
// predicted reply is played during the ponder search.
void engineTurn() {
    Move bookMove = 0;
    if (bookProbesLeft > 0 && !analyzeMode) bookMove = chooseBookMove();
    ply = 0;
    for (;;) {
        // 1. The move: the book's, or the search's.
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
            printAndFlush("ERROR (no legal moves): think\n");
            engineSide = NO_SIDE;
            gameOver   = 1;
            return;
        }
        // 2. Play it.
        recordMoveText(move);
        const int at = gamePly;
        if (!makeMove(move)) {
            printAndFlush("ERROR (unexpected illegal move error): think\n");
            gameOver = 1;
        } else {
            appendCheckSign(at);
        }
        ply = 0;
        if ((engineOptions & OPTION_XBOARD) && !gameOver) {
            if (resigns()) {
                printAndFlush("resign\n");
                gameOver = 1;
            } else {
                printAndFlush("move %s\n", moveTextHistory[at]);
                traceLog("SENT-> %s\n", moveTextHistory[at]);
            }
        }
        answerDeferredPing();
        lastMovePly = std::int16_t(gamePly - 1);
        announceResult();

        // 3. The clock: time used, a new control, the increment.
        if (engineSide != NO_SIDE) {
            chargeClock(engineSide, (elapsedTime() - thinkStartTime) / 10,
                        levelMoves > 0 && ((gamePly + engineSide) / 2 + side) % levelMoves == 0);
            traceLog("CLK-> %ld\n", static_cast<long>(remainingTime[engineSide]));
        }

        // 4. Ponder on the predicted reply.
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
void uciTurn() {
    pondering      = uciPonderGo ? 1 : 0;
    ponderMove     = pondering && gamePly > 0 ? gameHistory[gamePly - 1].move : 0;
    stopRequest    = STOP_NONE;
    thinkStartTime = elapsedTime();
    Move move = 0, reply = 0;
    if (!firstLegalMove()) {
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
        const char* line = readCommand(true);
        if (!line) break;
        processUciCommand(line);
    }
    // A search stopped before it named a move: the first legal one.
    if (!move) move = firstLegalMove();
    printUciBestMove(move, checkedReply(move, reply));
    pondering   = 0;
    uciGoActive = false;
    uciInfinite = false;
    uciPonderGo = false;
}
