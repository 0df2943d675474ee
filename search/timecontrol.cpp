// search/timecontrol.cpp: budgets from the clock, and the in-search poll.
#include "search/timecontrol.h"
#include <algorithm>
#include "board/position.h"
#include "io/console.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/thinking.h"
#include "search/threads.h"

std::int32_t targetTime;
std::int32_t timeReserve;
thread_local std::uint32_t pollMask = 0xFFFF;
static std::uint32_t       inputPollMask = 0xFFFF;  // the main thread's: when it reads input
void (*pollHook)();

static int rootSide() { return (ply & 1) ^ side; }

// A fixed time a move (st): the GUI flags the engine the moment that time
// is over, and the search only notices at its next poll, so it aims short of
// the limit by the clock lag, at most a fifth of the time.
static bool fixedMoveTime() { return levelMoves == 0 && levelBaseTime == 0; }
static std::int32_t fixedTimeTarget() {
    const std::int32_t margin = clockLag < moveTime / 5 ? clockLag : moveTime / 5;
    return moveTime - margin > 1 ? moveTime - margin : 1;
}

// Below the three seconds kept back, the floors of the budget would still
// spend a twentieth of a second a move, and a long sudden-death game would
// run the clock out: there a move aims at a ninety-sixth of what is really
// left and stops at a thirty-second, keeping time for a hundred more moves
// and the GUI's lag on each of them. Of an increment it spends three
// quarters, but never more than half the clock: the increment only comes
// once the move is made.
static void capToClock() {
    const std::int32_t left = remainingTime[rootSide()];
    if (left - 300 > 20) return;
    const std::int32_t bonus  = std::min<std::int32_t>(levelIncrement * 3 / 4, left / 2);
    const std::int32_t hard   = std::max<std::int32_t>(left / 32 + bonus, 1);
    const std::int32_t target = std::max<std::int32_t>(left / 96 + bonus, 1);
    if (moveTime > hard) moveTime = hard;
    if (targetTime > target) targetTime = target;
}

// 65536 nodes take a few hundredths of a second: a budget of a second or
// less hears the clock sooner, so it is not overrun by a whole interval. A
// node limit is watched every 64 nodes, without reading input more often.
void setPollInterval(bool shortBudget) {
    inputPollMask = shortBudget ? 0x0FFF : 0xFFFF;
    pollMask      = nodeLimit ? 0x3F : inputPollMask;
}

static void allocateClockTime();

void allocateTime() {
    allocateClockTime();
    if (!fixedMoveTime()) capToClock();
    setPollInterval(moveTime != 0 && moveTime < 100);
}

static void allocateClockTime() {
    // 1. A fixed time a move (st) or no control at all.
    if (fixedMoveTime()) {
        targetTime = fixedTimeTarget();
        return;
    }
    // 2. Keep three seconds back.
    const int     root    = rootSide();
    std::int32_t  myTime  = remainingTime[root] - 300;
    if (myTime <= 20) myTime = 20;
    const std::int32_t oppTime = remainingTime[root ^ 1];
    if (levelMoves == 0) {
        // 3. Whole game: a fortieth of what is left, plus the increment.
        timeReserve = 300;
        targetTime  = myTime / 40 + levelIncrement;
        if (targetTime <= 5) targetTime = 5;
    } else {
        // 4. Moves per control.
        const int n         = gamePly - ply;
        const int movesDone = root == WHITE ? (n + (n & 1)) / 2 : n / 2;
        const int movesLeft = movesToGo ? movesToGo : levelMoves - movesDone % levelMoves;
        timeReserve         = clockLag * movesLeft;
        if (timeReserve > myTime - 5 * movesLeft) {
            targetTime = moveTime = 5;
            return;
        }
        const std::int32_t avail   = myTime - timeReserve;
        const std::int32_t perMove = avail / movesLeft;
        const std::int32_t cap     = 2 * (levelBaseTime / levelMoves);
        targetTime                 = std::uint32_t(perMove) < std::uint32_t(cap) ? perMove : cap;
        if (movesLeft == 1) {
            moveTime = avail;
            return;
        }
        targetTime += levelIncrement;
    }
    // 5. Behind on the clock and not losing: spend proportionally less.
    if (oppTime > myTime * 6 / 5 && lastScore > -80) {
        targetTime = std::int32_t(std::int64_t(targetTime) * myTime / oppTime);
        if (targetTime < 5) targetTime = 5;
    }
    // 6. The hard limit.
    std::int32_t hard = myTime / 3 + targetTime;
    if (6 * targetTime < hard) hard = 6 * targetTime;
    if (myTime / 2 + levelIncrement < hard) hard = myTime / 2 + levelIncrement;
    moveTime = hard;
}

// How far past the soft target a dropping score may run.
static std::int32_t stretchedLimit() {
    const int cur = rootBestScore == -MATE_SCORE ? savedScore : rootBestScore;
    const int ref = savedScore > lastScore ? savedScore : lastScore;
    if (cur >= ref - 25 || (cur > 100 && cur >= ref - cur * 15 / 100 - 10)) return targetTime;
    if (cur < ref - 500) return targetTime * 7;
    if (cur < ref - 350) return targetTime * 6;
    if (cur < ref - 250) return targetTime * 5;
    if (cur < ref - 150) return targetTime * 4;
    if (cur < ref - 90) return targetTime * 3;
    if (cur < ref - 60) return 5 * targetTime / 2;
    return targetTime * 2;
}

void checkTime() {
    // 0. A helper thread only learns whether to stop: time, input and
    //    output are the main thread's.
    if (isHelperThread()) {
        if (helperMustStop(nodeCount)) throw SearchStopped();
        return;
    }
    // 1. The first two iterations run uninterrupted (under a node limit only
    //    the first: it is what gives the move).
    if (iterationDepth <= (nodeLimit ? 1 : 2)) return;

    // 2. Time limits (none while pondering or without a budget).
    std::uint32_t elapsed = 0;
    std::int32_t  limit   = 0;
    if (moveTime != 0 && !pondering) {
        elapsed = (elapsedTime() - thinkStartTime) / 10;
        if (fixedMoveTime())
            limit = targetTime;  // never stretched: the time a move is a hard limit
        else if (targetTime > std::int32_t(elapsed))
            limit = targetTime;
        else if (std::int64_t(elapsed) >= moveTime ||
                 std::int64_t(elapsed) > std::int64_t(remainingTime[rootSide()]) - timeReserve)
            limit = 0;
        else
            limit = stretchedLimit();
        // A re-search that has no move yet gets more time.
        if (!fixedMoveTime() && rootBestScore == -MATE_SCORE && rootAlpha == -MATE_SCORE && limit < 5 * targetTime / 2)
            limit = 5 * targetTime / 2;
    }

    // 3. One line of input.
    if (pollHook && (nodeCount & inputPollMask) == 0) pollHook();

    // 4. Ponder hit: the ponder search becomes the real search in place.
    if (stopRequest == STOP_PONDER_HIT) {
        printThinking(0, 0);
        const std::uint32_t now   = elapsedTime();
        const std::uint32_t spent = (now - thinkStartTime) / 10;
        thinkStartTime            = now;
        if (moveTime != 0) {
            const int v = rootBestScore == -MATE_SCORE ? savedScore : rootBestScore;
            allocateTime();
            if (targetTime > 200 && v > -100 && v < 200 && v > lastScore - 15) {
                const int k         = v >= 0 ? 3 : v > -50 ? 2 : 1;
                const std::int32_t used = std::int32_t(spent) < targetTime ? std::int32_t(spent) : targetTime;
                targetTime -= used * k / 4;
            }
        }
        expectedBalance = ponderBalance;
        searchGamePly   = ponderGamePly;
        pondering       = 0;
        stopRequest     = STOP_NONE;
        return;
    }

    // 5. Time or nodes up, or a stop or abort requested: leave the search.
    if (nodeLimit && !pondering && stopRequest == STOP_NONE && searchNodes() >= nodeLimit) stopRequest = STOP_MOVE_NOW;
    if (stopRequest == STOP_NONE) {
        if (std::int64_t(elapsed) <= limit) return;
        stopRequest = STOP_MOVE_NOW;
    }
    throw SearchStopped{};
}
