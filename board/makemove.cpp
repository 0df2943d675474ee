// board/makemove.cpp: makeMove / unmakeMove / makeNullMove. Illegal moves are
// refused either before anything changes or after a full make and unmake,
// so a refused move always leaves the position bit for bit as it was.
#include "board/makemove.h"
#include "board/attacks.h"

// Castling rights surviving a move that starts or ends on a square.
static constexpr std::uint8_t castleKeepMask[64] = {
    7,  15, 15, 15, 3,  15, 15, 11,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    15, 15, 15, 15, 15, 15, 15, 15,  //
    13, 15, 15, 15, 12, 15, 15, 14,
};

// Rook squares of a castling, by the king's destination.
static inline void castleRookSquares(int kingTo, int& rookFrom, int& rookTo) {
    rookFrom = kingTo > 3 && kingTo < 8 ? 7 : kingTo < 8 ? 0 : kingTo == 62 ? 63 : 56;
    rookTo   = (kingTo & 7) == 6 ? kingTo - 1 : kingTo + 1;
}

// A man of `colour` on p checks along direction d (queen or matching slider).
static inline bool sliderOf(int p, int d, int colour) {
    const std::uint8_t code = board[p];
    return codeColour(code) == colour && slidesAlong(codeType(code), d);
}

// Square of the pawn taken en passant by a move to `to` of `mover`.
static inline int epVictimSquare(int to, int mover) { return mover == WHITE ? to + 8 : to - 8; }

// makeMove's pin test: a non-king move that would expose the mover's king.
static bool exposesKing(Move m, int from, int to, int k) {
    const int d = lineDirection[from][k];
    if ((m & MOVE_EN_PASSANT) && (d == WEST || d == EAST)) {
        // Both pawns leave the king's rank at once.
        const int c    = epVictimSquare(to, side);
        const int near = d == WEST ? (from < c ? from : c) : (from > c ? from : c);
        const int far  = near == from ? c : from;
        if (nearestPiece[near][d] == k) {
            const std::uint8_t code = board[nearestPiece[far][d ^ 1]];
            if (codeColour(code) == xside && (codeType(code) == ROOK || codeType(code) == QUEEN))
                return true;
        }
    }
    if (d >= 0 && nearestPiece[from][d] == k && lineDirection[to][k] != d &&
        sliderOf(nearestPiece[from][d ^ 1], d, xside))
        return true;
    const std::uint16_t check = checkState[gamePly];
    if ((check & 0xFF) < 64) {
        // In double check only the king may move. After a set-up the
        // descriptor is exact; after a move it may miss a second checker
        // uncovered through the previous move's from-square, so look there.
        if (check & CHECK_DOUBLE) return true;
        if (gamePly > 0) {
            const int q = moveFrom(gameHistory[gamePly - 1].move);
            const int e = lineDirection[k][q];
            if (e >= 0) {
                const int p = nearestPiece[k][e];
                if (p != (check & 0xFF) && sliderOf(p, e, xside)) return true;
            }
        }
    }
    return false;
}

// makeMove's last step: the check descriptor for the side now to move,
// from the move just made by `mover` (= xside).
static std::uint16_t checkAfterMove(Move m, int from, int to) {
    const int     mover = xside;
    const int     K     = kingSquare[side];
    std::uint16_t check = CHECK_NONE;
    switch (codeType(board[to])) {
    case PAWN: {
        if (m & MOVE_EN_PASSANT) {
            const int e = lineDirection[K][epVictimSquare(to, mover)];
            if (e >= 0 && sliderOf(nearestPiece[K][e], e, mover)) check = nearestPiece[K][e];
        }
        const bool pawnChecks = mover == WHITE
                                    ? (to == nextSquare[K][SOUTH_WEST] || to == nextSquare[K][SOUTH_EAST])
                                    : (to == nextSquare[K][NORTH_WEST] || to == nextSquare[K][NORTH_EAST]);
        if (pawnChecks) check = std::uint16_t(to);
        break;
    }
    case KNIGHT:
        if (knightMask[K] & squareBit[to]) check = std::uint16_t(to);
        break;
    case KING:
        if (m & MOVE_CASTLE) {
            const int p = nearestPiece[K][side == BLACK ? SOUTH : NORTH];
            if (board[p] == pieceCode(mover, ROOK)) check = std::uint16_t(p);
        }
        break;
    default: {  // bishop, rook, queen, promoted men included
        const int e = lineDirection[to][K];
        if (e >= 0 && nearestPiece[to][e] == K && slidesAlong(codeType(board[to]), e)) {
            check = std::uint16_t(to);
            // Moving along the checking line cannot uncover another one.
            const int along = lineDirection[from][to];
            if (along == e || along == (e ^ 1)) return check;
        }
    }
    }
    // The slider behind from may be the checker already recorded: an
    // en-passant capture along the king's rank empties from and the captured
    // pawn's square on one line. Only a second man makes a double check.
    const int e = lineDirection[K][from];
    if (e >= 0 && sliderOf(nearestPiece[K][e], e, mover)) {
        const int p = nearestPiece[K][e];
        if (check == CHECK_NONE)
            check = std::uint16_t(p);
        else if (p != check)
            check |= CHECK_DOUBLE;
    }
    return check;
}

bool makeMove(Move m) {
    const int      from = moveFrom(m), to = moveTo(m);
    const int      h = gamePly, k = kingSquare[side];
    HistoryRecord& r = gameHistory[h];

    // 1. Refusals that need nothing undone. The game loop keeps every
    // search root MAX_PLY plies short of the history's end, so the first test
    // only ever refuses a move that some other path would play past it.
    if (h >= MAX_GAME_PLIES - 1) return false;
    if (m & MOVE_CASTLE) {
        if ((checkState[h] & 0xFF) < 64) return false;
        bool attacked;
        switch (to) {
        case 62: attacked = whiteKingsideAttacked(); break;
        case 58: attacked = whiteQueensideAttacked(); break;
        case 6: attacked = blackKingsideAttacked(); break;
        case 2: attacked = blackQueensideAttacked(); break;
        default: return false;
        }
        if (attacked) return false;
    } else if (from != k && exposesKing(m, from, to, k)) {
        return false;
    }

    r.keyLow  = std::uint32_t(hashKey);
    r.keyHigh = std::uint32_t(hashKey >> 32);
    r.pawnKey = pawnKey;
    if (m & MOVE_CASTLE) {
        int rookFrom, rookTo;
        castleRookSquares(to, rookFrom, rookTo);
        board[rookFrom] = EMPTY;
        unlinkSquare(rookFrom, side);
        board[rookTo] = pieceCode(side, ROOK);
        linkSquare(rookTo, side);
        hashKey ^= pieceKey(side, ROOK, rookFrom) ^ pieceKey(side, ROOK, rookTo);
    }

    // 2. Record and counters.
    const std::uint8_t mover    = board[from];
    const int          type     = codeType(mover);
    const int          captured = codeType(board[to]);
    r.move         = m;
    r.captured     = std::uint8_t(captured);
    r.castleRights = castleRights;
    r.epSquare     = epSquare;
    r.fiftyCount   = fiftyCount;
    ++ply;
    ++gamePly;
    fiftyCount = (m & (MOVE_CAPTURE | MOVE_PAWN)) ? 0 : std::uint8_t(fiftyCount + 1);
    castleRights &= std::uint8_t(castleKeepMask[from] & castleKeepMask[to]);
    epSquare = NO_EP;

    // 3. Keys of the captured man.
    const int epVictim = epVictimSquare(to, side);
    if (m & MOVE_EN_PASSANT) {
        const std::uint64_t key = pieceKey(xside, PAWN, epVictim);
        hashKey ^= key;
        pawnKey ^= std::uint32_t(key);
    } else if (captured != NO_TYPE) {
        const std::uint64_t key = pieceKey(xside, captured, to);
        hashKey ^= key;
        if (captured == PAWN) pawnKey ^= std::uint32_t(key);
    }

    // 4. The moving man.
    if (type != PAWN) {
        if (type == KING) kingSquare[side] = std::uint8_t(to);
        board[to]   = mover;
        board[from] = EMPTY;
        unlinkSquare(from, side);
        if (captured != NO_TYPE) {
            occupiedBy[xside] &= squareClear[to];
            occupiedBy[side] |= squareBit[to];
        } else {
            linkSquare(to, side);
        }
        hashKey ^= pieceKey(side, type, from) ^ pieceKey(side, type, to);
    } else {
        const std::uint64_t fromKey = pieceKey(side, PAWN, from);
        board[from]                 = EMPTY;
        pawnFileRanks[side][fileOf(from) + 1] &= std::uint8_t(~ROW_BIT(from));
        unlinkSquare(from, side);
        if (m & MOVE_PROMOTION) {
            const int promo = movePromotion(m);
            --pieceCount[side][PAWN];
            board[to] = pieceCode(side, promo);
            material[side] = std::uint16_t(material[side] + PIECE_VALUE[promo]);
            ++pieceCount[side][promo];
            pawnKey ^= std::uint32_t(fromKey);
            hashKey ^= fromKey ^ pieceKey(side, promo, to);
        } else {
            if ((m & MOVE_DOUBLE_PUSH) &&
                ((pawnFileRanks[xside][fileOf(to)] | pawnFileRanks[xside][fileOf(to) + 2]) & ROW_BIT(to)))
                epSquare = std::uint8_t(side == WHITE ? to + 8 : to - 8);
            board[to] = mover;
            pawnFileRanks[side][fileOf(to) + 1] |= ROW_BIT(to);
            const std::uint64_t keys = fromKey ^ pieceKey(side, PAWN, to);
            hashKey ^= keys;
            pawnKey ^= std::uint32_t(keys);
        }
        if (captured != NO_TYPE) {
            occupiedBy[xside] &= squareClear[to];
            occupiedBy[side] |= squareBit[to];
        } else {
            linkSquare(to, side);
        }
        if (m & MOVE_EN_PASSANT) {
            board[epVictim] = EMPTY;
            unlinkSquare(epVictim, xside);
        }
    }

    // 5. Counts of the captured man.
    if (m & MOVE_EN_PASSANT) {
        pawnFileRanks[xside][fileOf(epVictim) + 1] &= std::uint8_t(~ROW_BIT(epVictim));
        --pieceCount[xside][PAWN];
        --menCount;
    } else if (captured != NO_TYPE) {
        if (captured == PAWN)
            pawnFileRanks[xside][fileOf(to) + 1] &= std::uint8_t(~ROW_BIT(to));
        else
            material[xside] = std::uint16_t(material[xside] - PIECE_VALUE[captured]);
        --pieceCount[xside][captured];
        --menCount;
    }

    // 6. Pass the turn.
    side ^= 1;
    xside ^= 1;
    hashKey ^= sideKey;

    // 7. A king may not step into an attack (castling included).
    if (type == KING && findAttacker(kingSquare[xside], side) < 64) {
        unmakeMove();
        return false;
    }

    // 8. Check descriptor of the new side to move.
    checkState[gamePly] = checkAfterMove(m, from, to);
    return true;
}

void unmakeMove() {
    side ^= 1;
    xside ^= 1;
    --ply;
    --gamePly;
    const HistoryRecord& r = gameHistory[gamePly];
    epSquare               = r.epSquare;
    fiftyCount             = r.fiftyCount;
    if (r.move == 0) {
        hashKey ^= sideKey;
        return;
    }
    const Move m    = r.move;
    const int  from = moveFrom(m), to = moveTo(m);
    const int  type = codeType(board[to]);
    castleRights    = r.castleRights;
    hashKey         = std::uint64_t(r.keyHigh) << 32 | r.keyLow;
    pawnKey         = r.pawnKey;

    // 1. The to-square: empty it or put the captured man back.
    if (r.captured == NO_TYPE) {
        board[to] = EMPTY;
        unlinkSquare(to, side);
    } else {
        board[to] = pieceCode(xside, r.captured);
        occupiedBy[side] &= squareClear[to];
        occupiedBy[xside] |= squareBit[to];
        if (r.captured == PAWN)
            pawnFileRanks[xside][fileOf(to) + 1] |= ROW_BIT(to);
        else
            material[xside] = std::uint16_t(material[xside] + PIECE_VALUE[r.captured]);
        ++pieceCount[xside][r.captured];
        ++menCount;
    }

    // 2. The moving man back on its square.
    if (m & MOVE_PROMOTION) {
        board[from] = pieceCode(side, PAWN);
        linkSquare(from, side);
        ++pieceCount[side][PAWN];
        pawnFileRanks[side][fileOf(from) + 1] |= ROW_BIT(from);
        material[side] = std::uint16_t(material[side] - PIECE_VALUE[type]);
        --pieceCount[side][type];
    } else {
        board[from] = pieceCode(side, type);
        if (type == KING) kingSquare[side] = std::uint8_t(from);
        if (type == PAWN) {
            pawnFileRanks[side][fileOf(from) + 1] |= ROW_BIT(from);
            pawnFileRanks[side][fileOf(to) + 1] &= std::uint8_t(~ROW_BIT(to));
        }
        linkSquare(from, side);
    }

    // 3. The pawn taken en passant.
    if (m & MOVE_EN_PASSANT) {
        const int c = epVictimSquare(to, side);
        board[c]    = pieceCode(xside, PAWN);
        linkSquare(c, xside);
        ++pieceCount[xside][PAWN];
        ++menCount;
        pawnFileRanks[xside][fileOf(c) + 1] |= ROW_BIT(c);
    }

    // 4. The castling rook back in its corner.
    if (m & MOVE_CASTLE) {
        int rookFrom, rookTo;
        castleRookSquares(to, rookFrom, rookTo);
        board[rookTo] = EMPTY;
        unlinkSquare(rookTo, side);
        board[rookFrom] = pieceCode(side, ROOK);
        linkSquare(rookFrom, side);
    }
}

void makeNullMove() {
    const std::uint8_t oldEp = epSquare;
    epSquare                 = NO_EP;
    firstMove[ply + 1]       = firstMove[ply];
    HistoryRecord& r         = gameHistory[gamePly];
    r.move                   = 0;
    r.captured               = NO_TYPE;
    r.epSquare               = oldEp;
    r.fiftyCount             = fiftyCount;
    r.keyLow                 = 0;
    ++ply;
    fiftyCount              = 0;
    checkState[gamePly + 1] = CHECK_NONE;
    ++gamePly;
    hashKey ^= sideKey;
    side ^= 1;
    xside ^= 1;
}

bool isLegalMove(Move m) {
    if (!m || !makeMove(m)) return false;
    unmakeMove();
    return true;
}
