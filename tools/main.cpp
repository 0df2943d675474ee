// tools/main.cpp: brix-tools, the maintenance and measurement program. The
// first word picks the command; the engine binary stays a pure protocol
// program.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "io/system.h"
#include "tbmake/generate.h"
#include "tbmake/pack.h"
#include "tbmake/plan.h"
#include "tbmake/speed.h"
#include "tbmake/verify.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "search/threads.h"
#include "tools/bench.h"
#include "tools/keygen.h"
#include "tools/perft.h"
#include "tools/pgn.h"

static constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

static void printUsage(std::FILE* out) {
    std::fputs("usage: brix-tools COMMAND ...   (--help or -h: this text)\n"
               "  perft FEN DEPTH [--divide]   count move paths (FEN may be 'startpos')\n"
               "  moves FEN                    legal moves in generation order: coordinate SAN\n"
               "  eval FEN                     static evaluation and its main terms\n"
               "  evalbench PGN [GAMES]        full evaluations per second over real game positions\n"
               "  bench [DEPTH [THREADS]]      search fixed positions to DEPTH (default 8) on THREADS threads\n"
               "  nodesbench NODES             the same positions, each with a node limit (go nodes)\n"
               "  multipvbench SECONDS LINES   the same positions, SECONDS each with LINES best lines\n"
               "  epd FILE SECONDS             run an EPD suite at SECONDS a position\n"
               "  bookbench [PROBES]           time book probes on BrixBook.bin in this directory\n"
               "  genkeys                      print board/keys.cpp from its generator\n"
               "  tbgen DIR [NAME... | --men N] [--pack] [--verbose]\n"
               "                               make endgame tables into DIR: the named ones, every one of\n"
               "                               N men (3, 4 or 5), or by default all of 3 and 4 men, each\n"
               "                               after the ones it needs; tables already complete are kept,\n"
               "                               so a stopped run started again continues; refuses when the\n"
               "                               disk or memory cannot hold the job; --pack keeps them\n"
               "                               compressed only (.emd); --verbose: tenths of every phase\n"
               "  tbplan DIR [--men 3|4|5] [NAME...] [-o FILE]  a Makefile that makes the tables (default:\n"
               "                               all of 3 and 4 men) and those they need into DIR with tbgen\n"
               "                               --pack, independent ones side by side under make -j\n"
               "  tbverify DIR [NAME...]       check endgame tables in DIR move by move\n"
               "  tbpack DIR [NAME...] [--remove]  compress tables in DIR to .emd files (default: every\n"
               "                               uncompressed one), each read back before it is kept;\n"
               "                               --remove deletes the uncompressed files then\n"
               "  tbdump DIR NAME              every position of a table as FEN and stored value\n"
               "  tbspeed DIR [NAME...]        block reading and decoding speed, cache-miss probe time\n",
               out);
}

// A command line the program cannot use: the usage on stderr, status 2.
static int usage() {
    printUsage(stderr);
    return 2;
}

// The N of `--men N`: 3, 4 or 5, else -1.
static int menOf(const char* text) {
    return (text[0] == '3' || text[0] == '4' || text[0] == '5') && !text[1] ? text[0] - '0' : -1;
}

static bool setUp(const char* fen) {
    if (std::strcmp(fen, "startpos") == 0) fen = START_FEN;
    if (setPositionFromFen(fen)) return true;
    std::fprintf(stderr, "brix-tools: cannot use position \"%s\"\n", fen);
    return false;
}

static int commandPerft(int argc, char** argv) {
    if (argc < 4) return usage();
    // A depth of 0 or below (or a word read as 0) would print a count of one
    // node, which looks like an answer; one past the move stack would write
    // beyond it.
    char*      end   = nullptr;
    const long depth = std::strtol(argv[3], &end, 10);
    if (end == argv[3] || *end || depth < 1 || depth > PERFT_MAX_DEPTH) {
        std::fprintf(stderr, "brix-tools: perft depth \"%s\" is not a whole number from 1 to %d\n", argv[3],
                     PERFT_MAX_DEPTH);
        return 2;
    }
    if (!setUp(argv[2])) return 1;
    const bool divide = argc > 4 && std::strcmp(argv[4], "--divide") == 0;
    const auto start  = std::chrono::steady_clock::now();
    const std::uint64_t nodes = divide ? perftDivide(int(depth), stdout) : perft(int(depth));
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

static int commandEval(int argc, char** argv) {
    if (argc < 3) return usage();
    if (!setUp(argv[2])) return 1;
    allocatePawnHashTable();
    setEvaluationPhase();
    const int score = evaluate(-10000, 10000);
    const EvaluationTerms& t = lastEvaluationTerms;
    std::printf("eval %d (side to move)\n", score);
    std::printf("white's view: material %d pawns %d passed %d pieces %d king %d%s\n", t.material, t.pawns, t.passed,
                t.pieces, t.kingSafety,
                t.drawish == 0   ? ""
                : t.drawish == 1 ? " (white cannot win: /4)"
                : t.drawish == 2 ? " (black cannot win: /4)"
                                 : " (neither side can win: /4)");
    return 0;
}

// Replays each game three times: to warm the pawn hash, then timed with and
// without evaluations; the difference is the evaluations' own time. A
// fourth pass times filling a pawn entry from scratch (a pawn-hash miss).
static int commandEvalBench(int argc, char** argv) {
    if (argc < 3) return usage();
    const int  maxGames = argc > 3 ? std::atoi(argv[3]) : 2000;
    const auto games    = readPgnGames(argv[2], maxGames);
    allocatePawnHashTable();
    using Clock = std::chrono::steady_clock;
    double        withEval = 0, withoutEval = 0, fills = 0;
    long          evaluations = 0;
    volatile int  sink        = 0;
    PawnHashEntry scratch;
    for (const auto& game : games) {
        setUp("startpos");
        std::vector<Move> moves;
        for (const auto& token : game) {
            const Move m = findSanMove(token);
            if (!m || !makeMove(m) || moves.size() >= 600) break;
            ply = 0;
            moves.push_back(m);
        }
        for (int pass = 0; pass < 4; ++pass) {
            setUp("startpos");
            setEvaluationPhase();
            const auto start = Clock::now();
            for (const Move m : moves) {
                makeMove(m);
                ply = 0;
                if (pass == 3)
                    fillPawnEntry(scratch);
                else if (pass != 2)
                    sink = sink + evaluate(-10000, 10000);
            }
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (pass == 1) withEval += seconds, evaluations += long(moves.size());
            if (pass == 2) withoutEval += seconds;
            if (pass == 3) fills += seconds;
        }
    }
    const double evalSeconds = withEval - withoutEval, fillSeconds = fills - withoutEval;
    std::printf("%ld positions from %zu games\n", evaluations, games.size());
    std::printf("full evaluation, pawn hash warm: %.0f ns, %.2f M evaluations/s\n", 1e9 * evalSeconds / double(evaluations),
                double(evaluations) / evalSeconds / 1e6);
    std::printf("pawn-hash miss (filling an entry): %.0f ns\n", 1e9 * fillSeconds / double(evaluations));
    return 0;
}

static int commandBench(int argc, char** argv) {
    const int depth = argc > 2 ? std::atoi(argv[2]) : 8;
    if (argc > 3) setSearchThreads(std::strtol(argv[3], nullptr, 10));
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t nodes = runBench(depth, stdout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("bench: %llu nodes, %.0f nodes/s\n", static_cast<unsigned long long>(nodes),
                seconds > 0 ? double(nodes) / seconds : 0.0);
    return 0;
}

static int commandEpd(int argc, char** argv) {
    if (argc < 4) return usage();
    int       total  = 0;
    const int solved = runEpdSuite(argv[2], std::atof(argv[3]), stdout, &total);
    std::printf("solved %d of %d\n", solved, total);
    return 0;
}

// Times probeBook (choosing form) from the first positions of a common
// opening line, as the game loop calls it.
static int commandBookBench(int argc, char** argv) {
    const int probes = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (!openBook()) {
        std::fprintf(stderr, "brix-tools: no usable %s here\n", BOOK_FILE_NAME);
        return 1;
    }
    const char* line[] = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6"};
    // The book line each probe prints goes nowhere meanwhile.
    const int console = silenceStandardOutput();
    double      worst = 0, total = 0;
    int         found = 0;
    for (int i = 0; i < probes; ++i) {
        setUp("startpos");
        for (int k = 0; k < i % 6; ++k) {
            const Move m = findSanMove(line[k]);
            if (m && makeMove(m)) ply = 0;
        }
        const auto start = std::chrono::steady_clock::now();
        found += probeBook(false) != 0;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        total += ms;
        if (ms > worst) worst = ms;
    }
    restoreStandardOutput(console);
    std::printf("%d probes, %d moves found: %.3f ms each on average, %.3f ms at most\n", probes, found,
                total / probes, worst);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return 0;
    }
    initPieceSquareTables();
    resetPosition();
    const char* command = argv[1];
    if (std::strcmp(command, "perft") == 0) return commandPerft(argc, argv);
    if (std::strcmp(command, "moves") == 0) return commandMoves(argc, argv);
    if (std::strcmp(command, "eval") == 0) return commandEval(argc, argv);
    if (std::strcmp(command, "evalbench") == 0) return commandEvalBench(argc, argv);
    if (std::strcmp(command, "bench") == 0) return commandBench(argc, argv);
    if (std::strcmp(command, "nodesbench") == 0 && argc == 3) {
        runLimitBench(std::strtoull(argv[2], nullptr, 10), 0, 1, stdout);
        return 0;
    }
    if (std::strcmp(command, "multipvbench") == 0 && argc == 4) {
        runLimitBench(0, std::int32_t(std::atof(argv[2]) * 100), std::atoi(argv[3]), stdout);
        return 0;
    }
    if (std::strcmp(command, "epd") == 0) return commandEpd(argc, argv);
    if (std::strcmp(command, "bookbench") == 0) return commandBookBench(argc, argv);
    // The table commands take their directory first: an option there
    // (`tbgen --verbose`) would otherwise become a directory of tables.
    if (std::strncmp(command, "tb", 2) == 0 && argc >= 3 && argv[2][0] == '-') return usage();
    if (std::strcmp(command, "tbgen") == 0 || std::strcmp(command, "tbverify") == 0) {
        if (argc < 3) return usage();
        std::vector<std::string> names;
        bool                     pack = false, verbose = false;
        int                      men  = 0;
        for (int i = 3; i < argc; ++i) {
            if (command[2] == 'g' && std::strcmp(argv[i], "--pack") == 0)
                pack = true;
            else if (command[2] == 'g' && std::strcmp(argv[i], "--verbose") == 0)
                verbose = true;
            else if (command[2] == 'g' && std::strcmp(argv[i], "--men") == 0 && i + 1 < argc)
                men = menOf(argv[++i]);
            else
                names.push_back(argv[i]);
        }
        if (command[2] != 'g') return verifyTables(argv[2], names);
        // Either the records by name or all of a number of men.
        if ((men != 0 && (men < 3 || men > 5)) || (men != 0 && !names.empty())) return usage();
        return generateTables(argv[2], names, pack, men, verbose);
    }
    if (std::strcmp(command, "tbpack") == 0) {
        if (argc < 3) return usage();
        std::vector<std::string> names;
        bool                     removeRaw = false;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--remove") == 0)
                removeRaw = true;
            else
                names.push_back(argv[i]);
        }
        return packTables(argv[2], names, removeRaw);
    }
    if (std::strcmp(command, "tbplan") == 0) {
        if (argc < 3) return usage();
        std::vector<std::string> names;
        std::string              output;
        int                      men = 0;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--men") == 0 && i + 1 < argc) {
                men = menOf(argv[++i]);
                if (men < 3 || men > 5) return usage();
            } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
                output = argv[++i];
            else
                names.push_back(argv[i]);
        }
        return writeTablePlan(argv[2], men, names, output);
    }
    if (std::strcmp(command, "tbspeed") == 0) {
        if (argc < 3) return usage();
        return measureTableReading(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    if (std::strcmp(command, "tbdump") == 0) {
        if (argc < 4) return usage();
        return dumpTable(argv[2], argv[3]);
    }
    if (std::strcmp(command, "genkeys") == 0) {
        printPieceKeysSource(stdout);
        return 0;
    }
    return usage();
}
