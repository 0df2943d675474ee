// search/think.cpp: iterative deepening and the root search. checkTime
// leaves the search by throwing SearchStopped; think takes back the moves
// still made and falls back to the last finished iteration.
#include "search/think.h"
#include <cstdio>
#include <cstring>
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/rules.h"
#include "eval/evaluate.h"
#include "search/hashtable.h"
#include "search/ordering.h"
#include "search/quiesce.h"
#include "search/rootmoves.h"
#include "search/search.h"
#include "search/strength.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/thinking.h"
#include "search/threads.h"
#include "search/timecontrol.h"
#include "tablebase/tablebase.h"

static int materialBalance() { return material[side] - material[xside]; }

// Multi-PV: the main thread's best lines, best first after each iteration.
// Line k is searched with the moves of lines 0..k-1 left out; currentLine is
// the one under way (0 in a plain search and on helpers).
struct RootLine {
    Move         pv[MAX_PLY + 1];  // 0-terminated
    std::int16_t score;
};
static RootLine             rootLines[MAX_MULTI_PV];
static int                  rootLineCount;  // lines the last iteration found
static int                  wantedLines;    // the GUI's MultiPV, or more for a weakened search
static thread_local int     currentLine;
// The GUI's restriction of the root, unless it would leave no legal move
// (then this search ignores it). Set before the helpers start.
static bool                 rootRestricted;

static bool takenByEarlierLine(Move m) {
    for (int k = 0; k < currentLine; ++k)
        if (packMove(rootLines[k].pv[0]) == packMove(m)) return true;
    return false;
}

static bool restrictionLeavesAMove() {
    generateAllMoves();
    bool found = false;
    for (std::uint32_t i = firstMove[0]; i < firstMove[1] && !found; ++i) {
        const Move m = moveStack[i].move;
        found        = rootMoveSearched(m) && isLegalMove(m);
    }
    return found;
}

// Row 0 of the variations kept as a 0-terminated line (savedPv, a root
// line), and put back.
static void storeRowZero(Move* line) {
    std::memcpy(line, pvTable[0], sizeof(Move) * pvLength[0]);
    line[pvLength[0]] = 0;
}

static void loadRowZero(const Move* line) {
    int n = 0;
    while (n < MAX_PLY - 1 && line[n]) {
        pvTable[0][n] = line[n];
        ++n;
    }
    pvLength[0] = std::uint8_t(n);
}

// "++" or "--" after a window failure, for the GUI's benefit.
static void printWindowMark(const char* mark) {
    if (!isHelperThread() && currentLine == 0 && (engineOptions & OPTION_XBOARD) && (engineOptions & OPTION_POST) &&
        iterationDepth >= 3) {
        std::printf("%s\n", mark);
        std::fflush(stdout);
    }
}

std::int16_t rootSearch(int alpha, int beta, int depth) {
    // 1. Node count, hash move, the whole move list.
    if ((++nodeCount & pollMask) == 0) checkTime();
    const int  entryAlpha = alpha;
    HashHit    hit;
    const bool found   = hashTable && probeRootTable(&hit);
    const bool inCheck = (checkState[gamePly] & 0xFF) < 64;
    generateAllMoves();
    scoreMoveList();
    if (found && hit.move) markHashMove(unpackMove(hit.move));
    markPvMove();
    rootListInUse = true;
    struct ListGuard {
        ~ListGuard() { rootListInUse = false; }
    } guard;

    // 2. Every root move, principal variation search.
    rootMoveCount  = std::int16_t(firstMove[1] - firstMove[0]);
    legalRootMoves = rootMoveCount;
    rootMoveNumber = 1;
    int  best      = -MATE_SCORE;
    Move bestMove  = 0;
    bool first     = true;
    for (int i = 0; i < rootMoveCount; ++i, ++rootMoveNumber) {
        const Move m = pickBestMove(firstMove[0] + std::uint32_t(i));
        if ((rootRestricted && !rootMoveSearched(m)) || !makeMove(m)) {
            --legalRootMoves;
            continue;
        }
        if (currentLine > 0 && takenByEarlierLine(m)) {
            unmakeMove();
            continue;
        }
        std::int16_t tbScore;
        if (tbPieceLimit == -2 && probeTablebase(&tbScore) && tbScore != 0) {
            unmakeMove();  // it would give away the tablebase draw
            continue;
        }
        int childDepth = depth - 1;
        if ((checkState[gamePly] & 0xFF) < 64 && (depth < 3 || isCheckExtensible())) childDepth = depth;
        int s;
        if (first) {
            s     = childDepth <= 0 ? -quiesce(-beta, -alpha) : -search(-beta, -alpha, childDepth, 0, NODE_NULL_OK);
            first = false;
            if (windowFailed && s < alpha) alpha = s;
        } else {
            s = childDepth <= 0 ? -quiesce(-alpha - 1, -alpha) : -search(-alpha - 1, -alpha, childDepth, 0, NODE_NULL_OK);
            if (alpha < s && s < beta)
                s = childDepth <= 0 ? -quiesce(-beta, 1 - s) : -search(-beta, 1 - s, childDepth, 0, NODE_NULL_OK);
        }
        unmakeMove();
        if (s <= best) continue;
        historyTable[moveFrom(m)][moveTo(m)] += std::uint32_t(depth);
        best = std::int16_t(s);
        if (currentLine == 0) rootBestScore = std::int16_t(s);  // what the clock watches
        bestMove = m;
        if (s > alpha) {
            pvTable[0][0] = m;
            for (int j = 1; j < pvLength[1]; ++j) pvTable[0][j] = pvTable[1][j];
            pvLength[0] = pvLength[1];
            if (iterationDepth >= 3 && wantedLines == 1) printThinking(depth, s);
            if (s >= beta) {
                historyTable[moveFrom(m)][moveTo(m)] += std::uint32_t(depth);
                break;
            }
            alpha = s;
        }
    }

    // 3. No move, fifty moves, store.
    if (!bestMove) {
        rootFinished = 1;
        return std::int16_t(inCheck ? -MATE_SCORE : 0);
    }
    if (fiftyMovesPassed()) {
        rootFinished = 1;
        return 0;
    }
    if (best < alpha) best = alpha;
    // A result over some of the moves is not the position's.
    if (hashTable && currentLine == 0 && !rootRestricted) {
        const std::uint8_t flags = best <= entryAlpha ? HASH_UPPER : best >= beta ? HASH_LOWER : HASH_EXACT;
        storeRootTable(depth, best, flags, bestMove, best <= entryAlpha);
    }
    return std::int16_t(best);
}

// One depth at the root: the aspiration window (rootAlpha, rootBeta), then
// the re-searches a failure calls for. rootFinished tells that there was
// no move to search (or the fifty-move rule applies).
static int searchDepth() {
    followPv     = 1;
    rootFinished = 0;
    if (currentLine == 0) rootBestScore = -MATE_SCORE;
    windowFailed = 0;
    int s        = rootSearch(rootAlpha, rootBeta, iterationDepth);
    if (rootFinished) return s;
    bool fullWindow = false;
    if (s <= rootAlpha) {
        // Fail low: re-search below, measured against the first move.
        windowFailed = 1;
        printWindowMark("--");
        loadRowZero(savedPv);
        if (currentLine == 0) rootBestScore = -MATE_SCORE;
        rootAlpha = -MATE_SCORE;
        rootBeta  = std::int16_t(s + 1);
        s         = rootSearch(-MATE_SCORE, s + 1, iterationDepth);
        if (s >= rootBeta) {
            printWindowMark("++");
            fullWindow = true;
        }
    } else if (s >= rootBeta) {
        windowFailed = 1;
        printWindowMark("++");
        rootAlpha = std::int16_t(s - 1);
        s         = rootSearch(s - 1, MATE_SCORE, iterationDepth);
        if (s <= rootAlpha) {
            printWindowMark("--");
            fullWindow = true;
        }
    }
    if (fullWindow) {
        if (currentLine == 0) rootBestScore = -MATE_SCORE;
        rootAlpha = -MATE_SCORE;
        s         = rootSearch(-MATE_SCORE, MATE_SCORE, iterationDepth);
    }
    return s;
}

// The lines after the first at this depth (line 0 is done, in row 0), each
// with a window around its own last score and led by its own last variation;
// then all of them sorted, printed, and the best in row 0 again. Returns the
// best line's score.
static int searchOtherLines(int bestScore) {
    storeRowZero(rootLines[0].pv);
    rootLines[0].score = std::int16_t(bestScore);
    storeRowZero(savedPv);  // what a stop in a later line plays
    savedScore = std::int16_t(bestScore);
    int found          = 1;
    for (currentLine = 1; currentLine < wantedLines; ++currentLine) {
        RootLine&  line  = rootLines[currentLine];
        const bool known = currentLine < rootLineCount;
        if (known)
            loadRowZero(line.pv);
        else
            pvLength[0] = 0;
        rootAlpha   = std::int16_t(known ? line.score - ASPIRATION_WINDOW : -MATE_SCORE);
        rootBeta    = std::int16_t(known ? line.score + ASPIRATION_WINDOW : MATE_SCORE);
        const int s = searchDepth();
        if (rootFinished) break;  // no move left for this line
        storeRowZero(line.pv);
        line.score = std::int16_t(s);
        found      = currentLine + 1;
    }
    currentLine   = 0;
    rootFinished  = 0;
    rootLineCount = found;
    // Best first; a later line may have come out above an earlier one.
    for (int i = 1; i < found; ++i)
        for (int j = i; j > 0 && rootLines[j].score > rootLines[j - 1].score; --j) {
            const RootLine t = rootLines[j];
            rootLines[j]     = rootLines[j - 1];
            rootLines[j - 1] = t;
        }
    // The lines the GUI asked for; a weakened search's extra ones stay unseen.
    for (int i = 0; i < found && i < multiPvLines; ++i) {
        loadRowZero(rootLines[i].pv);
        thinkingLineNumber = multiPvLines > 1 ? i + 1 : 0;
        printThinking(iterationDepth, rootLines[i].score);
    }
    thinkingLineNumber = 0;
    loadRowZero(rootLines[0].pv);
    return rootLines[0].score;
}

// The iterations proper; returns the last completed score.
static int iterate() {
    int        s          = savedScore;
    const bool severalPvs = wantedLines > 1 && !isHelperThread();
    while (iterationDepth <= depthLimit) {
        s = searchDepth();
        if (rootFinished) break;
        if (severalPvs) s = searchOtherLines(s);
        // A completed iteration.
        rootAlpha                = std::int16_t(s - ASPIRATION_WINDOW);
        rootBeta                 = std::int16_t(s + ASPIRATION_WINDOW);
        pvTable[0][pvLength[0]]  = 0;
        lastIterationDepth       = iterationDepth;
        storeRowZero(savedPv);
        savedScore = std::int16_t(s);
        if (iterationDepth < 3) {
            if (!severalPvs) printThinking(iterationDepth, s);
        } else if (s > 9000 || s < -9000) {
            break;  // a mate was found
        }
        if (legalRootMoves == 1 && iterationDepth >= 3) break;
        if (recaptureSquare != -1) {
            if (moveTo(pvTable[0][0]) == recaptureSquare) {
                if (!pondering && iterationDepth >= 6) break;
            } else {
                recaptureSquare = -1;
            }
        }
        ++iterationDepth;
    }
    return s;
}

// A weakened search plays the line chooseLine picks among the last
// iteration's, best first.
static void playChosenLine() {
    std::int16_t scores[MAX_MULTI_PV];
    for (int i = 0; i < rootLineCount; ++i) scores[i] = rootLines[i].score;
    const int k = chooseLine(scores, rootLineCount);
    if (k == 0 || !rootLines[k].pv[0]) return;
    loadRowZero(rootLines[k].pv);
    lastScore = rootLines[k].score;
}

// What a helper needs of the main thread's search set-up: written before
// the helpers are woken, read by them after.
static int          helperRootScore;
static std::int16_t helperTbLimit;

// A helper's search on its copy of the root: the main thread's iterations
// without their output, from its own depth, until it is stopped.
static void searchAsHelper(int helper) {
    clearOrderingTables();
    nodeCount       = 0;
    pollMask        = 0x3FF;  // a stop reaches a helper within a millisecond or so
    recaptureSquare = -1;
    tbPieceLimit    = helperTbLimit;
    setEvaluationPhase();  // its own pawn weights; the shared tables stay as they are
    std::memset(pvTable, 0, sizeof pvTable);
    pvLength[0]        = 0;
    lastIterationDepth = 0;
    // Odd helpers one ply deeper, so that the threads spread over depths.
    iterationDepth = std::int16_t(1 + (helper & 1));
    savedScore     = std::int16_t(helperRootScore);
    rootAlpha      = std::int16_t(helperRootScore - ASPIRATION_WINDOW);
    rootBeta       = std::int16_t(helperRootScore + ASPIRATION_WINDOW);
    try {
        iterate();
    } catch (const SearchStopped&) {
        while (ply > 0) unmakeMove();
    }
    helperMustStop(nodeCount);  // its last count
}

void think() {
    searching      = 1;
    iterationDepth = 1;
    stopRequest    = STOP_NONE;
    currentLine    = 0;
    rootLineCount  = 0;
    selDepth       = 0;
    // Below full strength a game's search (one with a clock) is held to a
    // node budget and weighs its best few moves; analysis stays whole.
    const bool          weakened  = strengthElo && moveTime != 0;
    const std::uint64_t guiLimit  = nodeLimit;
    wantedLines                   = weakened && strengthLines() > multiPvLines ? strengthLines() : multiPvLines;
    if (weakened && (!nodeLimit || nodeLimit > strengthNodeBudget())) nodeLimit = strengthNodeBudget();
    try {
        // 1. Budgets and fresh ordering tables.
        setPollInterval(false);
        if (moveTime != 0 && !pondering) allocateTime();
        clearOrderingTables();
        ply       = 0;
        nodeCount = 0;

        // 2. The opponent played the predicted reply: start two plies on.
        if (pvLength[0] > 2 && lastIterationDepth > 2 && gamePly == searchGamePly + 2 &&
            (gameHistory[gamePly - 1].move & 0xFFF) == (pvTable[0][1] & 0xFFF)) {
            pvTable[0][pvLength[0]] = 0;
            int n = 0;
            while ((pvTable[0][n] = pvTable[0][n + 2]) != 0) ++n;
            pvLength[0] = std::uint8_t(n);
            storeRowZero(savedPv);
            iterationDepth = std::int16_t((lastIterationDepth < depthLimit ? lastIterationDepth : depthLimit) - 1);
            printThinking(iterationDepth, lastScore);
        } else {
            std::memset(pvTable, 0, sizeof pvTable);
            pvLength[0] = 0;
        }

        // 3. An obvious recapture after the opponent won material.
        const int balance = materialBalance();
        recaptureSquare   = -1;
        if (gamePly == searchGamePly + 2 && expectedBalance > balance + 200) {
            const int c = moveTo(gameHistory[gamePly - 1].move);
            if (countAttackers(c, side) == 1) recaptureSquare = std::int8_t(c);
        }

        // 4. Age stamps, evaluation phase.
        if (!pondering) {
            expectedBalance = std::int16_t(balance);
            searchGamePly   = gamePly;
        } else {
            ponderBalance = std::int16_t(balance);
            ponderGamePly = gamePly;
            ponderScore   = lastScore;
        }
        lastIterationDepth = 0;
        updateEvaluationPhase();

        // 5. A tablebase draw at the root switches probing off below it.
        std::int16_t tbScore;
        tbPieceLimit = std::int16_t(egtbMaxPieces);
        if (menCount <= egtbMaxPieces && castleRights == 0 && probeTablebase(&tbScore) && tbScore == 0) tbPieceLimit = -2;

        // 6. The GUI's restriction of the root moves, if it leaves one.
        rootRestricted = rootFilterActive() && restrictionLeavesAMove();

        // 7. Iterate, with the helper threads on the same root until the
        //    main thread's search ends, however it ends.
        savedScore = lastScore;
        rootAlpha  = std::int16_t(lastScore - ASPIRATION_WINDOW);
        rootBeta   = std::int16_t(lastScore + ASPIRATION_WINDOW);
        helperRootScore = lastScore;
        helperTbLimit   = tbPieceLimit;
        helperSearch    = searchAsHelper;
        startHelpers();
        struct HelperGuard {
            ~HelperGuard() { stopHelpers(); }
        } helperGuard;
        const int s = iterate();
        if (pondering) pvLength[0] = 0;
        lastScore = std::int16_t(s);
    } catch (const SearchStopped&) {
        // 8. The interrupted line is still made.
        while (ply > 0) unmakeMove();
        if (currentLine > 0) {
            // Stopped in a later line: the first line of this depth stands.
            currentLine   = 0;
            rootBestScore = -MATE_SCORE;
        }
        if (pondering) {
            lastScore   = ponderScore;
            pvLength[0] = 0;
        } else if (rootBestScore > rootAlpha) {
            lastScore = rootBestScore;
            if (stopRequest == STOP_MOVE_NOW && iterationDepth < 3) printThinking(iterationDepth, rootBestScore);
        } else {
            loadRowZero(savedPv);
            lastScore = savedScore;
        }
    }
    nodeLimit = guiLimit;
    if (weakened && !pondering && rootLineCount > 1) playChosenLine();
    searching = 0;
}
