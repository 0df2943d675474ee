// board/setup.cpp: resetPosition and the FEN reader and writer. A FEN text
// is only accepted when every field is well formed and the engine can play
// it: one king a side, no pawn on the first or last rank, at most 16 men and
// 8 pawns a side, the side not to move not in check. Castling rights and the
// en-passant square are kept only where the king, rook or pushed pawn they
// need actually stands, because making a castling or en-passant move with a
// missing man would corrupt the position.
#include "board/setup.h"
#include <cstring>
#include "board/attacks.h"

static constexpr std::uint8_t INITIAL_COLOUR[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
static constexpr std::uint8_t INITIAL_TYPE[64] = {
    3, 1, 2, 4, 5, 2, 1, 3, 0, 0, 0, 0, 0, 0, 0, 0,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    0, 0, 0, 0, 0, 0, 0, 0, 3, 1, 2, 4, 5, 2, 1, 3,
};

std::uint8_t setupColour[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
std::uint8_t setupType[64] = {
    3, 1, 2, 4, 5, 2, 1, 3, 0, 0, 0, 0, 0, 0, 0, 0,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,  //
    0, 0, 0, 0, 0, 0, 0, 0, 3, 1, 2, 4, 5, 2, 1, 3,
};

void resetPosition() {
    hashKey = sideKey;
    pawnKey = std::uint32_t(sideKey);
    std::memset(board, EMPTY, sizeof board);
    std::memset(pawnFileRanks, 0, sizeof pawnFileRanks);
    std::memset(pieceCount, 0, sizeof pieceCount);
    occupied = occupiedBy[WHITE] = occupiedBy[BLACK] = 0;
    material[WHITE] = material[BLACK] = 0;
    menCount                          = 0;
    for (int s = 0; s < 64; ++s) {
        const int t = setupType[s];
        if (t == NO_TYPE) continue;
        const int c = setupColour[s];
        board[s]    = pieceCode(c, t);
        hashKey ^= pieceKey(c, t, s);
        if (t == PAWN) {
            pawnFileRanks[c][fileOf(s) + 1] |= ROW_BIT(s);
            pawnKey ^= std::uint32_t(pieceKey(c, t, s));
        } else if (t == KING) {
            kingSquare[c] = std::uint8_t(s);
        } else {
            material[c] = std::uint16_t(material[c] + PIECE_VALUE[t]);
        }
        ++pieceCount[c][t];
        ++menCount;
        linkSquare(s, c);
    }
    side         = WHITE;
    xside        = BLACK;
    castleRights = 15;
    epSquare     = NO_EP;
    fiftyCount   = 0;
    ply          = 0;
    gamePly      = 0;
    firstMove[0] = 0;
    checkState[0] = computeCheckState();
}

// Whether a man of `attacker` attacks square s on a placement given by
// colour and type tables, by plain board scanning.
static bool placementAttacks(const std::uint8_t* colour, const std::uint8_t* type, int s, int attacker) {
    for (int d = 0; d < 8; ++d) {
        for (int t = nextSquare[s][d], dist = 1; t < 64; t = nextSquare[t][d], ++dist) {
            if (type[t] == NO_TYPE) continue;
            if (colour[t] == attacker) {
                const int kind = type[t];
                if (slidesAlong(kind, d) || (kind == KING && dist == 1)) return true;
                // A pawn attacks diagonally forward: white toward lower squares.
                if (kind == PAWN && dist == 1 &&
                    (attacker == WHITE ? (d == SOUTH_EAST || d == SOUTH_WEST) : (d == NORTH_EAST || d == NORTH_WEST)))
                    return true;
            }
            break;
        }
    }
    for (const std::uint8_t* t = knightTargets[s]; *t != 255; ++t)
        if (type[*t] == KNIGHT && colour[*t] == attacker) return true;
    return false;
}

static bool playablePlacement(const std::uint8_t* colour, const std::uint8_t* type, int toMove) {
    int kings[2] = {0, 0}, men[2] = {0, 0}, king[2] = {0, 0}, pawns[2] = {0, 0};
    for (int s = 0; s < 64; ++s) {
        if (type[s] == NO_TYPE) continue;
        ++men[colour[s]];
        if (type[s] == PAWN) ++pawns[colour[s]];
        if (type[s] == KING) {
            ++kings[colour[s]];
            king[colour[s]] = s;
        }
        if (type[s] == PAWN && (rowOf(s) == 0 || rowOf(s) == 7)) return false;
    }
    if (kings[0] != 1 || kings[1] != 1 || men[0] > 16 || men[1] > 16 || pawns[0] > 8 || pawns[1] > 8)
        return false;
    return !placementAttacks(colour, type, king[toMove ^ 1], toMove);
}

// An en-passant square needs the pushed enemy pawn in front of it, itself and
// the pawn's start square empty, on the row that fits the side to move; and
// the push must have been playable: with the pawn back home, the side to
// move's king must not have stood in check. (Capturing en passant relies on
// that: taking the pushed pawn away must not open a line to the king.)
static bool possibleEnPassant(int ep) {
    const int pushed = side == WHITE ? ep + 8 : ep - 8, start = side == WHITE ? ep - 8 : ep + 8;
    if (rowOf(ep) != (side == WHITE ? 2 : 5) || board[ep] != EMPTY || board[start] != EMPTY ||
        board[pushed] != pieceCode(xside, PAWN))
        return false;
    std::uint8_t colour[64], type[64];
    for (int s = 0; s < 64; ++s) {
        colour[s] = board[s] == EMPTY ? NO_TYPE : std::uint8_t(codeColour(board[s]));
        type[s]   = board[s] == EMPTY ? NO_TYPE : std::uint8_t(codeType(board[s]));
    }
    colour[start] = colour[pushed];
    type[start]   = PAWN;
    colour[pushed] = type[pushed] = NO_TYPE;
    return !placementAttacks(colour, type, kingSquare[side], xside);
}

static bool isSpace(char ch) { return ch == ' ' || ch == '\t'; }

// The fields after the board, read before anything is set up.
struct FenFields {
    int          toMove;
    std::uint8_t rights;  // CASTLE_* bits as written, before the placement check
    std::uint8_t ep;      // as written, or NO_EP
};

// Reads side, castling, en passant and the two clocks. Trailing fields may
// be missing (EPD texts stop after the side or the en-passant square), but
// a field that is there must be well formed: a text with a stray letter is
// refused whole rather than played with a guessed side or rights. The
// clocks are checked and not kept: the fifty-move count and the history
// start afresh at the set-up.
static bool readFenFields(const char* p, FenFields& fields) {
    static constexpr char CASTLE_LETTERS[] = "KQkq";  // bit i is CASTLE_* 1 << i
    fields = {WHITE, 15, NO_EP};                     // the board alone keeps every right
    for (int field = 0;; ++field) {
        while (isSpace(*p)) ++p;
        if (!*p) return true;
        const char* end = p;
        while (*end && !isSpace(*end)) ++end;
        const bool hyphen = end - p == 1 && *p == '-';
        switch (field) {
        case 0:
            if (end - p != 1 || !std::strchr("wbWB", *p)) return false;
            fields.toMove = *p == 'b' || *p == 'B' ? BLACK : WHITE;
            fields.rights = 0;  // a side without a castling field has none
            break;
        case 1:
            for (const char* c = p; c < end && !hyphen; ++c) {
                const char* letter = std::strchr(CASTLE_LETTERS, *c);
                const auto  bit    = letter ? std::uint8_t(1u << (letter - CASTLE_LETTERS)) : std::uint8_t(0);
                if (!bit || (fields.rights & bit)) return false;
                fields.rights |= bit;
            }
            break;
        case 2:
            if (hyphen) break;
            if (end - p != 2 || p[0] < 'a' || p[0] > 'h' || p[1] < '1' || p[1] > '8') return false;
            fields.ep = std::uint8_t((p[0] - 'a') + 8 * ('8' - p[1]));
            break;
        case 3:
        case 4:
            for (const char* c = p; c < end; ++c)
                if (*c < '0' || *c > '9') return false;
            break;
        default: return false;  // text after the move number
        }
        p = end;
    }
}

bool setPositionFromFen(const char* text) {
    // 1. Board field into scratch tables.
    std::uint8_t colour[64], type[64];
    int          q = 0;
    const char*  p = text;
    for (; q < 64 && *p; ++p) {
        const char ch = *p;
        if ((ch >= 'b' && ch <= 'r') || (ch >= 'B' && ch <= 'R')) {
            const char upper = ch >= 'b' ? char(ch - 32) : ch;
            colour[q]        = ch >= 'b' ? BLACK : WHITE;
            type[q]          = upper == 'N'   ? KNIGHT
                               : upper == 'B' ? BISHOP
                               : upper == 'R' ? ROOK
                               : upper == 'Q' ? QUEEN
                               : upper == 'K' ? KING
                                              : PAWN;
            ++q;
        } else if (ch >= '1' && ch <= '8') {
            if (q + (ch - '0') > 64) return false;
            for (int i = 0; i < ch - '0'; ++i, ++q) colour[q] = type[q] = NO_TYPE;
        } else if (q % 8 != 0) {
            break;
        }
    }
    // 2. Anything but exactly 64 squares, or a malformed later field, leaves
    // the position as it was. The side field decides which king must not be
    // in check.
    FenFields fields;
    if (q != 64 || (*p && !isSpace(*p)) || !readFenFields(p, fields)) return false;
    if (!playablePlacement(colour, type, fields.toMove)) return false;

    // 3. Build it, then put the initial position back in the tables.
    std::memcpy(setupColour, colour, 64);
    std::memcpy(setupType, type, 64);
    resetPosition();
    std::memcpy(setupColour, INITIAL_COLOUR, 64);
    std::memcpy(setupType, INITIAL_TYPE, 64);

    // 4. Side to move, castling rights and the en-passant square.
    if (fields.toMove == BLACK) {
        hashKey ^= sideKey;
        side          = BLACK;
        xside         = WHITE;
        checkState[0] = computeCheckState();
    }
    castleRights = fields.rights;
    epSquare     = fields.ep;

    // Rights whose king or rook has left home could never be used legally.
    const std::uint8_t whiteKing = pieceCode(WHITE, KING), blackKing = pieceCode(BLACK, KING);
    const std::uint8_t whiteRook = pieceCode(WHITE, ROOK), blackRook = pieceCode(BLACK, ROOK);
    if (board[60] != whiteKing || board[63] != whiteRook) castleRights &= ~CASTLE_WK;
    if (board[60] != whiteKing || board[56] != whiteRook) castleRights &= ~CASTLE_WQ;
    if (board[4] != blackKing || board[7] != blackRook) castleRights &= ~CASTLE_BK;
    if (board[4] != blackKing || board[0] != blackRook) castleRights &= ~CASTLE_BQ;
    if (epSquare < 64 && !possibleEnPassant(epSquare)) epSquare = NO_EP;
    return true;
}

void positionToFen(char* buffer) {
    char* out = buffer;
    for (int row = 0; row < 8; ++row) {
        if (row) *out++ = '/';
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const std::uint8_t code = board[row * 8 + file];
            if (code == EMPTY) {
                ++empty;
                continue;
            }
            if (empty) *out++ = char('0' + empty);
            empty            = 0;
            const char piece = PIECE_LETTERS[codeType(code)];
            *out++           = codeColour(code) == BLACK ? char(piece + 32) : piece;
        }
        if (empty) *out++ = char('0' + empty);
    }
    *out++ = ' ';
    *out++ = side == WHITE ? 'w' : 'b';
    *out++ = ' ';
    if (!castleRights) *out++ = '-';
    if (castleRights & CASTLE_WK) *out++ = 'K';
    if (castleRights & CASTLE_WQ) *out++ = 'Q';
    if (castleRights & CASTLE_BK) *out++ = 'k';
    if (castleRights & CASTLE_BQ) *out++ = 'q';
    *out++ = ' ';
    if (std::int8_t(epSquare) > 0) {
        *out++ = char('a' + fileOf(epSquare));
        *out++ = char('8' - rowOf(epSquare));
    } else {
        *out++ = '-';
    }
    std::memcpy(out, " 0 1", 5);
}
