// eval/evaluate.cpp: the evaluation driver. Terms are summed from white's
// view and turned to the side to move's view only at the lazy exit and at
// the end.
#include "eval/evaluate.h"
#include "board/position.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/psqt.h"

thread_local std::uint8_t    evaluationPhase = 255;
thread_local EvaluationTerms lastEvaluationTerms{};

const std::int8_t BISHOP_PAIR_BONUS[9] = {24, 24, 22, 22, 20, 20, 18, 14, 6};

void initPieceSquareTables() {
    fillPieceSquareTables();
    evaluationPhase = 255;
}

bool setEvaluationPhase() {
    const int phase = material[WHITE] > 1200 || material[BLACK] > 1200 ? 1 : 2;
    if (phase == evaluationPhase) return false;
    loadPawnWeights(phase);
    // Cached scores were made with the other weights.
    clearPawnHashTable();
    evaluationPhase = std::uint8_t(phase);
    return true;
}

static constexpr int DRAWISH_WHITE = 1;  // white cannot win
static constexpr int DRAWISH_BLACK = 2;  // black cannot win

// Material imbalance corrections (white's view) for the majors difference
// M (queen = 2 rooks), minors difference m and queens difference q.
static int imbalance(int M, int m, int q) {
    if (m == 0) return M != 0 ? 120 * M : 60 * q;
    if (M == 0) return 120 * m;
    switch (M) {
    case -1: return m == 1 ? -30 : m >= 2 ? 120 : 0;
    case 1: return m == -1 ? 30 : m <= -2 ? -120 : 0;
    case -2: return m > 2 && !pieceCount[WHITE][QUEEN] ? 120 : 0;
    case 2: return m < -2 && !pieceCount[BLACK][QUEEN] ? -120 : 0;
    default: return 0;
    }
}

// Which side cannot win with the material left (only when both sides have
// at most 1200 of pieces).
static int drawishFlags(int M, int m) {
    if (material[WHITE] > 1200 || material[BLACK] > 1200) return 0;
    const bool whitePawns = pieceCount[WHITE][PAWN] != 0, blackPawns = pieceCount[BLACK][PAWN] != 0;
    int        flags      = 0;
    if (M == 0) {
        // One minor piece up is not enough, except two bishops against a knight.
        if (!whitePawns && m == 1) {
            if (!(material[WHITE] == 600 && !pieceCount[WHITE][KNIGHT] && pieceCount[BLACK][KNIGHT]))
                flags |= DRAWISH_WHITE;
        } else if (!blackPawns && m == -1) {
            if (!(material[BLACK] == 600 && !pieceCount[BLACK][KNIGHT] && pieceCount[WHITE][KNIGHT]))
                flags |= DRAWISH_BLACK;
        }
        // Two knights cannot force mate.
        if (!whitePawns && material[WHITE] == 600 && !pieceCount[WHITE][BISHOP]) flags |= DRAWISH_WHITE;
        if (!blackPawns && material[BLACK] == 600 && !pieceCount[BLACK][BISHOP]) flags |= DRAWISH_BLACK;
    } else if (M == -m) {
        if (!whitePawns) flags |= DRAWISH_WHITE;
        if (!blackPawns) flags |= DRAWISH_BLACK;
    }
    return flags;
}

// A score good for a side that cannot win counts a quarter (toward zero).
static int applyDrawish(int score, int whiteViewScore, int flags) {
    if ((whiteViewScore > 0 && (flags & DRAWISH_WHITE)) || (whiteViewScore < 0 && (flags & DRAWISH_BLACK)))
        return score / 4;
    return score;
}

std::int16_t evaluate(std::int16_t alpha, std::int16_t beta) {
    const std::uint8_t* w = pieceCount[WHITE];
    const std::uint8_t* b = pieceCount[BLACK];
    // 1. Bare kings (or a lone minor): nobody can win.
    if (!w[PAWN] && !b[PAWN] && material[WHITE] < 500 && material[BLACK] < 500) return 0;

    // 2. Material, imbalance and the drawish flags.
    const int M = 2 * (w[QUEEN] - b[QUEEN]) + (w[ROOK] - b[ROOK]);
    const int m = (w[KNIGHT] + w[BISHOP]) - (b[KNIGHT] + b[BISHOP]);
    int score = 100 * (w[PAWN] - b[PAWN]) + material[WHITE] - material[BLACK];
    score += imbalance(M, m, w[QUEEN] - b[QUEEN]);
    const int materialScore = score;
    const int flags         = drawishFlags(M, m);

    // 3. Pawn structure (cached) and the passed-pawn pass (never cached).
    PawnHashEntry& entry  = probePawnHash();
    const int      passed = evaluatePassedPawns(entry);
    score += entry.score + passed;

    // 4. Lazy exit on the side to move's score.
    int own = side == WHITE ? score : -score;
    if (flags) own = applyDrawish(own, score, flags);
    if (own - LAZY_MARGIN >= beta || own + LAZY_MARGIN <= alpha) return std::int16_t(own);

    // 5. Backward follow-ups, pieces, mobility and king safety.
    const int        backward = evaluateBackwardFollowUps(entry);
    const PieceTerms terms    = evaluatePieces(entry);
    score += backward + terms.pieces + terms.kingSafety;

    // 6. Bishop pair, when only one side has it.
    int pair = 0;
    if (w[BISHOP] != b[BISHOP]) {
        if (w[BISHOP] >= 2) pair += BISHOP_PAIR_BONUS[w[PAWN]];
        if (b[BISHOP] >= 2) pair -= BISHOP_PAIR_BONUS[b[PAWN]];
    }
    score += pair;

    // 7. Mobility counts more with more material on the board.
    const int stmMaterial = material[side];
    const int weighted    = stmMaterial > 1600   ? terms.mobility + asr(terms.mobility, 1)
                            : stmMaterial > 1200 ? terms.mobility
                                                 : asr(terms.mobility, 1);
    score += weighted;
    if (flags) score = applyDrawish(score, score, flags);

    lastEvaluationTerms = {materialScore, entry.score, passed, backward + terms.pieces + pair + weighted,
                           terms.kingSafety, flags};
    // 8. Side to move's view.
    return std::int16_t(side == WHITE ? score : -score);
}
