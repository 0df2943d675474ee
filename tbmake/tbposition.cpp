// tbmake/tbposition.cpp: the small position's geometry, forward move
// generator and FEN text. Kept apart from the engine's board so the generator
// and the verifier can run on several threads at once.
#include "tbmake/tbposition.h"
#include <cstdio>
#include <cstring>
#include "tablebase/indexing.h"

std::uint64_t tbKingMask[64];
std::uint64_t tbKnightMask[64];
const int     tbRayStep[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
static std::uint64_t pawnAttackMask[2][64];
static std::uint64_t betweenMask[64][64];  // squares strictly between two aligned squares
static std::uint8_t  lineKind[64][64];     // 1 same rank or file, 2 same diagonal, 0 neither
static std::uint64_t rayMask[64][8];       // squares from a square in a direction, itself not included

static constexpr std::uint64_t bitOf(int s) { return std::uint64_t(1) << s; }
static bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

void initTbCore() {
    initIndexTables();
    static const int knightStep[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
    for (int s = 0; s < 64; ++s) {
        const int f = s & 7, r = s >> 3;
        tbKingMask[s] = tbKnightMask[s] = 0;
        for (int d = 0; d < 8; ++d) {
            if (onBoard(f + tbRayStep[d][0], r + tbRayStep[d][1]))
                tbKingMask[s] |= bitOf((r + tbRayStep[d][1]) * 8 + f + tbRayStep[d][0]);
            if (onBoard(f + knightStep[d][0], r + knightStep[d][1]))
                tbKnightMask[s] |= bitOf((r + knightStep[d][1]) * 8 + f + knightStep[d][0]);
        }
        pawnAttackMask[0][s] = pawnAttackMask[1][s] = 0;
        for (int df = -1; df <= 1; df += 2) {
            if (onBoard(f + df, r + 1)) pawnAttackMask[0][s] |= bitOf((r + 1) * 8 + f + df);
            if (onBoard(f + df, r - 1)) pawnAttackMask[1][s] |= bitOf((r - 1) * 8 + f + df);
        }
        for (int t = 0; t < 64; ++t) {
            betweenMask[s][t] = 0;
            lineKind[s][t]    = 0;
        }
        for (int d = 0; d < 8; ++d) {
            std::uint64_t passed = 0;
            for (int k = 1;; ++k) {
                const int nf = f + tbRayStep[d][0] * k, nr = r + tbRayStep[d][1] * k;
                if (!onBoard(nf, nr)) break;
                const int t       = nr * 8 + nf;
                betweenMask[s][t] = passed;
                lineKind[s][t]    = std::uint8_t(d < 4 ? 1 : 2);
                passed |= bitOf(t);
            }
            rayMask[s][d] = passed;
        }
    }
}

std::uint64_t occupancyOf(const TbPosition& p) {
    std::uint64_t occ = 0;
    for (int i = 0; i < p.men; ++i)
        if (p.square[i] != TBC_GONE) occ |= bitOf(p.square[i]);
    return occ;
}

static bool attacksSquare(int type, int colour, int from, int to, std::uint64_t occ) {
    switch (type) {
    case 0: return (pawnAttackMask[colour][from] >> to) & 1;
    case 1: return (tbKnightMask[from] >> to) & 1;
    case 2: return lineKind[from][to] == 2 && !(betweenMask[from][to] & occ);
    case 3: return lineKind[from][to] == 1 && !(betweenMask[from][to] & occ);
    case 4: return lineKind[from][to] != 0 && !(betweenMask[from][to] & occ);
    default: return (tbKingMask[from] >> to) & 1;
    }
}

// Squares a line piece reaches along directions [first, last): up to and
// including the first man on each ray. Even directions (tbRayStep) run to
// higher squares, so their nearest man is the lowest bit.
static std::uint64_t lineAttacks(int from, int first, int last, std::uint64_t occ) {
    std::uint64_t attacks = 0;
    for (int d = first; d < last; ++d) {
        const std::uint64_t ray = rayMask[from][d], blockers = ray & occ;
        if (!blockers) {
            attacks |= ray;
            continue;
        }
        const int nearest = (d & 1) == 0 ? __builtin_ctzll(blockers) : 63 - __builtin_clzll(blockers);
        attacks |= ray ^ rayMask[nearest][d];
    }
    return attacks;
}

static std::uint64_t attacksOf(int type, int colour, int from, std::uint64_t occ) {
    switch (type) {
    case 0: return pawnAttackMask[colour][from];
    case 1: return tbKnightMask[from];
    case 2: return lineAttacks(from, 4, 8, occ);
    case 3: return lineAttacks(from, 0, 4, occ);
    case 4: return lineAttacks(from, 0, 8, occ);
    default: return tbKingMask[from];
    }
}

bool isAttackedBy(const TbPosition& p, int square, int colour, std::uint64_t occ) {
    for (int i = 0; i < p.men; ++i)
        if (p.colour[i] == colour && p.square[i] != TBC_GONE &&
            attacksSquare(p.type[i], colour, p.square[i], square, occ))
            return true;
    return false;
}

bool isInCheck(const TbPosition& p, int colour) {
    return isAttackedBy(p, p.square[colour], colour ^ 1, occupancyOf(p));
}

static int manAt(const TbPosition& p, int square) {
    for (int i = 0; i < p.men; ++i)
        if (p.square[i] == square) return i;
    return -1;
}

TbPosition applyTbMove(const TbPosition& p, const TbMove& m) {
    TbPosition q = p;
    if (m.captured != 255) q.square[m.captured] = TBC_GONE;
    const int from = p.square[m.man];
    q.square[m.man] = m.to;
    if (m.promotion) q.type[m.man] = m.promotion;
    q.toMove   = std::uint8_t(p.toMove ^ 1);
    q.epSquare = TBC_NO_EP;
    if (p.type[m.man] == 0 && (from ^ m.to) == 16) {
        // The en-passant square only exists when an enemy pawn stands beside.
        for (int i = 0; i < p.men; ++i)
            if (q.square[i] != TBC_GONE && q.type[i] == 0 && q.colour[i] != p.colour[m.man] &&
                (q.square[i] >> 3) == (m.to >> 3) && (q.square[i] - m.to == 1 || m.to - q.square[i] == 1))
                q.epSquare = std::uint8_t((from + m.to) / 2);
    }
    return q;
}

int generateTbMoves(const TbPosition& p, TbMove* moves) {
    const int           us  = p.toMove;
    const std::uint64_t occ = occupancyOf(p);
    int                 n   = 0;
    // Only a king move, a move out of check, an en-passant capture or a man
    // leaving a line through its own king can expose the king.
    const int  ownKing = p.square[us];
    const bool checked = isAttackedBy(p, ownKing, us ^ 1, occ);
    auto add = [&](int man, int to, int promotion, int captured) {
        TbMove m{std::uint8_t(man), std::uint8_t(to), std::uint8_t(promotion), std::uint8_t(captured)};
        const int from = p.square[man];
        if (checked || man == us || (lineKind[ownKing][from] != 0 && !(betweenMask[ownKing][from] & occ)) ||
            (captured != 255 && p.square[captured] != to)) {
            const TbPosition q = applyTbMove(p, m);
            if (isAttackedBy(q, q.square[us], us ^ 1, occupancyOf(q))) return;
        }
        moves[n++] = m;
    };
    auto addTarget = [&](int man, int to) {
        if (!((occ >> to) & 1)) return add(man, to, 0, 255);
        const int victim = manAt(p, to);
        if (p.colour[victim] != us && p.type[victim] != TBC_KING) add(man, to, 0, victim);
    };
    for (int i = 0; i < p.men; ++i) {
        if (p.colour[i] != us || p.square[i] == TBC_GONE) continue;
        const int from = p.square[i], f = from & 7, r = from >> 3;
        const int type = p.type[i];
        if (type == TBC_KING || type == 1) {
            std::uint64_t targets = type == 1 ? tbKnightMask[from] : tbKingMask[from];
            while (targets) {
                addTarget(i, __builtin_ctzll(targets));
                targets &= targets - 1;
            }
        } else if (type >= 2) {
            const int first = type == 2 ? 4 : 0, last = type == 3 ? 4 : 8;
            for (int d = first; d < last; ++d)
                for (int k = 1;; ++k) {
                    const int nf = f + tbRayStep[d][0] * k, nr = r + tbRayStep[d][1] * k;
                    if (!onBoard(nf, nr)) break;
                    addTarget(i, nr * 8 + nf);
                    if ((occ >> (nr * 8 + nf)) & 1) break;
                }
        } else {
            const int step = us == 0 ? 8 : -8;
            const int last = us == 0 ? 7 : 0;  // promotion rank
            auto      push = [&](int to, int captured) {
                if ((to >> 3) == last)
                    for (int promotion = 4; promotion >= 1; --promotion) add(i, to, promotion, captured);
                else
                    add(i, to, 0, captured);
            };
            const int ahead = from + step;
            if (!((occ >> ahead) & 1)) {
                push(ahead, 255);
                const int start = us == 0 ? 1 : 6;
                if (r == start && !((occ >> (ahead + step)) & 1)) add(i, ahead + step, 0, 255);
            }
            std::uint64_t targets = pawnAttackMask[us][from];
            while (targets) {
                const int to = __builtin_ctzll(targets);
                targets &= targets - 1;
                if ((occ >> to) & 1) {
                    const int victim = manAt(p, to);
                    if (p.colour[victim] != us && p.type[victim] != TBC_KING) push(to, victim);
                } else if (to == p.epSquare) {
                    const int victim = manAt(p, to - step);
                    if (victim >= 0 && p.type[victim] == 0 && p.colour[victim] != us) add(i, to, 0, victim);
                }
            }
        }
    }
    return n;
}

bool kingsShareLongDiagonal(int a, int b) {
    const int fa = a & 7, ra = a >> 3, fb = b & 7, rb = b >> 3;
    return (fa == ra && fb == rb) || (fa + ra == 7 && fb + rb == 7);
}

bool splitTbMoves(const TbPosition& p, bool mirrorKings, TbMove* exits, int& exitCount, int& stays) {
    if (p.epSquare != TBC_NO_EP) return false;
    const int us = p.toMove, them = us ^ 1, ownKing = p.square[us], enemyKing = p.square[them];
    if (mirrorKings && kingsShareLongDiagonal(ownKing, enemyKing)) return false;
    const std::uint64_t occ = occupancyOf(p);
    std::uint64_t       ours = 0;
    for (int i = 0; i < p.men; ++i)
        if (p.colour[i] == us && p.square[i] != TBC_GONE) ours |= bitOf(p.square[i]);
    // What the enemy attacks with our king off the board, for the king's
    // moves; a check or a pin leaves the position to the full generator.
    std::uint64_t       danger     = 0;
    const std::uint64_t withoutKing = occ & ~bitOf(ownKing);
    for (int i = 0; i < p.men; ++i) {
        if (p.colour[i] == us || p.square[i] == TBC_GONE) continue;
        const int type = p.type[i], from = p.square[i];
        danger |= attacksOf(type, them, from, withoutKing);
        if (type < 2 || type > 4) continue;
        const int line = lineKind[ownKing][from];
        if (line == 0 || (type == 2 && line != 2) || (type == 3 && line != 1)) continue;
        const std::uint64_t between = betweenMask[ownKing][from] & occ;
        if (!(between & (between - 1)) && (between & ours)) return false;
    }
    if ((danger >> ownKing) & 1) return false;
    const std::uint64_t kingTargets = tbKingMask[ownKing] & ~ours & ~danger;
    if (mirrorKings)
        for (std::uint64_t q = kingTargets & ~occ; q; q &= q - 1)
            if (kingsShareLongDiagonal(__builtin_ctzll(q), enemyKing)) return false;
    const std::uint64_t theirs = occ & ~ours & ~bitOf(enemyKing);
    exitCount = stays = 0;
    auto exit = [&](int man, int to, int promotion) {
        const int captured = (occ >> to) & 1 ? manAt(p, to) : 255;
        exits[exitCount++] = {std::uint8_t(man), std::uint8_t(to), std::uint8_t(promotion), std::uint8_t(captured)};
    };
    auto exitEach = [&](int man, std::uint64_t targets, bool promotes) {
        for (; targets; targets &= targets - 1) {
            const int to = __builtin_ctzll(targets);
            if (!promotes) exit(man, to, 0);
            for (int promotion = 4; promotes && promotion >= 1; --promotion) exit(man, to, promotion);
        }
    };
    for (int i = 0; i < p.men; ++i) {
        if (p.colour[i] != us || p.square[i] == TBC_GONE) continue;
        const int from = p.square[i], type = p.type[i];
        if (type == TBC_KING) {
            stays += __builtin_popcountll(kingTargets & ~occ);
            exitEach(i, kingTargets & theirs, false);
        } else if (type == 0) {
            const int  step = us == 0 ? 8 : -8, ahead = from + step;
            const bool promotes = (ahead >> 3) == (us == 0 ? 7 : 0);
            if (!((occ >> ahead) & 1)) {
                if (promotes)
                    exitEach(i, bitOf(ahead), true);
                else
                    stays += 1 + ((from >> 3) == (us == 0 ? 1 : 6) && !((occ >> (ahead + step)) & 1));
            }
            exitEach(i, pawnAttackMask[us][from] & theirs, promotes);
        } else {
            const std::uint64_t targets = attacksOf(type, us, from, occ);
            stays += __builtin_popcountll(targets & ~occ);
            exitEach(i, targets & theirs, false);
        }
    }
    return true;
}

void materialOf(const TbPosition& p, std::uint8_t counts[2][5]) {
    std::memset(counts, 0, 10);
    for (int i = 2; i < p.men; ++i)
        if (p.square[i] != TBC_GONE) ++counts[p.colour[i]][p.type[i]];
}

std::string materialName(const std::uint8_t first[5], const std::uint8_t second[5]) {
    static const char letter[5] = {'p', 'n', 'b', 'r', 'q'};
    std::string       name      = "k";
    for (int t = 4; t >= 0; --t) name.append(first[t], letter[t]);
    name += 'k';
    for (int t = 4; t >= 0; --t) name.append(second[t], letter[t]);
    return name;
}

void pieceListsOf(const TbPosition& p, std::uint32_t lists[2][16], std::uint8_t* entryOf) {
    std::uint8_t used[2][5] = {};
    for (int i = 0; i < p.men; ++i) {
        if (p.square[i] == TBC_GONE) continue;
        const int c     = p.colour[i];
        const int entry = p.type[i] == TBC_KING ? TB_KING_ENTRY : p.type[i] * 3 + used[c][p.type[i]]++;
        lists[c][entry] = p.square[i];
        if (entryOf) entryOf[i] = std::uint8_t(entry);
    }
}

void writeTbFen(const TbPosition& p, char* out) {
    static const char letter[6] = {'p', 'n', 'b', 'r', 'q', 'k'};
    char board[64];
    for (int s = 0; s < 64; ++s) board[s] = 0;
    for (int i = 0; i < p.men; ++i)
        if (p.square[i] != TBC_GONE)
            board[p.square[i]] = char(p.colour[i] == 0 ? letter[p.type[i]] - 32 : letter[p.type[i]]);
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = board[rank * 8 + file];
            if (!c) {
                ++empty;
                continue;
            }
            if (empty) *out++ = char('0' + empty), empty = 0;
            *out++ = c;
        }
        if (empty) *out++ = char('0' + empty);
        if (rank) *out++ = '/';
    }
    *out++ = ' ';
    *out++ = p.toMove == 0 ? 'w' : 'b';
    *out++ = ' ';
    *out++ = '-';
    *out++ = ' ';
    if (p.epSquare == TBC_NO_EP)
        *out++ = '-';
    else
        *out++ = char('a' + (p.epSquare & 7)), *out++ = char('1' + (p.epSquare >> 3));
    std::sprintf(out, " 0 1");
}

