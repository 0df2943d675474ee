// eval/pawns.cpp: the pawn hash table and everything scored from the pawns:
// structure (cached), king shelter (cached lazily), passed pawns and the
// pawn race (every call), and the backward-pawn follow-ups.
//
// Black is handled as the mirror of white: a "frame row" counts rows from
// the owner's promotion row, so white's row r and black's row 7 - r play the
// same part in every rule.
#include "eval/pawns.h"
#include <cstdlib>
#include <cstring>
#include "board/attacks.h"
#include "eval/psqt.h"

thread_local PawnHashEntry* pawnHashTable = nullptr;
thread_local PawnWeights    pawnWeights{};

static constexpr PawnWeights MIDDLEGAME_WEIGHTS = {10, 16, 8, 15, 4, 6, {0, 0, 5, 10, 20, 40, 70, 120, 0}};
static constexpr PawnWeights ENDGAME_WEIGHTS    = {12, 20, 8, 8, 8, 12, {0, 0, 10, 15, 30, 50, 90, 140, 0}};
static constexpr int         SHELTER_STEP_PENALTY[8] = {4, 12, 8, 0, 0, 8, 12, 4};

bool allocatePawnHashTable() {
    if (!pawnHashTable)
        pawnHashTable = static_cast<PawnHashEntry*>(std::calloc(PAWN_HASH_ENTRIES, sizeof(PawnHashEntry)));
    return pawnHashTable != nullptr;
}

void freePawnHashTable() {
    std::free(pawnHashTable);
    pawnHashTable = nullptr;
}

void clearPawnHashTable() {
    if (pawnHashTable) std::memset(pawnHashTable, 0, PAWN_HASH_ENTRIES * sizeof(PawnHashEntry));
}

void loadPawnWeights(int phase) { pawnWeights = phase == 1 ? MIDDLEGAME_WEIGHTS : ENDGAME_WEIGHTS; }

// Row of a square counted from the colour's promotion row (0) backward.
static inline int frameRow(int colour, int sq) { return colour == WHITE ? rowOf(sq) : 7 - rowOf(sq); }
// pawnFileRanks bit of a frame row (0 outside the board).
static inline int frameBit(int colour, int row) {
    if (row < 0 || row > 7) return 0;
    return 1 << (colour == WHITE ? row : 7 - row);
}
// Square of the colour's most advanced pawn on a file that holds one. The
// file masks of a pawn-hash entry may name files without one: two pawn
// structures with the same key share an entry, and the second reads the
// first one's masks. So every reader of a mask checks the file first
// (holdsPawn), which keeps this scan off an empty file.
static inline bool holdsPawn(int colour, int file) { return pawnFileRanks[colour][file + 1] != 0; }
static inline int  mostAdvancedPawn(int colour, int file) {
    const unsigned rows = pawnFileRanks[colour][file + 1];
    const int      row  = colour == WHITE ? __builtin_ctz(rows) : 31 - __builtin_clz(rows);
    return row * 8 + file;
}
static inline int promotionSquare(int colour, int file) { return colour == WHITE ? file : 56 + file; }

// A pawn whose neighbours all stand behind it is weak unless one of them
// can still come up to defend it.
static bool isWeakPawn(int colour, int fileIndex, int r) {
    const std::uint8_t* own = pawnFileRanks[colour];
    const std::uint8_t* foe = pawnFileRanks[colour ^ 1];
    const int F = fileIndex, f = F - 1;
    const int b0 = frameBit(colour, r), b1 = frameBit(colour, r + 1), b2 = frameBit(colour, r + 2);
    if ((own[F - 1] | own[F + 1]) & b1) return false;
    auto canDefend = [&](int k) {
        const int near = own[F + k], nearFoe = foe[F + k], far = own[F + 2 * k], farFoe = foe[F + 2 * k];
        if (nearFoe & b1) {
            if (!(farFoe & b0)) return ((far | own[F]) & b2) != 0;
            return (far & b2) && (own[F] & b2);
        }
        if (near & b2) return !(farFoe & b0) || (far & b2) || (own[F] & b2);
        if (r == 3 && (near & frameBit(colour, 6)) && !(nearFoe & frameBit(colour, 5)) &&
            !(farFoe & frameBit(colour, 4)) && !(foe[F] & frameBit(colour, 4)))
            return !(farFoe & frameBit(colour, 3)) || (far & frameBit(colour, 5)) || (own[F] & frameBit(colour, 5));
        return false;
    };
    if (f > 0 && canDefend(-1)) return false;
    if (f == 7) return true;
    return !canDefend(+1);
}

bool isWeakPawnWhite(int fileIndex, int row) { return isWeakPawn(WHITE, fileIndex, row); }
bool isWeakPawnBlack(int fileIndex, int row) { return isWeakPawn(BLACK, fileIndex, 7 - row); }

// Scores one pawn (frame row r on file f) and records its flags.
static int scorePawn(int colour, int sq, int wingCount[2][2], int wingFree[2][2], PawnHashEntry& entry) {
    const std::uint8_t* own = pawnFileRanks[colour];
    const std::uint8_t* foe = pawnFileRanks[colour ^ 1];
    const int           f = fileOf(sq), F = f + 1, r = frameRow(colour, sq);
    const int           neighbours = own[F - 1] | own[F + 1];
    // Rows strictly ahead of the pawn (toward promotion), as pawnFileRanks bits.
    const int ahead  = colour == WHITE ? (1 << rowOf(sq)) - 1 : (0xFF << (rowOf(sq) + 1)) & 0xFF;
    const int behind = 0xFF & ~ahead & ~(1 << rowOf(sq));
    int       term   = pieceSquareTable[colour * 6 + PAWN][sq];

    if (!neighbours) {
        term -= pawnWeights.isolated;
    } else if (!(neighbours & ~ahead)) {
        term -= pawnWeights.backward;
        (colour == WHITE ? entry.whiteBackwardFiles : entry.blackBackwardFiles) |= std::uint8_t(1 << f);
    } else if (!(neighbours & ~behind)) {
        if (isWeakPawn(colour, F, r)) term -= pawnWeights.weak;
    } else if (r < 5 && (own[F + 1] & (1 << rowOf(sq)))) {
        term += pawnWeights.sideBySide;
    }

    const int wing = f < 4 ? 0 : 1;
    ++wingCount[colour][wing];
    if (own[F] & ahead) return term - pawnWeights.doubled;  // a pawn in front: never passed
    if (!foe[F]) ++wingFree[colour][wing];
    if (!((foe[F - 1] | foe[F] | foe[F + 1]) & ahead)) {
        const int rank = 8 - r;
        term += pawnWeights.passed[rank];
        if (neighbours & (1 << rowOf(sq)))
            term += pawnWeights.passed[rank] / 3;
        else if (neighbours & frameBit(colour, r + 1))
            term += pawnWeights.passed[rank - 1] / 3;
        (colour == WHITE ? entry.whitePassedFiles : entry.blackPassedFiles) |= std::uint8_t(1 << f);
    }
    return term;
}

void fillPawnEntry(PawnHashEntry& entry) {
    entry.key = pawnKey;
    std::memset(entry.shelter, 255, sizeof entry.shelter);
    entry.whiteBackwardFiles = entry.blackBackwardFiles = 0;
    entry.whitePassedFiles = entry.blackPassedFiles = 0;
    int wingCount[2][2] = {}, wingFree[2][2] = {};
    int score           = 0;
    for (int colour = WHITE; colour <= BLACK; ++colour)
        for (int f = 0; f < 8; ++f)
            for (unsigned rows = pawnFileRanks[colour][f + 1]; rows; rows &= rows - 1) {
                const int sq   = __builtin_ctz(rows) * 8 + f;
                const int term = scorePawn(colour, sq, wingCount, wingFree, entry);
                score += colour == WHITE ? term : -term;
            }
    for (int wing = 0; wing < 2; ++wing) {
        const int d = wingFree[WHITE][wing] - wingFree[BLACK][wing];
        if (d > 0 && wingCount[WHITE][wing] > wingCount[BLACK][wing]) score += (2 * d - 1) * pawnWeights.majority;
        if (d < 0 && wingCount[BLACK][wing] > wingCount[WHITE][wing]) score += (2 * d + 1) * pawnWeights.majority;
    }
    entry.score = std::int16_t(score);
}

PawnHashEntry& probePawnHash() {
    // Without a table (a tool that never allocated one) every call refills
    // one scratch entry, which still gives the right scores.
    static thread_local PawnHashEntry scratch;
    PawnHashEntry&       entry = pawnHashTable ? pawnHashTable[pawnKey & (PAWN_HASH_ENTRIES - 1)] : scratch;
    if (!pawnHashTable) entry.key = ~pawnKey;
    if (entry.key != pawnKey) fillPawnEntry(entry);
    return entry;
}

// Shelter penalty of one file in front of the colour's king.
static int shelterFile(int colour, int fileIndex) {
    const int own = pawnFileRanks[colour][fileIndex], foe = pawnFileRanks[colour ^ 1][fileIndex];
    int       penalty;
    if (own & frameBit(colour, 6))
        penalty = 0;
    else if (own & frameBit(colour, 5))
        penalty = SHELTER_STEP_PENALTY[fileIndex - 1];
    else
        penalty = own ? 20 : 25;
    if (!foe)
        penalty += 15;
    else if (foe & frameBit(colour, 5))
        penalty += 10;
    else if (foe & frameBit(colour, 4))
        penalty += 5;
    return penalty;
}

int kingShelterFile(int fileIndex) { return shelterFile(WHITE, fileIndex); }

static int kingShelter(int colour, int kingSq, PawnHashEntry& entry) {
    const int      f    = fileOf(kingSq);
    std::uint8_t*  slot = entry.shelter + 3 * colour;
    if (f <= 2 || f >= 5) {
        std::uint8_t& cached = slot[f <= 2 ? 1 : 0];
        if (cached == 255) {
            const int first = f <= 2 ? 1 : 6;
            cached = std::uint8_t(shelterFile(colour, first) + shelterFile(colour, first + 1) +
                                  shelterFile(colour, first + 2));
        }
        return cached;
    }
    const int     parity = f == 3 ? 1 : 0;
    std::uint8_t& cached = slot[2];
    if (cached == 255 || (cached >> 7) != parity) {
        int sum = 0;
        for (int F = f; F <= f + 2; ++F) {
            const bool own = pawnFileRanks[colour][F] != 0, foe = pawnFileRanks[colour ^ 1][F] != 0;
            if (F == f + 1)
                sum += !own ? (foe ? 10 : 20) : (foe ? 0 : 8);
            else
                sum += !own ? (foe ? 6 : 12) : (foe ? 0 : 4);
        }
        cached = std::uint8_t(parity << 7 | sum);
    }
    return cached & 127;
}

int evaluateWhiteKingShelter(int kingSq, PawnHashEntry& entry) {
    return pieceSquareTable[WHITE * 6 + KING][kingSq] - kingShelter(WHITE, kingSq, entry);
}

int evaluateBlackKingShelter(int kingSq, PawnHashEntry& entry) {
    return pieceSquareTable[BLACK * 6 + KING][kingSq] - kingShelter(BLACK, kingSq, entry);
}

int evaluateBackwardFollowUps(const PawnHashEntry& entry) {
    int score = 0;
    for (int colour = WHITE; colour <= BLACK; ++colour) {
        const int sign  = colour == WHITE ? 1 : -1, foe = colour ^ 1;
        const int files = colour == WHITE ? entry.whiteBackwardFiles : entry.blackBackwardFiles;
        for (int f = 0; f < 8; ++f) {
            if (!(files & (1 << f)) || !holdsPawn(colour, f)) continue;
            if (!pawnFileRanks[foe][f + 1] && pieceCount[foe][ROOK]) score -= sign * 15;
            const int front = mostAdvancedPawn(colour, f) + (colour == WHITE ? -8 : 8);
            if (board[front] == pieceCode(foe, KNIGHT))
                score -= sign * 12;
            else if (board[front] == pieceCode(foe, BISHOP))
                score -= sign * 8;
        }
    }
    return score;
}

namespace {

// One side's findings in the pawn race.
struct RaceSide {
    int best     = 127;  // promotion distance of its fastest pawn nobody catches
    int file     = 0;    // file of that pawn (a scanned file, so it holds one)
    int info     = 0;    // 0x40 path clear, else bits 3-5 frame row of the first man on it;
                         // bits 0-2 the pawn's row when the enemy king was outside its square
    int tempo    = 0;    // a pair of caught pawns needs one more move
    int critical = 127;  // frame row of a caught pawn the enemy king barely reaches
    int caught   = 0;
    int caughtRow[2]  = {0, 0};
    int caughtFile[2] = {0, 0};
};

// Passed pawns of one colour: blockers and king distances go straight into
// the score; with the enemy reduced to king and pawns, the race facts too.
int scanPassedPawns(int colour, int files, RaceSide& race) {
    const int sign = colour == WHITE ? 1 : -1, foe = colour ^ 1;
    const int ownKing = kingSquare[colour], foeKing = kingSquare[foe];
    const int foeMaterial = material[foe];
    const int foeTempo    = side == foe ? 1 : 0;
    int       score       = 0;
    auto      enterCaught = [&](int r, int f) {
        if (race.caught < 2) {
            race.caughtRow[race.caught]  = r;
            race.caughtFile[race.caught] = f;
            ++race.caught;
        }
    };
    for (int f = 0; f < 8; ++f) {
        if (!(files & (1 << f)) || !holdsPawn(colour, f)) continue;
        const int sq    = mostAdvancedPawn(colour, f);
        const int r     = frameRow(colour, sq);
        const int bonus = pawnWeights.passed[8 - r];
        const int front = colour == WHITE ? sq - 8 : sq + 8;
        // 1. Blocked by an enemy man, or by an own one.
        if (codeColour(board[front]) == foe) {
            score -= sign * (bonus / 3);
            if (foeMaterial == 0) enterCaught(r, f);
            continue;
        }
        if (codeColour(board[front]) == colour) score -= sign * (bonus >> 2);
        // 2. The own king nearer the promotion square than the enemy's.
        const int promotion = promotionSquare(colour, f);
        if (foeMaterial <= 1600 && r < 4) {
            const int dFoe = kingDistance(foeKing, promotion), dOwn = kingDistance(ownKing, promotion);
            if (dFoe >= dOwn) score += sign * ((bonus >> 3) * (dFoe - dOwn + 1));
        }
        if (foeMaterial != 0) continue;
        // 3. Pawn ending for the enemy: the rule of the square.
        const int  kFoe = kingDistance(foeKing, sq), kOwn = kingDistance(ownKing, sq);
        const bool inside = frameRow(colour, foeKing) <= r + foeTempo && kFoe <= r + foeTempo;
        bool       escorted = false;
        if (inside) {
            const int fileOwn = std::abs(fileOf(ownKing) - f), fileFoe = std::abs(fileOf(foeKing) - f);
            escorted = frameRow(colour, ownKing) <= frameRow(colour, foeKing) &&
                       (kOwn < kFoe || (kOwn == kFoe && fileOwn <= fileFoe));
        }
        if (inside && !escorted) {
            if (kFoe > r) race.critical = r;
            enterCaught(r, f);
            continue;
        }
        const int pathMan = nearestPiece[sq][colour == WHITE ? NORTH : SOUTH];
        const int dist    = r + (pathMan < 64 ? 1 : 0) - (r == 6 ? 1 : 0);
        if (dist < race.best) {
            race.best = dist;
            race.file = f;
            race.info = (pathMan < 64 ? frameRow(colour, pathMan) << 3 : 0x40) | (inside ? 0 : r);
        }
    }
    // 4. Two caught pawns far enough apart: the king cannot stop both.
    if (race.caught == 2) {
        const int ra = race.caughtRow[0], rb = race.caughtRow[1];
        const int fa = race.caughtFile[0], fb = race.caughtFile[1];
        const int ownTempo = side == colour ? 1 : 0;
        auto      offer    = [&](int dist, int f) {
            if (dist >= race.best) return false;
            race.best = dist;
            race.file = f;
            race.info = 0;
            return true;
        };
        if (ra > rb && ra < (fb - fa) + ownTempo) offer(ra, fa);
        if (ra < rb && rb < (fb - fa) + ownTempo) offer(rb, fb);
        if (ra == rb && ra < fb - fa && offer(ra, fa)) {
            const int kingFile = fileOf(foeKing);
            if (side == foe && kingFile - fa < ra && fb - kingFile < ra) {
                race.best  = ra + 1;
                race.tempo = 1;
            }
        }
    }
    return score;
}

// The faster side's unstoppable pawn wins, unless the defending king,
// having its own critical pawn, stands right by it.
int fasterVerdict(int colour, const RaceSide& me, const RaceSide& other) {
    const int otherKing = kingSquare[colour ^ 1];
    if (other.critical > me.best) return 800;
    const int pawn  = mostAdvancedPawn(colour, me.file);
    const int front = frameRow(colour, pawn);
    if (frameRow(colour, otherKing) > front + 1 || kingDistance(otherKing, pawn) > front + 1) return 800;
    const int d = lineDirection[otherKing][promotionSquare(colour, me.file)];
    return d >= 0 && nearestPiece[otherKing][d] == NO_SQUARE ? 800 : 0;
}

// `first` queens one move before `second`: does its new queen stop or
// win the other's pawn?
int queensFirstVerdict(int first, const RaceSide& a, const RaceSide& b) {
    const int second       = first ^ 1;
    const int secondKing   = kingSquare[second];
    const int firstPromo   = promotionSquare(first, a.file);
    const int secondPromo  = promotionSquare(second, b.file);
    const bool secondClear = (b.info & 0x40) != 0;
    if ((b.info & 7) == 0) return 0;
    const int toKing = lineDirection[secondKing][firstPromo];
    if (secondClear && toKing >= 0 && nearestPiece[secondKing][toKing] == NO_SQUARE) return 800;
    const int apart = std::abs(firstPromo - secondPromo);
    if (apart == 63 || apart == 49) {
        const int d = lineDirection[firstPromo][secondPromo];
        if ((squareBit[firstPromo] | rayMask[firstPromo][d]) & occupied) return 0;
    } else if (apart == 56) {
        const int pawn = mostAdvancedPawn(second, b.file);
        if (nearestPiece[pawn][second == WHITE ? SOUTH : NORTH] != mostAdvancedPawn(first, a.file)) return 0;
    } else {
        return 0;
    }
    if (secondClear) return kingDistance(secondKing, secondPromo) > 1 ? 800 : 0;
    return ((b.info >> 3) & 7) >= 3 ? 800 : 0;
}

}  // namespace

int evaluatePassedPawns(const PawnHashEntry& entry) {
    RaceSide white, black;
    int      score = scanPassedPawns(WHITE, entry.whitePassedFiles, white) +
                scanPassedPawns(BLACK, entry.blackPassedFiles, black);
    if (white.best == 127 && black.best == 127) return score;
    const int s = side == BLACK ? 1 : 0;
    if (white.best < black.best + white.tempo - s)
        score += fasterVerdict(WHITE, white, black);
    else if (black.best < white.best + black.tempo - (1 - s))
        score -= fasterVerdict(BLACK, black, white);
    else if (black.best == white.best - (1 - s))
        score -= queensFirstVerdict(BLACK, black, white);
    else
        score += queensFirstVerdict(WHITE, white, black);
    return score;
}
