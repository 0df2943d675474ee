// The evaluation: hand-worked numeric cases, colour-mirror symmetry on real
// positions, the pawn hash cache and the lazy exit.
#include <gtest/gtest.h>
#include <cctype>
#include <cstring>
#include <sstream>
#include "board/position.h"
#include "board/setup.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "tests/test_support.h"

namespace {

// A position ready for evaluation: pawn hash allocated and cleared, weights
// of the position's phase loaded.
void setUpEval(const std::string& fen) {
    setUpFen(fen);
    ASSERT_TRUE(allocatePawnHashTable());
    clearPawnHashTable();
    setEvaluationPhase();
}

int fullEval() { return evaluate(-10000, 10000); }

// Ranks reflected, colours exchanged, side to move exchanged.
std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string        placement, stm, castling, ep;
    in >> placement >> stm >> castling >> ep;
    std::vector<std::string> ranks;
    std::stringstream        ps(placement);
    for (std::string rank; std::getline(ps, rank, '/');) ranks.push_back(rank);
    std::string out;
    for (auto it = ranks.rbegin(); it != ranks.rend(); ++it) {
        if (!out.empty()) out += '/';
        for (char c : *it) out += std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c));
    }
    std::string castle;
    for (char c : std::string("KQkq"))
        for (char have : castling)
            if (have == (std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c)))) castle += c;
    if (castle.empty()) castle = "-";
    std::string mirroredEp = ep == "-" ? "-" : std::string{ep[0], char('1' + '8' - ep[1])};
    return out + (stm == "w" ? " b " : " w ") + castle + " " + mirroredEp + " 0 1";
}

// Whether a rook of either colour sees an own rook first to its north,
// south or west: the rule that looks north and west for both colours.
bool rookNorthWestRuleApplies() {
    for (int s = 0; s < 64; ++s) {
        if (codeType(board[s]) != ROOK) continue;
        for (int d : {NORTH, SOUTH, WEST})
            if (board[nearestPiece[s][d]] == board[s]) return true;
    }
    return false;
}

TEST(Evaluation, MaterialRulesAndDrawishDivision) {
    for (const char* fen : {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/3BK3 w - - 0 1",
                            "4k3/8/8/8/8/8/8/3NK3 b - - 0 1", "3nk3/8/8/8/8/8/8/3BK3 w - - 0 1"}) {
        setUpEval(fen);
        EXPECT_EQ(fullEval(), 0) << fen;
    }
    // Rook against bishop, no pawns: both flags, any advantage divided by 4.
    setUpEval("4k3/8/8/3b4/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(lastEvaluationTerms.drawish, 0);  // not evaluated yet
    const int rookVsBishop = fullEval();
    EXPECT_EQ(lastEvaluationTerms.drawish, 3);
    EXPECT_GT(rookVsBishop, 0);
    EXPECT_LT(rookVsBishop, 100);
    // Two bishops against a knight are not drawish; bishop and knight are.
    setUpEval("4k3/8/8/3n4/8/8/8/2B1KB2 w - - 0 1");
    fullEval();
    EXPECT_EQ(lastEvaluationTerms.drawish, 0);
    EXPECT_EQ(lastEvaluationTerms.material, 300 + 120);  // M = 0, m = 1: +120
    setUpEval("4k3/8/8/3n4/8/8/8/2B1KN2 w - - 0 1");
    fullEval();
    EXPECT_EQ(lastEvaluationTerms.drawish, 1);
    // Imbalance: a rook against a minor piece and pawn (M = 1, m = -1): +30.
    setUpEval("4k3/8/8/3n4/8/8/8/R3K3 w - - 0 1");
    fullEval();
    EXPECT_EQ(lastEvaluationTerms.material, 200 + 30);
    // Queen against two rooks: M = 0, q = 1: +60.
    setUpEval("r3k2r/8/8/8/8/8/8/3QK3 w - - 0 1");
    fullEval();
    EXPECT_EQ(lastEvaluationTerms.material, -100 + 60);
}

TEST(Evaluation, PawnStructureNumbers) {
    // Endgame phase (no pieces): a lone passer on the seventh rank.
    setUpEval("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    ASSERT_EQ(evaluationPhase, 2);
    PawnHashEntry& one = probePawnHash();
    // pst 5, isolated -20, passed +140, majority of one free pawn +12.
    EXPECT_EQ(one.score, 5 - 20 + 140 + 12);
    EXPECT_EQ(one.whitePassedFiles, 1);
    // Two side by side: +8 side by side for the left one, +46 each beside.
    setUpEval("4k3/PP6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(probePawnHash().score, (5 + 8 + 140 + 46) + (10 + 140 + 46) + 3 * 12);
    // Doubled: a2 with a3 ahead of it is doubled and never passed; a3 is.
    setUpEval("4k3/8/8/8/8/P7/P7/4K3 w - - 0 1");
    PawnHashEntry& doubled = probePawnHash();
    EXPECT_EQ(doubled.score, (0 - 20 - 12) + (1 - 20 + 15) + 12);
    EXPECT_EQ(doubled.whitePassedFiles, 1);
}

TEST(Evaluation, PiecesAndKingSafetyNumbers) {
    // Queens off, no attack units, intact shelters on both sides: king term 0.
    setUpEval("rnb2rk1/5ppp/8/8/8/8/5PPP/RNB2RK1 w - - 0 1");
    PawnHashEntry& entry = probePawnHash();
    EXPECT_EQ(evaluatePieces(entry).kingSafety, 0);
    EXPECT_EQ(entry.shelter[0], 0);  // filled lazily for the king on g1
    EXPECT_EQ(entry.shelter[3], 0);
    EXPECT_EQ(entry.shelter[1], 255);

    // Doubled rooks on the open d-file with five pawns: 30 + 15 + 5.
    setUpEval("6k1/ppp2ppp/8/8/8/8/PPP2PP1/3RR1K1 w - - 0 1");
    const int apart = evaluatePieces(probePawnHash()).pieces;
    setUpEval("6k1/ppp2ppp/8/8/8/8/PPPR1PP1/3R2K1 w - - 0 1");
    const int doubled = evaluatePieces(probePawnHash()).pieces;
    // Apart: d1 open 15, e1 open 15 and +5 for d1 west of e1.
    EXPECT_EQ(apart, 15 + 15 + 5);
    EXPECT_EQ(doubled, 30 + 15 + 5);

    // A side without a queen facing one: its king term times 1.5. Black's
    // king on e8 behind d7 e7 f7 (shelter 0) scores its square, -8, which
    // the white queen makes -12; with the queen on the board white has more
    // than 1600, so the king off its corner also loses 50. White, facing
    // only rooks (1000), has the endgame king table: 15 on e1.
    setUpEval("r3k2r/3ppp2/8/8/8/8/3PPP2/R2QK2R w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).kingSafety, 15 - (-50 - 12));
    setUpEval("r3k2r/3ppp2/8/8/8/8/3PPP2/R2RK2R w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).kingSafety, 15 - (-8));

    // A rook on the seventh only while the enemy king is on its back rank
    // and the enemy has at most 1600 of pieces; here also on an open file.
    setUpEval("7k/R7/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).pieces, 15 + 15);
    setUpEval("8/R7/7k/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).pieces, 15);
    setUpEval("q6k/R7/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).pieces, 15 + 15);  // 900 of pieces (a8 scores 0)
    setUpEval("qq5k/R7/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluatePieces(probePawnHash()).pieces, 15);  // 1800 of pieces: no seventh
}

TEST(Evaluation, PawnRaceVerdicts) {
    // White a5 queens in three, black h6 in five: +800 for white.
    setUpEval("7k/8/7p/P7/8/8/8/K7 w - - 0 1");
    fullEval();
    EXPECT_GE(lastEvaluationTerms.passed, 800);
    EXPECT_GT(fullEval(), 700);
    // The mirror image is worth the same to black.
    setUpEval(mirrorFen("7k/8/7p/P7/8/8/8/K7 w - - 0 1"));
    fullEval();
    EXPECT_LE(lastEvaluationTerms.passed, -800);
    // With the black king inside the pawn's square there is no verdict.
    setUpEval("8/2k5/7p/P7/8/8/8/K7 w - - 0 1");
    fullEval();
    EXPECT_LT(lastEvaluationTerms.passed, 400);
}

// The mirror image scores the same, except that the arithmetic shifts of
// the mobility weighting and of king safety round odd negative values
// down: that costs at most one point each (mobility, two kings).
TEST(Evaluation, ColourMirrorSymmetryOnRealPositions) {
    int compared = 0, exact = 0;
    for (const std::string& fen : realGamePositions(SANITIZED ? 150 : 800, 4242)) {
        setUpEval(fen);
        if (rookNorthWestRuleApplies()) continue;
        const int             score = fullEval();
        const EvaluationTerms terms = lastEvaluationTerms;
        const std::string     mirrored = mirrorFen(fen);
        setUpEval(mirrored);
        if (rookNorthWestRuleApplies()) continue;
        const int mirroredScore = fullEval();
        EXPECT_NEAR(mirroredScore, score, 3) << fen << " | " << mirrored;
        EXPECT_EQ(lastEvaluationTerms.material, -terms.material) << fen;
        EXPECT_EQ(lastEvaluationTerms.pawns, -terms.pawns) << fen;
        EXPECT_EQ(lastEvaluationTerms.passed, -terms.passed) << fen;
        exact += mirroredScore == score;
        ++compared;
    }
    EXPECT_GT(compared, SANITIZED ? 80 : 400);
    EXPECT_GT(exact, compared / 3);
}

TEST(Evaluation, PawnHashHitsEqualFreshComputation) {
    for (const std::string& fen : realGamePositions(SANITIZED ? 40 : 200, 17)) {
        setUpEval(fen);
        const int first = fullEval();  // fills the entry and its shelter bytes
        PawnHashEntry cached = probePawnHash();
        EXPECT_EQ(fullEval(), first) << fen;  // a hit
        PawnHashEntry fresh;
        fillPawnEntry(fresh);
        EXPECT_EQ(fresh.score, cached.score) << fen;
        EXPECT_EQ(fresh.whitePassedFiles, cached.whitePassedFiles);
        EXPECT_EQ(fresh.blackBackwardFiles, cached.blackBackwardFiles);
        // Shelter bytes computed on a fresh entry match the cached ones.
        for (int colour = 0; colour < 2; ++colour) {
            const int k = kingSquare[colour];
            if (colour == WHITE)
                EXPECT_EQ(evaluateWhiteKingShelter(k, fresh), evaluateWhiteKingShelter(k, cached)) << fen;
            else
                EXPECT_EQ(evaluateBlackKingShelter(k, fresh), evaluateBlackKingShelter(k, cached)) << fen;
        }
    }
    // Two pawn keys in one slot replace each other.
    setUpEval("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1");
    PawnHashEntry& slot = probePawnHash();
    const std::uint32_t firstKey = slot.key;
    slot.key ^= 1u << 20;  // another configuration with the same low 13 bits
    probePawnHash();
    EXPECT_EQ(slot.key, firstKey);
}

// Files that hold a pawn of each colour, as a passed/backward file mask.
std::uint8_t filesWithPawns(int colour) {
    std::uint8_t files = 0;
    for (int f = 0; f < 8; ++f)
        if (pawnFileRanks[colour][f + 1]) files |= std::uint8_t(1 << f);
    return files;
}

// Evaluates with `planted` in the current pawn key's slot, as a pawn-hash
// hit would find it.
int evaluateWithEntry(const PawnHashEntry& planted) {
    PawnHashEntry& slot = pawnHashTable[pawnKey & (PAWN_HASH_ENTRIES - 1)];
    slot                = planted;
    slot.key            = pawnKey;
    return fullEval();
}

// The same entry with its file masks cut down to files that hold a pawn of
// the colour: what a sound entry could say.
PawnHashEntry withinPawnFiles(PawnHashEntry entry) {
    entry.whiteBackwardFiles &= filesWithPawns(WHITE);
    entry.whitePassedFiles &= filesWithPawns(WHITE);
    entry.blackBackwardFiles &= filesWithPawns(BLACK);
    entry.blackPassedFiles &= filesWithPawns(BLACK);
    return entry;
}

// A pawn-hash hit on an entry filled for another structure (two structures
// with one key) must be harmless: no undefined behaviour and no square off
// the board, whatever the entry holds (the sanitizer build checks that);
// mask bits for files without a pawn of the colour are ignored.
TEST(Evaluation, PawnHashFalseHitIsHarmless) {
    // Two real structures with the same pawn key: white a4 e2, black g6 h3
    // against white b7, black c7 c5 g3. The first leaves passed-pawn files
    // a, e (white) and g, h (black) in the slot; the second has no pawn there.
    setUpEval("4k3/8/6p1/8/P7/7p/4P3/4K3 w - - 0 1");
    const std::uint32_t key = pawnKey;
    fullEval();
    const PawnHashEntry first = probePawnHash();
    ASSERT_TRUE(setPositionFromFen("4k3/1Pp5/8/2p5/8/6p1/8/4K3 w - - 0 1"));
    ASSERT_EQ(pawnKey, key) << "the two structures must collide";
    ASSERT_NE(first.whitePassedFiles & ~filesWithPawns(WHITE), 0);
    ASSERT_NE(first.blackPassedFiles & ~filesWithPawns(BLACK), 0);
    EXPECT_EQ(pawnHashTable[key & (PAWN_HASH_ENTRIES - 1)].key, key);  // so this is a hit
    const int falseHit = fullEval();
    EXPECT_EQ(falseHit, evaluateWithEntry(withinPawnFiles(first)));

    // Planted entries full of nonsense on real positions: every mask bit
    // set, shelter bytes and score at random.
    std::uint32_t noise = 12345;
    auto          next  = [&noise] { return noise = noise * 1103515245u + 12345u; };
    int           checked = 0;
    for (const std::string& fen : realGamePositions(SANITIZED ? 60 : 300, 31)) {
        setUpEval(fen);
        PawnHashEntry planted;
        planted.score = std::int16_t(next() >> 16);
        for (std::uint8_t& b : planted.shelter) b = std::uint8_t(next() >> 24);
        planted.whiteBackwardFiles = planted.blackBackwardFiles = 0xFF;
        planted.whitePassedFiles = planted.blackPassedFiles = 0xFF;
        const int score = evaluateWithEntry(planted);
        EXPECT_EQ(score, evaluateWithEntry(withinPawnFiles(planted))) << fen;
        checked += filesWithPawns(WHITE) != 0xFF || filesWithPawns(BLACK) != 0xFF;
    }
    EXPECT_GT(checked, SANITIZED ? 30 : 150);  // positions with a pawnless file
}

TEST(Evaluation, LazyExitAndCheapEstimate) {
    setUpEval("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    const int full  = fullEval();
    const int cheap = evaluate(10000, -10000);
    // The cheap estimate is material, imbalance and pawns only.
    EXPECT_EQ(cheap, lastEvaluationTerms.material + lastEvaluationTerms.pawns + lastEvaluationTerms.passed);
    EXPECT_EQ(evaluate(2000, 2100), cheap);   // far above the score
    EXPECT_EQ(evaluate(-2100, -2000), cheap);  // far below
    EXPECT_EQ(evaluate(std::int16_t(full - 10), std::int16_t(full + 10)), full);
}

}  // namespace

namespace {

TEST(Evaluation, PhaseChangeLoadsWeightsAndClearsThePawnTable) {
    setUpEval("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");  // endgame phase
    EXPECT_EQ(evaluationPhase, 2);
    EXPECT_EQ(pawnWeights.passed[7], 140);
    const PawnHashEntry& endgameEntry = probePawnHash();
    EXPECT_FALSE(setEvaluationPhase());  // same phase: nothing is cleared
    EXPECT_EQ(endgameEntry.key, pawnKey);
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");  // resets the phase
    EXPECT_EQ(evaluationPhase, 255);
    const PawnHashEntry& entry = probePawnHash();
    ASSERT_EQ(entry.key, pawnKey);
    EXPECT_TRUE(setEvaluationPhase());  // the caller clears its own caches
    EXPECT_EQ(evaluationPhase, 1);
    EXPECT_EQ(pawnWeights.passed[7], 120);
    EXPECT_EQ(entry.key, 0u);
}

}  // namespace
