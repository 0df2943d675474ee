// search/search.cpp: the interior nodes. Steps follow the order in which a
// node may return early: repetition, tablebases, ply limit, hash, null move;
// only then are moves generated, in stages when off the principal variation.
#include "search/search.h"
#include <cstdlib>
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/rules.h"
#include "board/threat.h"
#include "eval/evaluate.h"
#include "search/hashtable.h"
#include "search/ordering.h"
#include "search/quiesce.h"
#include "search/searchdata.h"
#include "search/timecontrol.h"
#include "tablebase/tablebase.h"

static constexpr int FUTILITY_MARGIN[16] = {0,   350, 450,  500,  600,  650,  750,  800,
                                            900, 950, 1050, 1100, 1200, 1250, 1350, 1400};
// Value of a captured type for the recapture test; an en-passant capture
// records no type (6) and counts as a pawn.
static constexpr int RECAPTURE_VALUE[7] = {100, 300, 300, 500, 900, 0, 100};

bool isCheckExtensible() {
    const Move last = gameHistory[gamePly - 1].move;
    const int  c = moveTo(last), f = moveFrom(last);
    if (checkState[gamePly] & CHECK_DOUBLE) return true;
    if (findAttacker(c, side) >= 64) return true;  // the checker cannot be taken
    if (findAttacker(c, xside) < 64) return true;  // or it is defended
    // The move uncovered a line through its from-square (now empty).
    for (int d = 0; d < 8; ++d) {
        const std::uint8_t code = board[scanNearest(f, d)];
        if (codeColour(code) == xside && slidesAlong(codeType(code), d)) return true;
    }
    return false;
}

namespace {

// Stages of move selection at an interior node.
enum Stage { STAGE_HASH, STAGE_CAPTURES, STAGE_KILLER, STAGE_QUIETS, STAGE_DONE, STAGE_FULL };

struct MoveSelector {
    Stage         stage;
    std::uint32_t index;
    bool          firstPick;    // the stage's first pick drops the moves tried already
    Move          hashMove;     // 24-bit form from the table or IID, or 0
    Move          hashTried;    // classified hash move tried in STAGE_HASH, or 0
    Move          killerTried;  // classified killer tried in STAGE_KILLER, or 0
};

void startSelector(MoveSelector& sel, Move hashMove, bool full) {
    sel.hashMove  = hashMove;
    sel.hashTried = sel.killerTried = 0;
    sel.index     = firstMove[ply];
    sel.firstPick = true;
    if (full) {
        generateAllMoves();
        scoreMoveList();
        if (hashMove) markHashMove(hashMove);
        if (followPv) markPvMove();
        sel.stage = STAGE_FULL;
    } else {
        // The hash move is tried before anything is generated: its subtree
        // must find an empty list here, not whatever an earlier node left.
        firstMove[ply + 1] = firstMove[ply];
        sel.stage          = STAGE_HASH;
    }
}

// The next move of a freshly generated stage list: the first pick drops
// the moves already tried outside the list, later picks just select.
Move pickFromList(MoveSelector& sel, Move tried1, Move tried2) {
    if (sel.firstPick) {
        sel.index     = firstMove[ply];
        sel.firstPick = false;
        const Move m  = pickNextMove(sel.index, tried1, tried2);
        if (m) ++sel.index;
        return m;
    }
    return sel.index < firstMove[ply + 1] ? pickBestMove(sel.index++) : 0;
}

// The next move to try, or 0 when the node has no more.
Move nextMove(MoveSelector& sel) {
    for (;;) {
        switch (sel.stage) {
        case STAGE_FULL:
            if (sel.index >= firstMove[ply + 1]) return 0;
            return pickBestMove(sel.index++);
        case STAGE_HASH:
            sel.stage = STAGE_CAPTURES;
            if (sel.hashMove && isHashMovePlayable(sel.hashMove)) {
                Move m = sel.hashMove;
                classifyMove(&m);
                sel.hashTried = m;
                return m;
            }
            break;
        case STAGE_CAPTURES:
            if (sel.firstPick) generateCaptures();
            if (const Move m = pickFromList(sel, sel.hashTried, 0)) return m;
            sel.stage     = STAGE_KILLER;
            sel.firstPick = true;
            break;
        case STAGE_KILLER: {
            sel.stage = STAGE_QUIETS;
            Move killer = killerMoves[ply][0] & 0xFFFFFF;
            if (((killer ^ sel.hashMove) & 0xFFFFFF) != 0 && isKillerPlayable(killer)) {
                classifyMove(&killer);
                sel.killerTried = killer;
                return killer;
            }
            break;
        }
        case STAGE_QUIETS:
            if (sel.firstPick) {
                generateQuietMoves();
                scoreQuietMoves(killerMoves[ply][1]);
            }
            if (const Move m = pickFromList(sel, sel.hashTried, sel.killerTried)) return m;
            sel.stage = STAGE_DONE;
            break;
        case STAGE_DONE: return 0;
        }
    }
}

// Returning from a hash hit: the stored move becomes the node's variation.
std::int16_t returnFromHit(const HashHit& entry, Move hashMove, int depth) {
    if (hashMove && isHashMovePlayable(hashMove)) {
        classifyMove(&hashMove);
        pvTable[ply][ply] = hashMove;
        pvLength[ply]     = std::uint8_t(ply + 1);
        historyTable[moveFrom(hashMove)][moveTo(hashMove)] += std::uint32_t(2 * depth);
    }
    return entry.score;
}

inline bool givesCheck() { return (checkState[gamePly] & 0xFF) < 64; }

}  // namespace

std::int16_t search(int alpha, int beta, int depth, int extension, std::uint8_t flags) {
    const int d = depth;
    // 1. Empty variation, node count and poll.
    pvLength[ply] = ply;
    if ((++nodeCount & pollMask) == 0) checkTime();
    if (ply > selDepth) selDepth = ply;

    // 2. A repetition is a draw.
    if (repetitionCount()) return 0;

    // 3. Tablebases, right after a capture or promotion, or near the root.
    if (menCount <= tbPieceLimit && castleRights == 0 &&
        ((gameHistory[gamePly - 1].move & (MOVE_CAPTURE | MOVE_PROMOTION)) || ply < 3)) {
        std::int16_t score;
        if (probeTablebase(&score)) return std::int16_t(score > 0 ? score - ply : score < 0 ? score + ply : 0);
    }

    // 4. Ply limit.
    if (ply >= MAX_PLY - 1) return evaluate(std::int16_t(alpha), std::int16_t(beta));

    // 5. Hash probe.
    Move       hashMove   = 0;
    bool       mateThreat = false;
    HashHit    hit;
    const bool found      = hashTable && probeMainTable(&hit);
    if (found) {
        hashMove   = unpackMove(hit.move);
        mateThreat = (hit.flags & HASH_MATE_THREAT) != 0;
        if ((hit.flags & HASH_UPPER) && hit.depth >= d - (d - 1) / 3 - 2 && hit.score < beta) flags &= ~NODE_NULL_OK;
        if (hit.depth >= d) {
            if (hit.flags & HASH_UPPER) {
                if (hit.score < beta) beta = hit.score;
            } else if (hit.flags & HASH_LOWER) {
                if (hit.score > alpha) alpha = hit.score;
            } else if (hashMove && isHashMovePlayable(hashMove)) {
                return returnFromHit(hit, hashMove, d);
            }
        }
        if (alpha >= beta) return returnFromHit(hit, hashMove, d);
    }
    const int probedAlpha = alpha, probedBeta = beta;

    // 6. In check?
    const bool inCheck = (checkState[gamePly] & 0xFF) < 64;

    // 7. Null move: pass, and if even that holds beta, so will a real move.
    if ((flags & NODE_NULL_OK) && !inCheck && !mateThreat && (d > 2 || (d == 2 && !checkThreat(side, true))) &&
        (material[side] > 500 || d < 7)) {
        makeNullMove();
        const int r = d - (d - 1) / 3 - 2;
        const int s = r <= 0 ? -quiesce(-beta, 1 - beta) : -search(-beta, 1 - beta, r, 0, 0);
        unmakeMove();
        if (s >= beta) {
            if (hashTable) {
                const std::uint8_t nullFlags = s <= probedAlpha ? HASH_UPPER : s >= probedBeta ? HASH_LOWER : HASH_EXACT;
                storeNullMove(found ? &hit : nullptr, d, s, nullFlags);
            }
            return std::int16_t(s);
        }
        if (s == ply - (MATE_SCORE - 2)) mateThreat = true;  // mated at once after passing
    }

    // 8. Internal iterative deepening for a hash move.
    if ((flags & NODE_NULL_OK) && !hashMove && d > 2) {
        const int r = inCheck && d - 2 > 2 ? 2 : d - 2;
        if (search(alpha, beta, r, extension, flags) <= alpha) search(-MATE_SCORE, alpha + 1, r, extension, flags);
        if (pvLength[ply] > ply) hashMove = pvTable[ply][ply] & 0xFFFFFF;
    }

    // 9. Futility: a hopeless node searches its quiet moves one ply less.
    bool futile = false;
    if (!inCheck && !mateThreat && std::abs(alpha) < 1000 && d < 16)
        futile = evaluate(10000, -10000) + FUTILITY_MARGIN[d] < alpha;

    // 10. Moves; a mate threat extends every one of them.
    MoveSelector sel;
    startSelector(sel, hashMove, inCheck || followPv);
    if (mateThreat) extension += 3;
    const int base = extension - 1;

    // 11. The move loop.
    int  best = -MATE_SCORE;
    Move bestMove = 0;
    bool first    = true;
    while (const Move m = nextMove(sel)) {
        int          childDepth = d - 1;
        int          q          = base < 0 ? 0 : base;
        std::uint8_t childFlags = NODE_NULL_OK;
        if (!makeMove(m)) continue;
        const bool check = givesCheck();
        if (check && childDepth < 2) {
            ++childDepth;
            q = 0;
        } else if (check && ply - 1 < 2 * iterationDepth && isCheckExtensible()) {
            ++childDepth;
            q = 0;
        } else if (!check && futile && childDepth > 0 && !(m & (MOVE_CAPTURE | MOVE_PROMOTION))) {
            --childDepth;
            q = 0;
        } else {
            // Recapture on the square of a capture of equal value (or a promotion).
            const Move previous = gameHistory[gamePly - 2].move;
            if (!(flags & NODE_RECAPTURED) && moveTo(m) == moveTo(previous) &&
                ((previous & MOVE_PROMOTION) ||
                 ((previous & MOVE_CAPTURE) &&
                  RECAPTURE_VALUE[gameHistory[gamePly - 1].captured] == RECAPTURE_VALUE[gameHistory[gamePly - 2].captured]))) {
                q += 3;
                childFlags = NODE_NULL_OK | NODE_RECAPTURED;
            }
            // A pawn reaching the seventh rank.
            if ((m & MOVE_PAWN) && (rowOf(moveTo(m)) == 1 || rowOf(moveTo(m)) == 6)) {
                const int before = q;
                q += 3;
                if (((before + 3) >> 2) + childDepth <= 0) q += 1;
            }
            if (q >= 4) {
                if (ply - 1 < 2 * iterationDepth) ++childDepth;
                q &= 3;
            }
        }
        int s;
        if (first) {
            s     = childDepth <= 0 ? -quiesce(-beta, -alpha) : -search(-beta, -alpha, childDepth, q, childFlags);
            first = false;
        } else {
            s = childDepth <= 0 ? -quiesce(-alpha - 1, -alpha) : -search(-alpha - 1, -alpha, childDepth, q, childFlags);
            if (alpha < s && s < beta)
                s = childDepth <= 0 ? -quiesce(-beta, 1 - s) : -search(-beta, 1 - s, childDepth, q, childFlags);
        }
        unmakeMove();
        if (s <= best) continue;
        best     = s;
        bestMove = m;
        if (s > alpha) {
            historyTable[moveFrom(m)][moveTo(m)] += std::uint32_t(d);
            pvTable[ply][ply] = m;
            for (int i = ply + 1; i < pvLength[ply + 1]; ++i) pvTable[ply][i] = pvTable[ply + 1][i];
            pvLength[ply] = pvLength[ply + 1];
            if (s >= beta) {
                historyTable[moveFrom(m)][moveTo(m)] += std::uint32_t(d);
                break;
            }
            alpha = s;
        }
    }

    // 12. Mate, stalemate, fifty moves; store; killers.
    if (!bestMove) return std::int16_t(inCheck ? ply - MATE_SCORE : 0);
    if (fiftyMovesPassed()) return 0;
    if (best < probedAlpha) best = probedAlpha;
    if (hashTable) {
        std::uint8_t hashFlags = best <= probedAlpha ? HASH_UPPER : best >= probedBeta ? HASH_LOWER : HASH_EXACT;
        if (mateThreat) hashFlags |= HASH_MATE_THREAT;
        storeMainTable(d, best, hashFlags, bestMove, best <= probedAlpha);
    }
    if (!(bestMove & (MOVE_CAPTURE | MOVE_PROMOTION))) {
        if (killerMoves[ply][0] != bestMove) killerMoves[ply][1] = killerMoves[ply][0];
        killerMoves[ply][0] = bestMove;
    }
    return std::int16_t(best);
}
