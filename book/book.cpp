// book/book.cpp: weighing the book moves of a position and learning from
// finished games. Scores stored by book scoring are from the view of the
// side to move in the stored position, the opponent of the side choosing,
// so they are compared negated.
#include "book/book.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "game/state.h"
#include "search/settings.h"

static std::uint32_t randomState = 1;
void (*bookLineHook)(const char* candidates);

void seedBookRandom(std::uint32_t seed) { randomState = seed; }

int bookRandom() {
    randomState = randomState * 214013u + 2531011u;
    return int((randomState >> 16) & 0x7FFF);
}

namespace {

struct Candidate {
    Move         move;
    BookRecord   record;
    long         offset;
    std::int32_t weight;
    int          order;  // position in collection order
};

// Generated moves of the position at ply 0 (evasions in check).
void generateRootMoves() {
    ply = 0;
    generateAllMoves();
}

// The result rate in thousandths. A sound record never holds more wins or
// losses than games, so it lies in -1000..1000; a damaged one is held to the
// same bounds, which keeps every weight term within a few hundred.
int resultRate(const BookRecord& r) {
    if (r.frequency == 0) return 0;
    const std::int64_t q = std::int64_t(r.winLoss) * 1000 / std::int64_t(r.frequency);
    return int(q < -1000 ? -1000 : q > 1000 ? 1000 : q);
}
int comparisonScore(const BookRecord& r) { return r.scoredDepth ? -int(r.searchScore) : -128; }

// Candidates in collection order; more than 32 keep the most frequent.
int collectCandidates(Candidate* out) {
    static Candidate all[256];
    int              count = 0;
    generateRootMoves();
    const std::uint32_t end = firstMove[1];
    for (std::uint32_t i = firstMove[0]; i < end && count < 256; ++i) {
        const Move m = moveStack[i].move;
        if (!makeMove(m)) continue;
        BookRecord record;
        long       offset;
        if (findBookRecord(&record, &offset) && (record.frequency >= 5 || record.scoredDepth != 0)) {
            all[count] = {m, record, offset, 0, count};
            ++count;
        }
        unmakeMove();
    }
    while (count > BOOK_MAX_CANDIDATES) {
        int least = 0;
        for (int i = 1; i < count; ++i)
            if (all[i].record.frequency < all[least].record.frequency) least = i;
        for (int i = least; i + 1 < count; ++i) all[i] = all[i + 1];
        --count;
    }
    std::memcpy(out, all, sizeof(Candidate) * std::size_t(count));
    return count;
}

}  // namespace

Move probeBook(bool print) {
    if (!bookFile) return 0;
    Candidate c[BOOK_MAX_CANDIDATES];
    const int n = collectCandidates(c);
    if (n == 0) return 0;

    // Running values over the candidates.
    std::uint32_t maxFrequency = 0;
    int           minRate = 1000, maxRate = -1000, maxLearned = 100, maxComparison = -53;
    for (int i = 0; i < n; ++i) {
        const BookRecord& r = c[i].record;
        if (r.frequency > maxFrequency) maxFrequency = r.frequency;
        const int q = resultRate(r);
        if (q < minRate) minRate = q;
        if (q > maxRate) maxRate = q;
        const int learned = r.learned < 0 ? -int(r.learned) : r.learned;
        if (learned > maxLearned) maxLearned = learned;
        if (r.scoredDepth && comparisonScore(r) > maxComparison) maxComparison = comparisonScore(r);
    }
    if (maxFrequency == 0) maxFrequency = 1;

    // Weights.
    const int range = maxRate - minRate < 1 ? 1 : maxRate - minRate;
    for (int i = 0; i < n; ++i) {
        BookRecord& r = c[i].record;
        if (r.skipCount > 0) {
            --r.skipCount;
            writeBookSkipCount(r.skipCount, c[i].offset);
            c[i].weight = 0;
            continue;
        }
        int resultTerm = int(double(resultRate(r) - minRate) * 120.0 / range);
        if (r.frequency < 20) resultTerm = resultTerm * int(r.frequency) / 20;
        int d = maxComparison - comparisonScore(r);
        if (d > 75) d = 75;
        const int w = int(double(r.frequency) * 360.0 / double(maxFrequency) + (75 - d) * 120.0 * 0.013333333333333334 +
                          double(resultTerm));
        const int learning = std::int16_t(int(double(r.learned) * 400.0 / maxLearned));
        int       weight   = w > 0 && w + learning <= 0 ? w / 8 : w + learning;
        c[i].weight        = weight < 0 ? 0 : weight;
    }

    // Exchange sort, highest weight first.
    for (int i = 0; i + 1 < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (c[i].weight < c[j].weight) {
                const Candidate t = c[i];
                c[i]              = c[j];
                c[j]              = t;
            }

    // Variety in the first moves: rarely played side lines are dropped.
    if (gamePly < 10 && n > 3)
        for (int i = 3; i < n; ++i)
            if (c[i].record.frequency < std::uint32_t(200 - 20 * gamePly)) c[i].weight = 0;

    // The listing (bk) or the thinking-style line.
    char text[1024];
    int  length = 0;
    for (int i = 0; i < n && i < 10; ++i) {
        const int room = int(sizeof text) - length;
        if (room < 80) break;
        if (print)
            length += std::snprintf(text + length, std::size_t(room), "%s\t[%d, %u, %d, %d]\n ", moveToSan(c[i].move),
                                    c[i].weight, c[i].record.frequency, c[i].record.winLoss, c[i].record.learned);
        else
            length += std::snprintf(text + length, std::size_t(room), "%s ", moveToSan(c[i].move));
    }
    if (print)
        std::printf(" Move\t[Weight, Frequency, Win/Loss, Learned]\n %s\n\n", text);
    else if (bookLineHook)
        bookLineHook(text);
    else
        std::printf("0 0 0 0 ( %s)\n", text);
    std::fflush(stdout);

    // The choice, in proportion to the weights.
    if (c[0].weight <= 0) return 0;
    std::int64_t total = 0;
    for (int i = 0; i < n; ++i) total += c[i].weight;
    std::int64_t x = std::int64_t(bookRandom()) * total / 32767;
    for (int i = 0; i < n; ++i) {
        if (c[i].weight <= 0) continue;
        x -= c[i].weight;
        if (x < 0) return c[i].move;
    }
    return 0;
}

// Moves from the game record are only made where the generator has them.
static bool replayMove(Move m) {
    ply = 0;
    if (!isGeneratedMove(m) || !makeMove(m)) return false;
    ply = 0;
    return true;
}

void learnFromResult(int L, const std::int16_t* S, int r) {
    if (!bookFile) return;
    const int  G           = gamePly;
    const bool engineWhite = (L & 1) == 0;
    const int  res         = engineWhite ? r : -r;
    // Time a move: moves per control, or the same estimate as the time
    // allocation uses for a whole-game control.
    const long perMove = levelMoves ? long(std::uint32_t(levelBaseTime) / levelMoves) + levelIncrement
                                    : long(levelBaseTime / 40) + levelIncrement;
    if (L < 4 || G - L <= 4 || levelBaseTime <= 0 || perMove < 1000) return;
    if (res > 0 && !(engineOptions & OPTION_COMPUTER_OPPONENT)) return;

    const int T = (engineWhite ? -10 : -60) + (res == 0 ? 40 : 0);
    int       k = (G - L - 3) / 2;
    if (k > 4) k = 4;
    const int s     = S[k];
    int       delta = G - L <= 40 ? 2 * res : res;
    if (res < 0 && s < T) {
        if (S[0] < T) --delta;
        if (s < S[0] - 50) --delta;
    } else if (res >= 0 && s > T + 50) {
        if (S[0] > T + 50) ++delta;
        if (s > S[0] + 50) ++delta;
    }

    // Replay the game from its record.
    static Move moves[MAX_GAME_PLIES];
    for (int i = 0; i < G; ++i) moves[i] = gameHistory[i].move;
    newGame();
    const int h = L - 2 * (L / 4);
    int       i = 0;
    if (!engineWhite) {
        if (!replayMove(moves[0])) return;
        i = 1;
    }
    while (i <= L) {
        if (!replayMove(moves[i++])) return;
        BookRecord record;
        long       offset;
        if (!findBookRecord(&record, &offset)) return;
        if (record.learned < 0 && res == 0) ++record.learned;
        int step = 0;
        if (delta < 0) {
            if (i > h) {
                int skip = record.skipCount + 1 + (i > (3 * h) / 2 ? 1 : 0);
                record.skipCount = std::uint8_t(skip > 255 ? 255 : skip);
            }
            const int v    = (L - i + 1) / 2 + delta;
            step           = v < -1 ? v : -1;
            const int next = record.learned + step;
            record.learned = std::int16_t(next < -32768 ? -32768 : next);
        } else if (delta > 0) {
            const int v    = delta - (L - i + 1) / 2;
            step           = v > 1 ? v : 1;
            const int next = record.learned + step;
            record.learned = std::int16_t(next > 32767 ? 32767 : next);
        }
        if (record.learned == 0) record.learned = step > 0 ? 1 : -1;
        writeBookRecord(record, offset);
        if (i < G && !replayMove(moves[i++])) return;
    }
}
