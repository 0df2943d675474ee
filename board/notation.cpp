// board/notation.cpp: coordinate and SAN text. The SAN writer disambiguates
// by every other man of the kind that reaches the square, pinned or not, one
// character each, and by the whole from-square as soon as that would take
// two characters; the reader takes the first unpinned candidate it finds.
#include "board/notation.h"
#include <cctype>
#include <cstring>
#include "board/attacks.h"
#include "board/movegen.h"

static char* writeSquare(char* out, int sq) {
    *out++ = char('a' + fileOf(sq));
    *out++ = char('8' - rowOf(sq));
    return out;
}

const char* moveToCoord(Move m) {
    static char text[6];
    char*       out = writeSquare(writeSquare(text, moveFrom(m)), moveTo(m));
    if (m & MOVE_PROMOTION) *out++ = PIECE_LETTERS[movePromotion(m)];
    *out = '\0';
    return text;
}

const char* moveToUci(Move m) {
    static char text[6];
    char*       out       = writeSquare(writeSquare(text, moveFrom(m)), moveTo(m));
    const int   promotion = movePromotion(m);
    if (promotion) *out++ = char(std::tolower(static_cast<unsigned char>(PIECE_LETTERS[promotion])));
    *out = '\0';
    return text;
}

const char* moveToSan(Move m) {
    static char text[8];
    char*       out  = text;
    const int   from = moveFrom(m), to = moveTo(m);
    if (m & MOVE_CASTLE) {
        const char* castle = from > to ? "0-0-0" : "0-0";
        for (const char* c = castle; *c; ++c) *out++ = *c;
        *out = '\0';
        return text;
    }
    const std::uint8_t code = board[from];
    const int          type = codeType(code);
    if (type != PAWN) *out++ = PIECE_LETTERS[type];
    // One character per other candidate: the from-rank when it shares the
    // mover's file, else the from-file. Two characters would repeat a file
    // or a rank, or name them in an order SAN readers refuse (Qccb2, Q1ab2),
    // so from two candidates on the whole from-square is written instead.
    int  candidates = 0;
    char single     = 0;
    auto disambiguate = [&](int candidate) {
        single = fileOf(candidate) == fileOf(from) ? char('8' - rowOf(from)) : char('a' + fileOf(from));
        ++candidates;
    };
    if (type == KNIGHT) {
        for (const std::uint8_t* t = knightTargets[to]; *t != 255; ++t)
            if (*t != from && board[*t] == code) disambiguate(*t);
    } else if (type >= BISHOP && type <= QUEEN) {
        for (int d = 0; d < 8; ++d) {
            if (!slidesAlong(type, d)) continue;
            int t = nextSquare[to][d];
            while (t < 64 && board[t] == EMPTY) t = nextSquare[t][d];
            if (t < 64 && t != from && board[t] == code) disambiguate(t);
        }
    }
    if (candidates == 1)
        *out++ = single;
    else if (candidates > 1)
        out = writeSquare(out, from);
    if (m & MOVE_CAPTURE) {
        if (type == PAWN) *out++ = char('a' + fileOf(from));
        *out++ = 'x';
    }
    out = writeSquare(out, to);
    if (m & MOVE_PROMOTION) {
        *out++ = '=';
        *out++ = PIECE_LETTERS[movePromotion(m)];
    }
    *out = '\0';
    return text;
}

static bool isFileLetter(char c) { return c >= 'a' && c <= 'h'; }
static bool isRankDigit(char c) { return c >= '1' && c <= '8'; }
static int  pieceTypeOf(char c) {
    switch (c) {
    case 'N': return KNIGHT;
    case 'B': return BISHOP;
    case 'R': return ROOK;
    case 'Q': return QUEEN;
    case 'K': return KING;
    default: return NO_TYPE;
    }
}

// Rejects a square index outside the board.
static bool squareFrom(char file, char rank, int* sq) {
    if (!isFileLetter(file) || !isRankDigit(rank)) return false;
    *sq = (file - 'a') + 8 * ('8' - rank);
    return true;
}

bool parseSan(const char* text, Move* move) {
    // 1. Castling, written with O, o or the digit zero.
    if (text[0] == '0' || text[0] == 'O' || text[0] == 'o') {
        const bool queenSide = text[1] && text[2] && text[3] == '-';
        const int  to = side == BLACK ? (queenSide ? 2 : 6) : (queenSide ? 58 : 62);
        *move         = MOVE_CASTLE | Move(to) << 6 | kingSquare[side];
        return true;
    }
    // 2. Keep the significant characters only: five at most for a pawn; a
    // piece move may carry more, since earlier versions wrote one character
    // per other candidate (Q1a1b2).
    char k[12];
    int  n = 0;
    for (const char* c = text; *c && n < 12; ++c)
        if (isFileLetter(*c) || isRankDigit(*c) || pieceTypeOf(*c) != NO_TYPE) k[n++] = *c;
    if (n < 2) return false;

    int       from = NO_SQUARE, to;
    const int type = pieceTypeOf(k[0]);
    int       promotion = 0;
    if (type == NO_TYPE && n > 5) n = 5;
    if (type != NO_TYPE) {
        // 3. Piece moves: destination last, then the mover. The characters in
        // between name its file, its rank or both, in either order and each
        // perhaps repeated (Qccb2, Q11b2, Q1ab2); any other mix is refused.
        if (n < 3 || !squareFrom(k[n - 2], k[n - 1], &to)) return false;
        const std::uint8_t code = pieceCode(side, type);
        int                needFile = -1, needRow = -1;
        bool               clash    = false;
        for (int i = 1; i < n - 2; ++i) {
            int&      need  = isFileLetter(k[i]) ? needFile : needRow;
            const int value = isFileLetter(k[i]) ? k[i] - 'a' : '8' - k[i];
            if (pieceTypeOf(k[i]) != NO_TYPE || (need >= 0 && need != value))
                clash = true;
            else
                need = value;
        }
        if (!clash && needFile >= 0 && needRow >= 0) {
            from = needRow * 8 + needFile;
        } else if (type == KING) {
            if (n >= 5) return false;
            from = kingSquare[side];
        } else {
            if (clash) return false;
            auto meets = [&](int sq) {
                return (needRow < 0 || rowOf(sq) == needRow) && (needFile < 0 || fileOf(sq) == needFile);
            };
            if (type == KNIGHT) {
                for (const std::uint8_t* t = knightTargets[to]; *t != 255; ++t)
                    if (board[*t] == code && meets(*t) && pinAllowsMove(*t, NO_DIRECTION)) {
                        from = *t;
                        break;
                    }
            } else {
                for (int d = 0; d < 8 && from == NO_SQUARE; ++d) {
                    int t = nextSquare[to][d];
                    while (t < 64 && board[t] == EMPTY) t = nextSquare[t][d];
                    if (t < 64 && board[t] == code && slidesAlong(type, d) && meets(t) &&
                        pinAllowsMove(t, d ^ 1))
                        from = t;
                }
            }
            if (from == NO_SQUARE) return false;
        }
    } else {
        // 4. Pawn moves: k[0] is the pawn's file.
        if (!isFileLetter(k[0])) return false;
        const int file    = k[0] - 'a';
        const int toFile  = isFileLetter(k[1]) ? k[1] - 'a' : file;
        const int forward = side == WHITE ? 1 : -1;  // row step back toward the pawn
        int       toRow, fromRow;
        if (isRankDigit(k[1])) {
            toRow           = '8' - k[1];
            const int below = toRow + forward;
            const bool pawnBehind =
                below >= 0 && below <= 7 && codeType(board[below * 8 + file]) == PAWN;
            fromRow = pawnBehind ? below : toRow + 2 * forward;
        } else if (n > 2 && isRankDigit(k[2])) {
            toRow   = '8' - k[2];
            fromRow = toRow + forward;
        } else {
            return false;
        }
        if (fromRow < 0 || fromRow > 7) return false;
        from = fromRow * 8 + file;
        to   = toRow * 8 + toFile;
        const int promo = pieceTypeOf(k[n - 1]);
        promotion       = promo == NO_TYPE ? 0 : promo;
    }
    // 5. Flags from the board.
    Move m = makeMoveWord(from, to, 0) | Move(promotion) << 16;
    classifyMove(&m);
    // An en-passant capture is that word exactly, whatever letter followed.
    if (m & MOVE_EN_PASSANT) m &= ~Move(0x70000);
    *move = m;
    return true;
}

// Reads the square at s, never past the end of the text.
static bool readSquare(const char* s, int* sq) {
    if (!isFileLetter(s[0]) || !isRankDigit(s[1])) return false;
    *sq = (s[0] - 'a') + 8 * ('8' - s[1]);
    return true;
}

bool readCoordinates(const char* text, int* from, int* to, char* promotion) {
    if (!readSquare(text, from) || !readSquare(text + 2, to)) return false;
    if (text[4] != '\0' && (text[5] != '\0' || !std::strchr("qrbnQRBN", text[4]))) return false;
    *promotion = text[4];
    return true;
}

Move findCoordinateText(const char* text) {
    int  from, to;
    char letter;
    return readCoordinates(text, &from, &to, &letter) ? findCoordinateMove(from, to, letter) : 0;
}

Move findCoordinateMove(int from, int to, char promotion) {
    const int want = std::toupper(static_cast<unsigned char>(promotion));
    generateAllMoves();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) {
        const Move m = moveStack[i].move;
        if (moveFrom(m) != from || moveTo(m) != to) continue;
        const int type = movePromotion(m);
        if ((type ? PIECE_LETTERS[type] : 0) == want) return m;
    }
    return 0;
}
