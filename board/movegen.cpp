// board/movegen.cpp: the four generators and addMove with the ordering
// scores the board alone gives: MVV/LVA for captures, promotions by the new
// piece. Quiet moves are left at 0 for the search's ordering to score.
// Nothing here tests whether the king is left in check.
#include "board/movegen.h"
#include "board/attacks.h"

static constexpr std::int32_t CAPTURE_SCORE = 0x2000000;

void addMove(int from, int to, int flags) {
    std::uint32_t& end = firstMove[ply + 1];
    if ((flags & GEN_PAWN) && (rowOf(to) == 0 || rowOf(to) == 7)) {
        const int victim = board[to] == EMPTY ? 0 : codeType(board[to]);
        for (int promo = QUEEN; promo >= KNIGHT; --promo) {
            moveStack[end].move  = makeMoveWord(from, to, flags | GEN_PROMOTION) | Move(promo) << 16;
            moveStack[end].score = CAPTURE_SCORE + 8 * promo + 8 + victim;
            ++end;
        }
        return;
    }
    std::int32_t score = 0;
    if (flags & GEN_CAPTURE) {
        const int victim = (flags & GEN_EN_PASSANT) ? PAWN : codeType(board[to]);
        score            = CAPTURE_SCORE + 8 * victim + 8 - codeType(board[from]);
    }
    moveStack[end].move  = makeMoveWord(from, to, flags);
    moveStack[end].score = score;
    ++end;
}

// Quiet moves go straight onto the stack, unscored.
static inline void pushQuiet(int from, int to, int flags) {
    moveStack[firstMove[ply + 1]++].move = makeMoveWord(from, to, flags);
}

static inline bool isEnemy(int sq) { return codeColour(board[sq]) == xside; }

// Slider walks: quiet moves to empty squares, and a capture of the first
// man if it is an enemy.
template <bool Quiet, bool Captures>
static inline void generateSlider(int s, int firstDir, int lastDir) {
    for (int d = firstDir; d <= lastDir; ++d) {
        int t = nextSquare[s][d];
        for (; t < 64 && board[t] == EMPTY; t = nextSquare[t][d])
            if (Quiet) {
                if (Captures)
                    addMove(s, t, 0);
                else
                    pushQuiet(s, t, 0);
            }
        if (Captures && t < 64 && isEnemy(t)) addMove(s, t, GEN_CAPTURE);
    }
}

template <bool Quiet, bool Captures>
static inline void generateKnightOrKing(int s, const std::uint8_t* targets) {
    for (; *targets != 255; ++targets) {
        const int t = *targets;
        if (board[t] == EMPTY) {
            if (Quiet) {
                if (Captures)
                    addMove(s, t, 0);
                else
                    pushQuiet(s, t, 0);
            }
        } else if (Captures && isEnemy(t)) {
            addMove(s, t, GEN_CAPTURE);
        }
    }
}

// King neighbours in direction order, as a 255-terminated list per square.
struct KingTargets {
    std::uint8_t list[64][9];
};
static constexpr KingTargets buildKingTargets() {
    KingTargets k{};
    for (int s = 0; s < 64; ++s) {
        int n = 0;
        for (int d = 0; d < 8; ++d)
            if (geometry::tables.nextSquare[s][d] < 64) k.list[s][n++] = geometry::tables.nextSquare[s][d];
        for (; n < 9; ++n) k.list[s][n] = 255;
    }
    return k;
}
static constexpr KingTargets kingTargets = buildKingTargets();

static void generateCastling(bool scored) {
    auto add = [scored](int from, int to) {
        if (scored)
            addMove(from, to, GEN_CASTLE);
        else
            pushQuiet(from, to, GEN_CASTLE);
    };
    if (side == WHITE) {
        if ((castleRights & CASTLE_WK) && board[61] == EMPTY && board[62] == EMPTY) add(60, 62);
        if ((castleRights & CASTLE_WQ) && board[57] == EMPTY && board[58] == EMPTY && board[59] == EMPTY)
            add(60, 58);
    } else {
        if ((castleRights & CASTLE_BK) && board[5] == EMPTY && board[6] == EMPTY) add(4, 6);
        if ((castleRights & CASTLE_BQ) && board[1] == EMPTY && board[2] == EMPTY && board[3] == EMPTY)
            add(4, 2);
    }
}

static void generateEnPassant() {
    if (epSquare >= 64) return;
    const int          ep   = epSquare;
    const std::uint8_t pawn = pieceCode(side, PAWN);
    const int          flags = GEN_PAWN | GEN_EN_PASSANT | GEN_CAPTURE;
    if (side == WHITE) {
        if (fileOf(ep) != 0 && board[ep + 7] == pawn) addMove(ep + 7, ep, flags);
        if (fileOf(ep) != 7 && board[ep + 9] == pawn) addMove(ep + 9, ep, flags);
    } else {
        if (fileOf(ep) != 0 && board[ep - 9] == pawn) addMove(ep - 9, ep, flags);
        if (fileOf(ep) != 7 && board[ep - 7] == pawn) addMove(ep - 7, ep, flags);
    }
}

// Pawn captures toward the a-side first, then the h-side.
static inline void generatePawnCaptures(int s) {
    const int west = side == WHITE ? s - 9 : s + 7, east = side == WHITE ? s - 7 : s + 9;
    if (fileOf(s) != 0 && isEnemy(west)) addMove(s, west, GEN_PAWN | GEN_CAPTURE);
    if (fileOf(s) != 7 && isEnemy(east)) addMove(s, east, GEN_PAWN | GEN_CAPTURE);
}

static inline int pawnStep() { return side == WHITE ? -8 : 8; }
static inline bool onStartRow(int s) { return side == WHITE ? s >= 48 : s < 16; }
static inline bool beforeLastRow(int s) { return side == WHITE ? s < 16 : s > 47; }

void classifyMove(Move* move) {
    Move&     m    = *move;
    const int from = moveFrom(m), to = moveTo(m);
    if (board[to] != EMPTY) m |= MOVE_CAPTURE;
    const int type = codeType(board[from]);
    if (type == PAWN) {
        m |= MOVE_PAWN;
        if (rowOf(to) == 0 || rowOf(to) == 7)
            m |= MOVE_PROMOTION;
        else if (to - from == 16 || from - to == 16)
            m |= MOVE_DOUBLE_PUSH;
        else if (to == epSquare)
            m |= MOVE_EN_PASSANT | MOVE_CAPTURE;
    } else if (type == KING && (to - from == 2 || from - to == 2)) {
        m |= MOVE_CASTLE;
    }
}

void generateAllMoves() {
    if ((checkState[gamePly] & 0xFF) < 64)
        generateEvasions();
    else
        generateMoves();
}

bool isGeneratedMove(Move m) {
    generateAllMoves();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (moveStack[i].move == m) return true;
    return false;
}

void generateMoves() {
    firstMove[ply + 1] = firstMove[ply];
    for (Bitboard men = occupiedBy[side]; men; ) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        switch (codeType(board[s])) {
        case PAWN: {
            generatePawnCaptures(s);
            const int step = pawnStep();
            if (board[s + step] == EMPTY) {
                addMove(s, s + step, GEN_PAWN);
                if (onStartRow(s) && board[s + 2 * step] == EMPTY)
                    addMove(s, s + 2 * step, GEN_PAWN | GEN_DOUBLE_PUSH);
            }
            break;
        }
        case KNIGHT: generateKnightOrKing<true, true>(s, knightTargets[s]); break;
        case BISHOP: generateSlider<true, true>(s, 4, 7); break;
        case ROOK: generateSlider<true, true>(s, 0, 3); break;
        case QUEEN: generateSlider<true, true>(s, 0, 7); break;
        default: generateKnightOrKing<true, true>(s, kingTargets.list[s]); break;
        }
    }
    generateCastling(true);
    generateEnPassant();
}

void generateCaptures() {
    firstMove[ply + 1] = firstMove[ply];
    for (Bitboard men = occupiedBy[side]; men; ) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        int firstDir = 0, lastDir = 7;
        switch (codeType(board[s])) {
        case PAWN: {
            generatePawnCaptures(s);
            const int step = pawnStep();
            if (beforeLastRow(s) && board[s + step] == EMPTY) addMove(s, s + step, GEN_PAWN);
            continue;
        }
        case KNIGHT: generateKnightOrKing<false, true>(s, knightTargets[s]); continue;
        case KING: generateKnightOrKing<false, true>(s, kingTargets.list[s]); continue;
        case BISHOP: firstDir = 4; break;
        case ROOK: lastDir = 3; break;
        default: break;
        }
        // Sliders read their first man straight from the links.
        for (int d = firstDir; d <= lastDir; ++d) {
            const int t = nearestPiece[s][d];
            if (isEnemy(t)) addMove(s, t, GEN_CAPTURE);
        }
    }
    generateEnPassant();
}

void generateQuietMoves() {
    firstMove[ply + 1] = firstMove[ply];
    for (Bitboard men = occupiedBy[side]; men; ) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        switch (codeType(board[s])) {
        case PAWN: {
            const int step = pawnStep();
            if (!beforeLastRow(s) && board[s + step] == EMPTY) {
                pushQuiet(s, s + step, GEN_PAWN);
                if (onStartRow(s) && board[s + 2 * step] == EMPTY)
                    pushQuiet(s, s + 2 * step, GEN_PAWN | GEN_DOUBLE_PUSH);
            }
            break;
        }
        case KNIGHT: generateKnightOrKing<true, false>(s, knightTargets[s]); break;
        case BISHOP: generateSlider<true, false>(s, 4, 7); break;
        case ROOK: generateSlider<true, false>(s, 0, 3); break;
        case QUEEN: generateSlider<true, false>(s, 0, 7); break;
        default: generateKnightOrKing<true, false>(s, kingTargets.list[s]); break;
        }
    }
    generateCastling(false);
}

void generateEvasions() {
    firstMove[ply + 1] = firstMove[ply];
    const std::uint16_t check = checkState[gamePly];
    const int           c     = check & 0xFF;
    const int           k     = kingSquare[side];

    // 1. Squares strictly between the king and a single sliding checker.
    Bitboard  block       = 0;
    const int checkerType = codeType(board[c]);
    if (!(check & CHECK_DOUBLE) && checkerType >= BISHOP && checkerType <= QUEEN) {
        const int d = lineDirection[k][c];
        block       = rayMask[k][d] & rayMask[c][d ^ 1];
    }

    // 2. Each man in square order.
    for (Bitboard men = occupiedBy[side]; men; ) {
        const int s = highestBitSquare(men);
        men &= squareClear[s];
        const int type = codeType(board[s]);
        int       firstDir = 0, lastDir = 7;
        switch (type) {
        case PAWN: {
            const int step = pawnStep();
            const int west = side == WHITE ? s - 9 : s + 7, east = side == WHITE ? s - 7 : s + 9;
            if ((fileOf(s) != 0 && c == west) || (fileOf(s) != 7 && c == east))
                addMove(s, c, GEN_PAWN | GEN_CAPTURE);
            if (block & squareBit[s + step]) addMove(s, s + step, GEN_PAWN);
            if (onStartRow(s) && board[s + step] == EMPTY && (block & squareBit[s + 2 * step]))
                addMove(s, s + 2 * step, GEN_PAWN | GEN_DOUBLE_PUSH);
            continue;
        }
        case KNIGHT:
            for (const std::uint8_t* t = knightTargets[s]; *t != 255; ++t) {
                if (*t == c)
                    addMove(s, c, GEN_CAPTURE);
                else if (block & squareBit[*t])
                    addMove(s, *t, 0);
            }
            continue;
        case KING: generateKnightOrKing<true, true>(s, kingTargets.list[s]); continue;
        case BISHOP: firstDir = 4; break;
        case ROOK: lastDir = 3; break;
        default: break;
        }
        for (int d = firstDir; d <= lastDir; ++d) {
            const int n = nearestPiece[s][d];
            if (n == c) {
                addMove(s, c, GEN_CAPTURE);
                continue;
            }
            Bitboard reach = rayMask[s][d] & block;
            if (n < 64) reach &= ~rayMask[n][d];
            if (reach) addMove(s, highestBitSquare(reach), 0);
        }
    }

    // 3. En passant only when the checker is the pawn that just double-pushed.
    if (epSquare < 64 && c == (side == WHITE ? epSquare + 8 : epSquare - 8)) generateEnPassant();
}
