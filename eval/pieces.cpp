// eval/pieces.cpp: one loop per colour over its men (king excluded) for
// piece-square values, rook files, line mobility and attack units, then the
// two king-safety terms scaled by those units. Black mirrors white.
#include "eval/pieces.h"
#include "eval/pawns.h"
#include "eval/psqt.h"

const std::int16_t KING_ATTACK_WEIGHT[16] = {0,   5,   15,  30,  50,  75,  105, 140,
                                             180, 225, 275, 330, 390, 455, 525, 600};

namespace {

struct QueenRecord {
    int enemyKingDistance = 127;  // distance part of kingLine to the enemy king
    int guard             = 127;  // how closely the queen covers its own king
};

// The line from s toward the king zone (entry v) is open when the first man
// that way is not nearer than the zone square t.
inline bool lineOpen(int s, int v) {
    const int d = (v >> 4) & 15, t = v >> 8, p = nearestPiece[s][d];
    return (d & 1) ? p >= t : (p & 63) <= t;
}

// A man of `colour` behind s (opposite the attack direction) whose code is
// one of the two given adds a second attack unit.
inline bool backedBy(int s, int v, std::uint8_t codeA, std::uint8_t codeB) {
    const std::uint8_t behind = board[nearestPiece[s][((v >> 4) & 15) ^ 1]];
    return (behind == codeA || behind == codeB) && (v & 15) > 1;
}

// Scores one colour's men from its own view; returns attack units.
int scoreMen(int colour, int& pieces, int& mobility, QueenRecord& queen) {
    const int          foe = colour ^ 1, k = kingSquare[foe], K = kingSquare[colour];
    const std::uint8_t ownRook = pieceCode(colour, ROOK), ownQueen = pieceCode(colour, QUEEN);
    const std::uint8_t ownBishop = pieceCode(colour, BISHOP);
    const std::int8_t* pst       = pieceSquareTable[colour * 6];
    int                units     = 0;
    for (Bitboard men = occupiedBy[colour] & squareClear[K]; men;) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        switch (codeType(board[s])) {
        case PAWN:
            if (board[colour == WHITE ? s - 8 : s + 8] != EMPTY) pieces -= 4;
            break;
        case KNIGHT: {
            pieces += pst[KNIGHT * 64 + s];
            const int v = kingLine[k][s];
            if (v != -1 && (v & 15) <= 3) ++units;
            break;
        }
        case BISHOP: {
            pieces += pst[BISHOP * 64 + s];
            const int v = kingDiagonal[k][s];
            if (v > 0 && lineOpen(s, v)) units += 1 + backedBy(s, v, ownQueen, ownQueen);
            const int e4 = nearestPiece[s][4], e5 = nearestPiece[s][5];
            const int e6 = nearestPiece[s][6], e7 = nearestPiece[s][7];
            const int a  = e4 == 64 && e5 == 64 ? openLineMobility[s][0] : lineMobility[e4][e5][0];
            const int b  = e6 == 64 && e7 == 64 ? openLineMobility[s][1] : lineMobility[e6][e7][2];
            mobility += 2 * (a + b);
            break;
        }
        case ROOK: {
            const int v = kingLine[k][s];
            if (v > 0 && ((v >> 4) & 15) < 4 && lineOpen(s, v)) units += 1 + backedBy(s, v, ownRook, ownQueen);
            mobility += lineMobility[nearestPiece[s][0]][nearestPiece[s][1]][1] +
                        lineMobility[nearestPiece[s][2]][nearestPiece[s][3]][3];
            const int F     = fileOf(s) + 1;
            const int north = nearestPiece[s][NORTH];
            if (!pawnFileRanks[colour][F]) {
                if (pawnFileRanks[foe][F])
                    pieces += 10;
                else if (board[north] == ownRook)
                    pieces += pieceCount[colour][PAWN] >= 5 ? 30 : 22;
                else
                    pieces += 15;
            }
            // Seventh rank, from the rook owner's view.
            if (material[foe] <= 1600 && rowOf(s) == (colour == WHITE ? 1 : 6) &&
                rowOf(k) == (colour == WHITE ? 0 : 7))
                pieces += 15;
            // North and west for both colours: a deliberate asymmetry.
            if (board[north] == ownRook || board[nearestPiece[s][WEST]] == ownRook) pieces += 5;
            break;
        }
        case QUEEN: {
            pieces += pst[QUEEN * 64 + s];
            const int v = kingLine[k][s];
            if (v > 0 && lineOpen(s, v)) {
                const bool orthogonal = ((v >> 4) & 15) < 4;
                units += 1 + backedBy(s, v, orthogonal ? ownRook : ownBishop, ownQueen);
            }
            queen.enemyKingDistance = v & 15;
            const int own           = kingLine[K][s];
            if (own == -1) {
                queen.guard = 4;
            } else {
                const int p = nearestPiece[s][(own >> 4) & 15];
                queen.guard = p == NO_SQUARE ? 0 : kingLine[K][p] & 15;
            }
            break;
        }
        default: break;
        }
    }
    return units < 15 ? units : 15;
}

// Squares where a king counts as tucked away while the enemy keeps its army
// (white's view; black reads them mirrored).
bool kingTuckedAway(int sq) {
    switch (sq) {
    case 56: case 57: case 58: case 62: case 63:  // a1 b1 c1 g1 h1
    case 48: case 49: case 55:                    // a2 b2 h2
        return true;
    default: return false;
    }
}

// One king's term KS from its owner's view, before the queen-guard factor;
// `placement` gets the square terms that the factor does not scale.
int kingTerm(int colour, int enemyUnits, PawnHashEntry& entry, int& placement) {
    const int K = kingSquare[colour], foe = colour ^ 1;
    if (material[foe] <= 1400) {
        placement += KING_ENDGAME_TABLE[colour == WHITE ? K : K ^ 56];
        return -KING_ATTACK_WEIGHT[enemyUnits];
    }
    if (material[foe] > 1600 && !kingTuckedAway(colour == WHITE ? K : K ^ 56)) placement -= 50;
    const int S = colour == WHITE ? evaluateWhiteKingShelter(K, entry) : evaluateBlackKingShelter(K, entry);
    return S + asr(KING_ATTACK_WEIGHT[enemyUnits] * (asr(S, 1) - 42), 5);
}

}  // namespace

PieceTerms evaluatePieces(PawnHashEntry& entry) {
    int         pieces[2] = {0, 0}, mobility[2] = {0, 0};
    QueenRecord queen[2];
    const int   units[2] = {scoreMen(WHITE, pieces[WHITE], mobility[WHITE], queen[WHITE]),
                            scoreMen(BLACK, pieces[BLACK], mobility[BLACK], queen[BLACK])};
    int         king[2] = {0, 0};
    for (int colour = WHITE; colour <= BLACK; ++colour) {
        const int foe = colour ^ 1;
        int       ks  = kingTerm(colour, units[foe], entry, king[colour]);
        // A king the enemy queen comes closer to than its own queen guards.
        if (queen[foe].enemyKingDistance < queen[colour].guard) ks += ks / 2;
        king[colour] += ks;
    }
    return {pieces[WHITE] - pieces[BLACK], mobility[WHITE] - mobility[BLACK], king[WHITE] - king[BLACK]};
}
