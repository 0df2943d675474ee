#include "tests/board/random_positions.h"
#include <random>
#include <utility>
#include "board/position.h"
#include "board/setup.h"
#include "tests/test_support.h"

namespace {

struct Placement {
    int colour[64];  // WHITE, BLACK, or -1
    int type[64];    // PAWN..KING, or -1
};

void clear(Placement& p) {
    for (int s = 0; s < 64; ++s) p.colour[s] = p.type[s] = -1;
}

std::string toFen(const Placement& p, int toMove, const char* castling, const char* ep) {
    std::string fen;
    for (int row = 0; row < 8; ++row) {
        if (row) fen += '/';
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int s = row * 8 + file;
            if (p.type[s] < 0) {
                ++empty;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            const char letter = "PNBRQK"[p.type[s]];
            fen += p.colour[s] == WHITE ? letter : char(letter + 32);
        }
        if (empty) fen += char('0' + empty);
    }
    fen += toMove == WHITE ? " w " : " b ";
    fen += castling;
    fen += ' ';
    fen += ep;
    fen += " 0 1";
    return fen;
}

// Squares on the eight lines through s, s excluded.
std::vector<int> linesThrough(int s) {
    static const int steps[8][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    std::vector<int> squares;
    for (const auto& step : steps)
        for (int f = (s & 7) + step[0], r = (s >> 3) + step[1]; f >= 0 && f < 8 && r >= 0 && r < 8;
             f += step[0], r += step[1])
            squares.push_back(r * 8 + f);
    return squares;
}

// The squares from s (excluded) along a step of (df, dr) to the edge.
std::vector<int> ray(int s, int df, int dr) {
    std::vector<int> squares;
    for (int f = (s & 7) + df, r = (s >> 3) + dr; f >= 0 && f < 8 && r >= 0 && r < 8; f += df, r += dr)
        squares.push_back(r * 8 + f);
    return squares;
}

// An empty square, from `preferred` when it offers one and the coin says so.
int pickSquare(const Placement& p, const std::vector<int>& preferred, bool prefer, std::mt19937& random) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        const int s = prefer && !preferred.empty() ? preferred[random() % preferred.size()] : int(random() % 64);
        if (p.type[s] < 0) return s;
    }
    return -1;
}

bool place(Placement& p, int s, int colour, int type) {
    if (s < 0 || (type == PAWN && (s < 8 || s >= 56))) return false;
    p.colour[s] = colour;
    p.type[s]   = type;
    return true;
}

// Mirrors the board top to bottom and swaps the colours.
Placement mirrored(const Placement& p) {
    Placement m;
    for (int s = 0; s < 64; ++s) {
        m.type[s ^ 56]   = p.type[s];
        m.colour[s ^ 56] = p.colour[s] < 0 ? -1 : p.colour[s] ^ 1;
    }
    return m;
}

std::string squareName(int s) { return {char('a' + (s & 7)), char('8' - (s >> 3))}; }

}  // namespace

std::vector<std::string> enPassantPositions(int count, unsigned seed) {
    std::mt19937             random(seed);
    std::vector<std::string> fens;
    static const int         extraTypes[] = {ROOK, ROOK, QUEEN, BISHOP, BISHOP, KNIGHT, PAWN};
    while (int(fens.size()) < count) {
        // Built with white to move and black's pawn just pushed from row 1 to
        // row 3; every other position is then mirrored for black to move.
        Placement p;
        clear(p);
        const int victimFile = int(random() % 8);
        const int toward     = victimFile == 0 ? 1 : victimFile == 7 ? -1 : (random() % 2 ? 1 : -1);
        const int victim = 24 + victimFile, capturer = victim + toward, ep = victim - 8;
        place(p, victim, BLACK, PAWN);
        place(p, capturer, WHITE, PAWN);
        // A second capturer on the other side now and then.
        if (victimFile > 0 && victimFile < 7 && random() % 4 == 0) place(p, victim - toward, WHITE, PAWN);
        auto keepFree = [&](int s) { return s >= 0 && s != ep && s != ep - 8 && p.type[s] < 0; };

        // Most positions put a king and an enemy slider on opposite sides of
        // one line through the pawns: the rank (both pawns leave it), a
        // diagonal through the pushed pawn (it leaves it), or a diagonal
        // through the capturer (it leaves it, or moves along it).
        const int lo = victim < capturer ? victim : capturer, hi = lo + 1;
        std::vector<int> one, other;
        int              kingColour = BLACK, slider = ROOK;
        const int        diagonal   = random() % 2 ? 1 : -1;
        switch (random() % 5) {
        case 1:
        case 2:
            one        = ray(lo, -1, 0);
            other      = ray(hi, 1, 0);
            kingColour = random() % 2 ? WHITE : BLACK;
            break;
        case 3:
            one    = ray(victim, diagonal, 1);
            other  = ray(victim, -diagonal, -1);
            slider = BISHOP;
            break;
        case 4:
            one        = ray(capturer, diagonal, 1);
            other      = ray(capturer, -diagonal, -1);
            kingColour = WHITE;
            slider     = BISHOP;
            break;
        default: break;
        }
        if (random() % 2) std::swap(one, other);
        bool placedKing[2] = {false, false};
        if (!one.empty() && !other.empty()) {
            const int k = one[random() % one.size()], q = other[random() % other.size()];
            if (!keepFree(k) || !keepFree(q)) continue;
            place(p, k, kingColour, KING);
            place(p, q, kingColour ^ 1, random() % 3 ? slider : QUEEN);
            placedKing[kingColour] = true;
        }

        std::vector<int> lines = linesThrough(victim);
        for (int s : linesThrough(capturer)) lines.push_back(s);
        bool ok = true;
        for (int colour = WHITE; colour <= BLACK && ok; ++colour) {
            if (placedKing[colour]) continue;
            int s = pickSquare(p, lines, random() % 4 != 0, random);
            ok    = keepFree(s) && place(p, s, colour, KING);
        }
        const int extras = int(random() % 5);
        for (int i = 0; i < extras && ok; ++i) {
            const int s = pickSquare(p, lines, random() % 4 != 0, random);
            if (keepFree(s)) place(p, s, int(random() % 2), extraTypes[random() % 7]);
        }
        if (!ok) continue;
        const bool  black = random() % 2 != 0;
        const int   epSq  = black ? ep ^ 56 : ep;
        const std::string fen =
            toFen(black ? mirrored(p) : p, black ? BLACK : WHITE, "-", squareName(epSq).c_str());
        if (setPositionFromFen(fen.c_str()) && epSquare == epSq) fens.push_back(currentFen());
    }
    return fens;
}

std::vector<std::string> lineRichPositions(int count, unsigned seed) {
    std::mt19937             random(seed);
    std::vector<std::string> fens;
    static const int         extraTypes[] = {ROOK, QUEEN, BISHOP, KNIGHT, PAWN};
    while (int(fens.size()) < count) {
        Placement p;
        clear(p);
        // Kings and rooks at home half of the time, so castling can check.
        const int whiteKing = random() % 2 ? 60 : int(random() % 64);
        place(p, whiteKing, WHITE, KING);
        if (whiteKing == 60) {
            if (random() % 2) place(p, 63, WHITE, ROOK);
            if (random() % 2) place(p, 56, WHITE, ROOK);
        }
        const std::vector<int> lines = linesThrough(whiteKing);
        // The other king on the lines through the first one, on white's first
        // rank (where a castled rook arrives) or on the promotion rank.
        std::vector<int> rank;
        const int        rankStart = random() % 2 ? 56 : 0;
        for (int s = rankStart; s < rankStart + 8; ++s) rank.push_back(s);
        const int blackKing = pickSquare(p, random() % 3 == 0 ? rank : lines, random() % 4 != 0, random);
        if (blackKing < 0) continue;
        place(p, blackKing, BLACK, KING);
        // Half of the time a white man stands in front of a white slider on
        // one line to the black king: moving it uncovers a check, and it may
        // give one of its own.
        static const int steps[8][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
        if (random() % 2) {
            const int        d    = int(random() % 8);
            std::vector<int> line = ray(blackKing, steps[d][0], steps[d][1]);
            if (line.size() >= 2) {
                const std::size_t back  = 1 + random() % (line.size() - 1);
                const std::size_t front = random() % back;
                if (p.type[line[front]] < 0 && p.type[line[back]] < 0) {
                    place(p, line[front], WHITE, extraTypes[random() % 5]);
                    place(p, line[back], WHITE, random() % 3 ? (d < 4 ? ROOK : BISHOP) : QUEEN);
                }
            }
        }
        std::vector<int> aroundKing = linesThrough(blackKing);
        const int        extras     = 1 + int(random() % 5);
        for (int i = 0; i < extras; ++i) {
            const int type = extraTypes[random() % 5];
            int       s;
            if (type == PAWN && random() % 2) {
                // A pawn one step from promotion, often next to the enemy king's lines.
                s = pickSquare(p, {8, 9, 10, 11, 12, 13, 14, 15}, true, random);
                if (s >= 0) place(p, s, WHITE, PAWN);
                continue;
            }
            s = pickSquare(p, random() % 2 ? aroundKing : lines, random() % 4 != 0, random);
            if (s >= 0) place(p, s, int(random() % 2), type);
        }
        const bool black = random() % 2 != 0;
        const std::string fen = toFen(black ? mirrored(p) : p, black ? BLACK : WHITE, "KQkq", "-");
        if (setPositionFromFen(fen.c_str())) fens.push_back(currentFen());
    }
    return fens;
}

std::vector<std::string> crowdedPositions(int count, unsigned seed) {
    std::mt19937             random(seed);
    std::vector<std::string> fens;
    static const int         kinds[] = {QUEEN, QUEEN, ROOK, BISHOP, KNIGHT};
    while (int(fens.size()) < count) {
        Placement p;
        clear(p);
        // The crowd lives in a 4 x 4 block, so its men share targets.
        const int type = kinds[random() % 5], colour = int(random() % 2);
        const int corner = int(random() % 5) * 8 + int(random() % 5);
        const int crowd  = 3 + int(random() % 4);
        for (int i = 0; i < crowd; ++i) {
            const int s = corner + int(random() % 4) * 8 + int(random() % 4);
            if (p.type[s] < 0) place(p, s, colour, type);
        }
        bool ok = true;
        for (int c = WHITE; c <= BLACK && ok; ++c) {
            const int s = pickSquare(p, {}, false, random);
            ok          = s >= 0 && place(p, s, c, KING);
        }
        if (!ok) continue;
        static const int others[] = {PAWN, KNIGHT, BISHOP, ROOK, QUEEN};
        const int        extras   = int(random() % 5);
        for (int i = 0; i < extras; ++i) {
            const int s = pickSquare(p, {}, false, random);
            if (s >= 0) place(p, s, int(random() % 2), others[random() % 5]);
        }
        const std::string fen = toFen(p, random() % 4 ? colour : colour ^ 1, "-", "-");
        if (setPositionFromFen(fen.c_str())) fens.push_back(currentFen());
    }
    return fens;
}
