// tools/main.cpp: brix-tools, the maintenance and measurement program. The
// first word picks the command; the engine binary stays a pure protocol
// program.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "eval/evaluate.h"
#include "tools/keygen.h"
#include "tools/perft.h"

static constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

static int usage() {
    std::fputs("usage: brix-tools COMMAND ...\n"
               "  perft FEN DEPTH [--divide]   count move paths (FEN may be 'startpos')\n"
               "  moves FEN                    legal moves in generation order: coordinate SAN\n"
               "  genkeys                      print board/keys.cpp from its generator\n",
               stderr);
    return 2;
}

static bool setUp(const char* fen) {
    if (std::strcmp(fen, "startpos") == 0) fen = START_FEN;
    if (setPositionFromFen(fen)) return true;
    std::fprintf(stderr, "brix-tools: cannot use position \"%s\"\n", fen);
    return false;
}

static int commandPerft(int argc, char** argv) {
    if (argc < 4) return usage();
    if (!setUp(argv[2])) return 1;
    const int  depth  = std::atoi(argv[3]);
    const bool divide = argc > 4 && std::strcmp(argv[4], "--divide") == 0;
    const auto start  = std::chrono::steady_clock::now();
    const std::uint64_t nodes = divide ? perftDivide(depth, stdout) : perft(depth);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("nodes %llu time %.3f s speed %.0f nodes/s\n", static_cast<unsigned long long>(nodes), seconds,
                seconds > 0 ? double(nodes) / seconds : 0.0);
    return 0;
}

static int commandMoves(int argc, char** argv) {
    if (argc < 3) return usage();
    if (!setUp(argv[2])) return 1;
    generateLegalCandidates();
    for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i) {
        const Move m = moveStack[i].move;
        if (!makeMove(m)) continue;
        unmakeMove();
        // Both texts describe the move on the position before it is made.
        std::printf("%s", moveToCoord(m));
        std::printf(" %s\n", moveToSan(m));
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    initPieceSquareTables();
    resetPosition();
    const char* command = argv[1];
    if (std::strcmp(command, "perft") == 0) return commandPerft(argc, argv);
    if (std::strcmp(command, "moves") == 0) return commandMoves(argc, argv);
    if (std::strcmp(command, "genkeys") == 0) {
        printPieceKeysSource(stdout);
        return 0;
    }
    return usage();
}
