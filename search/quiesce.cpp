// search/quiesce.cpp: captures (or, in check, all evasions) until the
// position is quiet. Nothing is pruned; a side in check that already stands
// at or above beta may stand pat only if the check does not hurt it.
#include "search/quiesce.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/hashtable.h"
#include "search/ordering.h"
#include "search/searchdata.h"
#include "search/timecontrol.h"

// Whether the side in check, standing pat at e >= beta, may keep that score.
static bool acceptCheck(int e, int beta) {
    const std::uint16_t check = checkState[gamePly];
    const int           c     = moveTo(gameHistory[gamePly - 1].move);
    const int           k     = kingSquare[side];
    // 1. A single checker that the side in check wins.
    if (!(check & CHECK_DOUBLE) && attackBalance(c, side) > 0) return true;

    // 2. The most valuable own man the checker attacks and could win.
    int       threatened = -1;
    const int type       = codeType(board[c]);
    auto      consider   = [&](int sq) {
        const std::uint8_t code = board[sq];
        if (codeColour(code) == side && codeType(code) > threatened && attackBalance(sq, xside) > 0)
            threatened = codeType(code);
    };
    if (type == KNIGHT) {
        for (const std::uint8_t* t = knightTargets[c]; *t != 255; ++t) consider(*t);
    } else if (type >= BISHOP && type <= QUEEN) {
        for (int d = type == BISHOP ? 4 : 0; d < (type == ROOK ? 4 : 8); ++d) consider(nearestPiece[c][d]);
    }

    // 3. The king needs a flight square.
    bool flight = false;
    for (int d = 0; d < 8 && !flight; ++d) {
        const int t = nextSquare[k][d];
        if (t < 64 && board[t] == EMPTY && makeMove(makeMoveWord(k, t, 0))) {
            unmakeMove();
            flight = true;
        }
    }
    if (!flight) return false;
    // 4. With a flight square, accept unless the checker wins material.
    return threatened < 0 || e >= beta + PIECE_VALUE[threatened];
}

// A stored move only shapes this node's variation when it could be played.
static std::int16_t returnFromHit(const HashHit& entry, Move hashMove) {
    if (hashMove && isHashMovePlayable(hashMove)) {
        classifyMove(&hashMove);
        pvTable[ply][ply] = hashMove;
        pvLength[ply]     = std::uint8_t(ply + 1);
    }
    return entry.score;
}

std::int16_t quiesce(int alpha, int beta) {
    // 1. Node count and poll, empty variation, ply limit.
    if ((++nodeCount & pollMask) == 0) checkTime();
    if (ply > selDepth) selDepth = ply;
    pvLength[ply] = ply;
    if (ply >= MAX_PLY - 1) return std::int16_t(beta);

    // 2. Quiescence hash.
    Move    hashMove = 0;
    HashHit hit;
    if (qsHashTable && probeQuiescenceTable(&hit)) {
        hashMove = unpackMove(hit.move);
        if (hit.flags & HASH_UPPER) {
            if (hit.score < beta) beta = hit.score;
        } else if (hit.flags & HASH_LOWER) {
            if (hit.score > alpha) alpha = hit.score;
        } else {
            // An exact entry whose move cannot be played counts as a bound.
            const int  from = moveFrom(hashMove), to = moveTo(hashMove);
            const bool unplayable = codeType(board[from]) == PAWN && fileOf(from) != fileOf(to) &&
                                    board[to] == EMPTY && to != epSquare;
            if (!unplayable) return returnFromHit(hit, hashMove);
        }
        if (alpha >= beta) return returnFromHit(hit, hashMove);
    }

    // 3. Stand pat.
    const bool inCheck = (checkState[gamePly] & 0xFF) < 64;
    const int  e       = evaluate(std::int16_t(alpha), std::int16_t(beta));
    int        best;
    if (e <= alpha) {
        best = inCheck ? -MATE_SCORE : e;
    } else if (e < beta) {
        alpha = e;
        best  = inCheck ? -MATE_SCORE : e;
    } else {
        if (!inCheck || acceptCheck(e, beta)) return std::int16_t(e);
        best = -MATE_SCORE;
    }
    const int standPatAlpha = alpha;

    // 4. Captures and promotions, or every evasion.
    if (inCheck) {
        generateEvasions();
        scoreMoveList();
    } else {
        generateCaptures();
    }
    if (hashMove) markHashMove(hashMove);
    if (followPv) markPvMove();

    // 5. Search them all, best first.
    Move bestMove = 0;
    bool searched = false;
    for (std::uint32_t index = firstMove[ply]; index < firstMove[ply + 1]; ++index) {
        const Move m = pickBestMove(index);
        if (!makeMove(m)) continue;
        searched     = true;
        const int s  = -quiesce(-beta, -alpha);
        unmakeMove();
        if (s <= best) continue;
        best     = s;
        bestMove = m;
        if (s > alpha) {
            pvTable[ply][ply] = m;
            for (int i = ply + 1; i < pvLength[ply + 1]; ++i) pvTable[ply][i] = pvTable[ply + 1][i];
            pvLength[ply] = pvLength[ply + 1];
            if (s >= beta) break;
            alpha = s;
        }
    }

    // 6. Result, store, mate.
    const int result = best < alpha ? alpha : best;
    if (bestMove) {
        if (qsHashTable) {
            const std::uint8_t flags = result <= standPatAlpha ? HASH_UPPER : result >= beta ? HASH_LOWER : HASH_EXACT;
            storeQuiescenceTable(result, flags, bestMove);
        }
        return std::int16_t(result);
    }
    if (!searched && inCheck) return std::int16_t(ply - MATE_SCORE);
    return std::int16_t(result);
}
