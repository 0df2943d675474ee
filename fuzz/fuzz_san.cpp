// fuzz/fuzz_san.cpp: SAN reading and writing. The input is a FEN line (an
// empty or refused one means the initial position) followed by SAN tokens,
// which are read and, when they name a legal move, played in turn. In every
// position reached, each legal move's SAN text must be well formed and must
// read back as exactly that move: GUIs and PGN files get this text, and the
// book builder reads it back.
#include <cstring>
#include <string>
#include <vector>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr int TOKEN_LIMIT = 64;  // tokens played from one input
constexpr int TOKEN_CHARS = 32;

bool isFile(char c) { return c >= 'a' && c <= 'h'; }
bool isRank(char c) { return c >= '1' && c <= '8'; }

// Castling, a pawn move (exd6, e8=Q) or a piece move whose optional
// disambiguation is a file, a rank or a whole square, in that order.
bool wellFormedSan(const char* t) {
    if (std::strcmp(t, "0-0") == 0 || std::strcmp(t, "0-0-0") == 0) return true;
    const char* p = t;
    if (isFile(*p)) {
        ++p;
        if (*p == 'x') {
            if (!isFile(p[1])) return false;
            p += 2;
        }
        if (!isRank(*p++)) return false;
        if (*p == '=') {
            if (!p[1] || !std::strchr("NBRQ", p[1])) return false;
            p += 2;
        }
        return *p == '\0';
    }
    if (!*p || !std::strchr("NBRQK", *p)) return false;
    ++p;
    // What stands before the destination: [file][rank][x].
    const std::size_t rest = std::strlen(p);
    if (rest < 2 || !isFile(p[rest - 2]) || !isRank(p[rest - 1])) return false;
    const char* end = p + rest - 2;
    if (end > p && end[-1] == 'x') --end;
    if (p < end && isFile(*p)) ++p;
    if (p < end && isRank(*p)) ++p;
    return p == end;
}

// Every legal move at ply 0: written, checked and read back.
void checkAllMoveTexts(const std::string& fen) {
    ply = 0;
    generateAllMoves();
    const std::vector<MoveEntry> moves(moveStack + firstMove[0], moveStack + firstMove[1]);
    for (const MoveEntry& entry : moves) {
        if (!makeMove(entry.move)) continue;
        unmakeMove();
        const std::string text = moveToSan(entry.move);
        if (!wellFormedSan(text.c_str())) fuzzFailure("malformed SAN written", fen + "\n" + text);
        Move read = 0;
        if (!parseSan(text.c_str(), &read) || read != entry.move)
            fuzzFailure("SAN does not read back as its move", fen + "\n" + text + " (" + moveToCoord(entry.move) +
                                                                   ") read as " + moveToCoord(read));
    }
    ply = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInput scope;
    const std::string text    = fuzzText(data, size, 4096);
    const std::size_t lineEnd = text.find('\n');
    const std::string fenLine = text.substr(0, lineEnd);
    if (fenLine.empty() || !setPositionFromFen(fenLine.c_str())) resetPosition();
    char fen[100];
    positionToFen(fen);
    checkAllMoveTexts(fen);
    if (lineEnd == std::string::npos) return 0;

    std::size_t at = lineEnd + 1;
    for (int played = 0; played < TOKEN_LIMIT && at < text.size();) {
        while (at < text.size() && std::strchr(" \t\r\n", text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !std::strchr(" \t\r\n", text[end])) ++end;
        if (end == at) break;
        const std::string token = text.substr(at, end - at < TOKEN_CHARS ? end - at : TOKEN_CHARS);
        at                      = end;
        Move move               = 0;
        ply                     = 0;
        if (!parseSan(token.c_str(), &move) || !isGeneratedMove(move)) continue;
        if (!makeMove(move)) continue;
        ply = 0;  // a game move, not a search ply
        ++played;
        if (gamePly >= MAX_GAME_PLIES - 1) break;
        positionToFen(fen);
        checkAllMoveTexts(fen);
    }
    return 0;
}
