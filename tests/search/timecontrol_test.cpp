// Time control arithmetic, the soft-target stretch, the ponder hit, and
// searches abandoned mid-tree leaving the position exactly as it was.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <random>
#include "board/makemove.h"
#include "board/position.h"
#include "driver/console.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "search/searchdata.h"
#include "search/timecontrol.h"
#include "tests/test_support.h"
#include "tools/bench.h"
#include "tools/perft.h"

namespace {

// A fresh game at the initial position with the given control.
void setControl(int moves, int baseCentis, int increment, int whiteClock) {
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    resetSearchState();
    setClockControl(std::uint16_t(moves), baseCentis, std::uint16_t(increment));
    setClock(WHITE, whiteClock);
    setClockLag(20);
    lastScore   = 0;
    timeReserve = 0;
}

TEST(TimeControl, AllocationExamples) {
    // level 40 5 0 with 300 s left at the first move.
    setControl(40, 30000, 0, 30000);
    allocateTime();
    EXPECT_EQ(timeReserve, 20 * 40);
    EXPECT_EQ(targetTime, 722);
    EXPECT_EQ(moveTime, 4332);
    // level 0 5 0: sudden death.
    setControl(0, 30000, 0, 30000);
    allocateTime();
    EXPECT_EQ(targetTime, 742);
    EXPECT_EQ(timeReserve, 300);
    EXPECT_EQ(moveTime, 4452);
    // st 10: the whole budget less the clock lag, so the GUI never flags us.
    setControl(0, 0, 0, 1000);
    setFixedMoveTime(1000);
    allocateTime();
    EXPECT_EQ(targetTime, 1000 - 20);
    EXPECT_EQ(moveTime, 1000);
    setFixedMoveTime(50);  // st 0.5: at most a fifth is kept back
    setClockLag(200);
    allocateTime();
    EXPECT_EQ(targetTime, 40);
    // Two seconds left: below the floors, a share of the real clock.
    setControl(0, 30000, 0, 200);
    allocateTime();
    EXPECT_EQ(targetTime, 2);
    EXPECT_EQ(moveTime, 6);
    // The last move of a control may use everything left but the reserve.
    setControl(40, 30000, 0, 3000);
    gamePly = 78;  // 39 moves each made: white's 40th is next
    allocateTime();
    EXPECT_EQ(moveTime, 3000 - 300 - 20);
    // Behind on the clock and not losing: less time.
    setControl(0, 30000, 0, 10000);
    setClock(BLACK, 30000);
    allocateTime();
    EXPECT_EQ(targetTime, (9700 / 40) * 9700 / 30000);
}

// Sudden death with less than the reserve left: every move must leave most
// of the clock for the next ones, or a long game is lost on time.
TEST(TimeControl, ShortClockKeepsMostOfWhatIsLeft) {
    for (const int left : {320, 200, 80, 40, 17, 8, 3, 1, 0}) {
        for (const int increment : {0, 10, 100}) {
            setControl(0, 500, increment, left);
            allocateTime();
            const int bonus = std::min(increment * 3 / 4, left / 2);
            EXPECT_GE(moveTime, 1) << left;
            EXPECT_LE(moveTime, std::max(left / 32 + bonus, 1)) << left << " +" << increment;
            EXPECT_LE(targetTime, std::max(left / 96 + bonus, 1)) << left << " +" << increment;
            EXPECT_GE(targetTime, 1) << left;
            // Never more than half of a clock that has time on it.
            if (left >= 2) {
                EXPECT_LE(moveTime, left / 2) << left << " +" << increment;
            }
            EXPECT_EQ(pollMask, 0x0FFFu) << left;
        }
    }
    // Moves per control, ten moves to go and 30 cs left.
    setControl(40, 30000, 0, 30);
    gamePly = 60;
    allocateTime();
    EXPECT_EQ(moveTime, 1);
    // A normal budget polls at the usual interval and is not capped.
    setControl(0, 30000, 0, 30000);
    allocateTime();
    EXPECT_EQ(pollMask, 0xFFFFu);
    EXPECT_EQ(moveTime, 4452);
}

// checkTime at an elapsed time (cs) past the soft target, with the score
// cur against ref: whether it stops the search.
bool stopsAt(int elapsed, int cur, int ref, bool fixedTime = false, int alpha = 0) {
    inputPolling    = false;
    if (fixedTime)
        setFixedMoveTime(100000);
    else
        setClockControl(40, 30000, 0);
    setClock(WHITE, 1000000);
    setClock(BLACK, 1000000);
    iterationDepth  = 5;
    pondering       = 0;
    stopRequest     = STOP_NONE;
    moveTime        = 100000;  // the hard limit allocateTime would have set, far off
    targetTime      = 100;
    timeReserve     = 0;
    rootAlpha       = std::int16_t(alpha);
    rootBestScore   = std::int16_t(cur);
    savedScore      = std::int16_t(ref);
    lastScore       = std::int16_t(ref);
    startTimer();
    thinkStartTime = elapsedTime() - std::uint32_t(elapsed * 10);
    try {
        checkTime();
        return false;
    } catch (const SearchStopped&) {
        return true;
    }
}

TEST(TimeControl, AFixedTimeAMoveIsNeverStretched) {
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_FALSE(stopsAt(50, 0, 0, true));
    EXPECT_TRUE(stopsAt(150, -600, 0, true));  // a collapse, but st allows no stretch
    EXPECT_TRUE(stopsAt(150, -10000, 0, true, -10000));  // nor a re-search without a move
    EXPECT_FALSE(stopsAt(150, -10000, 0, false, -10000));  // which a clock control allows
}

TEST(TimeControl, SoftTargetStretchesWhenTheScoreDrops) {
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_FALSE(stopsAt(50, 0, 0));    // before the target
    EXPECT_TRUE(stopsAt(150, 0, 0));    // past it, steady score
    EXPECT_FALSE(stopsAt(350, -200, 0));  // a drop of 200: up to four times
    EXPECT_TRUE(stopsAt(450, -200, 0));
    EXPECT_FALSE(stopsAt(650, -600, 0));  // a collapse: up to seven times
    EXPECT_TRUE(stopsAt(750, -600, 0));
    EXPECT_EQ(stopRequest, STOP_MOVE_NOW);
    // The first two iterations are never interrupted.
    iterationDepth = 2;
    stopRequest    = STOP_ABORT;
    EXPECT_NO_THROW(checkTime());
}

TEST(TimeControl, PonderHitTurnsThePonderSearchIntoTheRealOne) {
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    inputPolling   = false;
    iterationDepth = 6;
    pondering      = 1;
    stopRequest    = STOP_PONDER_HIT;
    setFixedMoveTime(1020);  // a fresh target of 1000 after the clock lag
    setClockLag(20);
    rootBestScore  = 10;
    lastScore      = 10;
    ponderGamePly  = 7;
    startTimer();
    thinkStartTime = elapsedTime() - 30000;  // pondered 30 s
    EXPECT_NO_THROW(checkTime());
    EXPECT_EQ(targetTime, 1000 - 1000 * 3 / 4);
    EXPECT_EQ(pondering, 0);
    EXPECT_EQ(stopRequest, STOP_NONE);
    EXPECT_EQ(searchGamePly, 7);
    EXPECT_LT(elapsedTime() - thinkStartTime, 1000u);
}

// Everything a search must give back when it is abandoned.
struct Snapshot {
    std::string   fen;
    std::uint64_t key;
    std::uint32_t pawns;
    std::int16_t  plies;
    std::uint8_t  fifty;
    std::vector<std::uint8_t> history;
    std::uint16_t check;
};

Snapshot takeSnapshot() {
    Snapshot s{currentFen(), hashKey, pawnKey, gamePly, fiftyCount, {}, checkState[gamePly]};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(gameHistory);
    s.history.assign(bytes, bytes + sizeof(HistoryRecord) * std::size_t(gamePly));
    return s;
}

TEST(TimeControl, AbandonedSearchesRestoreThePosition) {
    std::mt19937 random(99);
    int          stopped = 0;
    const auto   positions = realGamePositions(SANITIZED ? 8 : 24, 1234);
    for (const std::string& fen : positions) {
        setUpFen(fen);
        resetSearchState();
        // A little game history, so that restoring it is tested as well.
        generateLegalCandidates();
        for (std::uint32_t j = firstMove[0]; j < firstMove[1]; ++j)
            if (makeMove(moveStack[j].move)) break;
        ply = 0;
        const Snapshot before = takeSnapshot();
        runSearch(64, 1 + int(random() % 15));  // 10 to 150 ms
        stopped += stopRequest == STOP_MOVE_NOW;
        const Snapshot after = takeSnapshot();
        EXPECT_EQ(after.fen, before.fen);
        EXPECT_EQ(after.key, before.key);
        EXPECT_EQ(after.pawns, before.pawns);
        EXPECT_EQ(after.plies, before.plies);
        EXPECT_EQ(after.fifty, before.fifty);
        EXPECT_EQ(after.history, before.history);
        EXPECT_EQ(after.check, before.check);
        EXPECT_EQ(ply, 0);
        // The move to play is legal.
        const Move best = pvTable[0][0];
        ASSERT_NE(best, 0u) << fen;
        bool generated = false;
        generateLegalCandidates();
        for (std::uint32_t j = firstMove[0]; j < firstMove[1]; ++j) generated |= moveStack[j].move == best;
        EXPECT_TRUE(generated) << fen;
        EXPECT_TRUE(makeMove(best)) << fen;
    }
    // The searches really were cut off mid-tree.
    EXPECT_GT(stopped, int(positions.size()) / 2);
}

}  // namespace
