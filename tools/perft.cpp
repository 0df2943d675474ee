// tools/perft.cpp: perft with full make/unmake at every node, so it measures
// and checks the same path the search takes (no bulk counting at the leaves).
#include "tools/perft.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"

void generateLegalCandidates() { generateAllMoves(); }

std::uint64_t perft(int depth) {
    if (depth <= 0) return 1;
    generateLegalCandidates();
    std::uint64_t nodes = 0;
    const std::uint32_t end = firstMove[ply + 1];
    for (std::uint32_t i = firstMove[ply]; i < end; ++i) {
        if (!makeMove(moveStack[i].move)) continue;
        nodes += depth == 1 ? 1 : perft(depth - 1);
        unmakeMove();
    }
    return nodes;
}

std::uint64_t perftDivide(int depth, std::FILE* out) {
    generateLegalCandidates();
    std::uint64_t       total = 0;
    const std::uint32_t end   = firstMove[ply + 1];
    for (std::uint32_t i = firstMove[ply]; i < end; ++i) {
        const Move m = moveStack[i].move;
        if (!makeMove(m)) continue;
        const std::uint64_t n = perft(depth - 1);
        unmakeMove();
        std::fprintf(out, "%s %llu\n", moveToCoord(m), static_cast<unsigned long long>(n));
        total += n;
    }
    return total;
}
