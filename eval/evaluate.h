// eval/evaluate.h: static evaluation and the choice of its phase. Scores
// are centipawns.
#pragma once
#include <cstdint>
#include "board/types.h"

extern THREAD_STATE std::uint8_t evaluationPhase;  // 1 middlegame, 2 endgame, 255 not chosen yet

extern const std::int8_t BISHOP_PAIR_BONUS[9];  // by the owner's pawn count

// Start-up and every new game: fills the piece-square tables and leaves the
// phase to be chosen afresh.
void initPieceSquareTables();

// Before every search: picks middlegame (1) or endgame (2) weights by the
// material left and, when the phase changes, clears the pawn hash table and
// returns true: scores cached elsewhere were made with the other weights.
bool setEvaluationPhase();

constexpr int LAZY_MARGIN = 300;
// Static score of the position in centipawns, side to move's view. The
// window only serves the lazy exit: (-10000, 10000) gives the full score,
// (10000, -10000) the cheap estimate (material, imbalance, pawns).
std::int16_t evaluate(std::int16_t alpha, std::int16_t beta);

// The main terms of the last full evaluation, white's view, for display.
struct EvaluationTerms {
    int material;    // material and imbalance
    int pawns;       // cached pawn structure
    int passed;      // passed pawns and the race
    int pieces;      // pieces, mobility, bishop pair, backward follow-ups
    int kingSafety;  // both kings
    int drawish;     // DrawishFlags: 1 white cannot win, 2 black cannot win
};
extern THREAD_STATE EvaluationTerms lastEvaluationTerms;
