// fuzz/fuzz_fen.cpp: FEN set-up. Any text may be offered to the reader; a
// position it accepts must be one the move routines can play, so it is
// written back, set up again, and every legal move is made, compared with
// the same position built from scratch, and taken back.
//
// Position built from scratch versus reached by a move: the incremental
// state (keys, check descriptor, move list) must agree with a fresh set-up
// of the FEN the move produced. A difference is a wrong answer in play
// (a false mate, a lost move), so it stops the run like a crash.
#include <cstdio>
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

struct Snapshot {
    char          fen[100];
    std::uint64_t key;
    std::uint16_t check;
    int           legalMoves;
};

std::string currentFen() {
    char fen[100];
    positionToFen(fen);
    return fen;
}

// Legal moves of the position at the current ply (made and taken back).
int countLegalMoves() {
    generateAllMoves();
    int                 count = 0;
    const std::uint32_t end   = firstMove[ply + 1];
    for (std::uint32_t i = firstMove[ply]; i < end; ++i)
        if (makeMove(moveStack[i].move)) {
            unmakeMove();
            ++count;
        }
    return count;
}

Snapshot snapshot() {
    Snapshot s;
    positionToFen(s.fen);
    s.key        = hashKey;
    s.check      = checkState[gamePly];
    s.legalMoves = countLegalMoves();
    return s;
}

// In double check the descriptor may name either checker; otherwise the
// checker's square and the double bit must agree.
bool sameCheck(std::uint16_t a, std::uint16_t b) {
    if ((a & CHECK_DOUBLE) != (b & CHECK_DOUBLE)) return false;
    return (a & CHECK_DOUBLE) || (a & 0xFF) == (b & 0xFF);
}

std::string describe(const char* root, const char* move, const Snapshot& made, const Snapshot& fresh) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "root %s\nmove %s\nmade:  %s key %016llx check %04x legal %d\nfresh: %s key %016llx check %04x legal %d",
                  root, move, made.fen, static_cast<unsigned long long>(made.key), made.check, made.legalMoves,
                  fresh.fen, static_cast<unsigned long long>(fresh.key), fresh.check, fresh.legalMoves);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInput scope;
    const std::string text = fuzzText(data, size, 256);
    if (!setPositionFromFen(text.c_str())) return 0;

    // 1. What was accepted writes back to a FEN that reads as the same position.
    const std::string   written = currentFen();
    const std::uint64_t key     = hashKey;
    if (!setPositionFromFen(written.c_str())) fuzzFailure("written FEN refused", text + "\n-> " + written);
    if (currentFen() != written || hashKey != key)
        fuzzFailure("FEN does not read back", text + "\n-> " + written + "\n-> " + currentFen());

    // 2. Every legal move, made and compared with a fresh set-up.
    ply = 0;
    generateAllMoves();
    const std::vector<MoveEntry> moves(moveStack + firstMove[0], moveStack + firstMove[1]);
    std::vector<Move>     legal;
    std::vector<Snapshot> made;
    for (const MoveEntry& entry : moves) {
        if (!makeMove(entry.move)) {
            if (currentFen() != written || hashKey != key) fuzzFailure("refused move changed the position", written);
            continue;
        }
        legal.push_back(entry.move);
        made.push_back(snapshot());
        unmakeMove();
        if (currentFen() != written || hashKey != key || ply != 0)
            fuzzFailure("unmakeMove did not restore the position", written);
    }
    for (std::size_t i = 0; i < legal.size(); ++i) {
        const std::string coord = moveToCoord(legal[i]);
        if (!setPositionFromFen(made[i].fen)) fuzzFailure("position after a legal move refused", written + "\n" + coord);
        const Snapshot fresh = snapshot();
        if (std::strcmp(fresh.fen, made[i].fen) != 0 || fresh.key != made[i].key ||
            !sameCheck(fresh.check, made[i].check) || fresh.legalMoves != made[i].legalMoves)
            fuzzFailure("move and fresh set-up disagree", describe(written.c_str(), coord.c_str(), made[i], fresh));
    }
    return 0;
}
