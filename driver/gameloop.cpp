// driver/gameloop.cpp: the game loop and the executor of the requests the
// interpreters record. Every change of the board happens here or in the
// engine's turn it calls, between searches.
#include "driver/gameloop.h"
#include <cstring>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "driver/console.h"
#include "driver/engineturn.h"
#include "driver/protocol.h"
#include "driver/uci.h"
#include "game/result.h"
#include "game/state.h"
#include "search/rootmoves.h"
#include "search/timecontrol.h"

// The user's move. A promotion without its letter is to a queen,
// and a letter after any other move is passed over.
static void applyUserMove() {
    if (gamePly >= GAME_PLY_LIMIT) {
        printAndFlush("ERROR (maximum number of moves reached): main\n");
        pendingMove.from = pendingMove.to = -1;
        return;
    }
    ply       = 0;
    Move move = findCoordinateMove(pendingMove.from, pendingMove.to, 0);
    if (!move)
        move = findCoordinateMove(pendingMove.from, pendingMove.to,
                                  pendingMove.promotion ? pendingMove.promotion : 'Q');
    if (move) recordMoveText(move);
    const int at = gamePly;
    if (move && makeMove(move)) {
        ply = 0;
        appendCheckSign(at);
        if (!forceMode) engineSide = side;
        lastMovePly = std::int16_t(gamePly - 1);
        announceResult();
    } else {
        printAndFlush("Illegal move: %s\n", move ? moveTextHistory[at] : pendingMove.word);
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
        if (engineSide != NO_SIDE && engineSide != side) exchangeClocks();
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
        if (!setPositionFromFen(setupText)) printAndFlush("tellusererror Illegal position\n");
        resetGame();
        break;
    case CMD_SEARCH:
        uciGoActive = true;
        break;
    case CMD_POSITION:
        setUpUciPosition();
        break;
    case CMD_ANALYZE:
        beginAnalysisLimits();
        analyzeMode = 1;
        break;
    case CMD_ROOT_MOVES:
        applyRootMoveRequest();
        break;
    case CMD_OPTION:
        applyOptionRequest();
        break;
    default: break;
    }
}

void runGameLoop() {
    ponderMove     = 0;
    pollHook       = pollInputDuringSearch;  // the search hears the session's input
    bool firstLine = true;
    for (;;) {
        // 1. No request is pending.
        pendingCommand = CMD_NONE;
        undoPlies      = 0;
        // 2. The engine's turn.
        if (uciMode) {
            // A UCI go; its position never passes the last playable ply.
            if (uciGoActive) uciTurn();
        } else {
            if (!gameOver && gamePly >= GAME_PLY_LIMIT) {
                printAndFlush("ERROR (maximum number of moves reached): main\n");
                gameOver = 1;
            }
            // The analysed moves are restricted only in analysis.
            if (analyzeMode)
                engineSide = side;
            else
                clearRootFilter();
            if (!gameOver && side == engineSide) engineTurn();
            answerDeferredPing();  // a search that ended without a move
        }
        // 3. Wait for a request; the end of input counts as quit. The first
        // line chooses the protocol: "uci" for UCI, anything else xboard.
        while (pendingCommand == CMD_NONE && pendingMove.from < 0) {
            const char* line = readCommand(true);
            if (!line) {
                pendingCommand = CMD_QUIT;
                break;
            }
            if (firstLine) {
                firstLine = false;
                if (std::strcmp(line, "uci") == 0) enterUciMode();
            }
            interpretCommand(line);
        }
        // 4. Quit.
        if (pendingCommand == CMD_QUIT) return;
        // 5. The user's move, then the command.
        if (pendingMove.from >= 0) applyUserMove();
        carryOutCommand();
    }
}
