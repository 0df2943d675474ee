// tools/bench.cpp: the search benchmark (a fixed node count for a fixed
// depth, whatever the machine) and the EPD suite runner.
#include "tools/bench.h"
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "io/console.h"
#include "search/hashtable.h"
#include "search/rootmoves.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/think.h"
#include "search/threads.h"
#include "tools/pgn.h"

// Middlegames and endgames: a few classic test positions and twelve taken
// at set plies from world champions' games.
static const char* const BENCH_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "r2q1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R2QK2R w KQ - 0 9",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "8/8/8/4k3/8/8/4PK2/8 w - - 0 1",
    "8/8/1p4k1/p1p5/P1P3K1/1P6/8/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/4kpp1/3p4/p6P/2B4b/6P1/6K1 b - - 0 1",
    "2r3k1/pp3ppp/8/3R4/8/8/PP3PPP/6K1 b - - 0 1",
    "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 0 1",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
    "6k1/6p1/6Pp/ppp5/3pn2P/1P3K2/1PP2P2/3N4 b - - 0 1",
    "3b4/5kp1/1p1p1p1p/pP1PpP1P/P1P1P3/3KN3/8/8 w - - 0 1",
    "r2q1rk1/p3npbp/bpnpp1p1/2p5/4P3/2PP1NP1/PP3PBP/R1BQRNK1 w - - 2 11",
    "r1bq1rk1/5pbp/1p1p1np1/p1nPp3/4P3/2N3P1/PPQN1PBP/R1B2RK1 w - - 0 13",
    "r1b2rk1/1pq2ppp/p2bp3/7Q/P1BP4/2P5/5PPP/R1BR2K1 w - - 3 16",
    "2r2rk1/2qbbpp1/2n2n1p/1pp1p3/4P2B/2P2N1P/1PBN1PP1/R2QR1K1 w - - 0 18",
    "3r4/p1p1kppp/3bp3/7P/8/2NP3P/P1rB1PK1/4RR2 w - - 0 21",
    "3r2k1/pR3ppp/4pq2/n7/2B1Q2P/P3P3/1P3PP1/6K1 w - - 1 24",
    "5rk1/p2r1p2/1p3p2/2pp1b2/8/1NP2P2/PP4PP/3RRBK1 w - - 0 27",
    "6k1/6pp/4pn2/pbQq4/1p6/1P4P1/P3PP1P/4R1K1 w - - 2 31",
    "8/1R2Bpk1/8/1p4pp/1P3n2/5P2/2r4P/5K2 w - - 6 36",
    "8/pp1r4/8/4P1k1/P4p2/1K3R2/2Pr1B2/8 w - - 0 41",
    "4n1k1/5b1p/5Pp1/4P3/r3PbP1/7P/8/BR3BK1 w - - 7 46",
    "2n5/2k4p/p5p1/KpP1bp2/8/4BB2/5PPP/8 w - - 2 51",
};

void resetSearchState() {
    inputPolling = false;  // measurements never read the console
    if (!hashTable) allocateHashTables(3100);
    allocatePawnHashTable();
    clearHashTables();
    clearPawnHashTable();
    initPieceSquareTables();  // the phase is chosen afresh
    clearSearchState();
    engineOptions = std::uint16_t(engineOptions & ~OPTION_POST);
}

// A search under a fixed depth or time, as the st and sd commands set it.
void runSearch(int depth, std::int32_t centiseconds) {
    setFixedMoveTime(centiseconds, std::uint8_t(depth));
    thinkStartTime = elapsedTime();
    think();
}

void runLimitBench(std::uint64_t nodes, std::int32_t centiseconds, int lines, std::FILE* out) {
    std::uint64_t most = 0, least = ~std::uint64_t(0);
    int           depths = 0, count = 0;
    setMultiPvLines(lines);
    for (const char* fen : BENCH_POSITIONS) {
        resetSearchState();
        setPositionFromFen(fen);
        nodeLimit = nodes;
        runSearch(64, centiseconds);
        nodeLimit               = 0;
        const std::uint64_t n   = searchNodes();
        most                    = std::max(most, n);
        least                   = std::min(least, n);
        depths += lastIterationDepth;
        ++count;
        std::fprintf(out, "%-72s %10llu nodes, depth %2d, %s\n", fen, static_cast<unsigned long long>(n),
                     lastIterationDepth, pvLength[0] ? moveToCoord(pvTable[0][0]) : "none");
    }
    setMultiPvLines(1);
    std::fprintf(out, "%d positions: nodes %llu to %llu, depth %.2f on average\n", count,
                 static_cast<unsigned long long>(least), static_cast<unsigned long long>(most), double(depths) / count);
}

std::uint64_t runBench(int depth, std::FILE* out) {
    std::uint64_t total = 0;
    for (const char* fen : BENCH_POSITIONS) {
        resetSearchState();
        setPositionFromFen(fen);
        runSearch(depth, 0);
        const std::uint64_t nodes = searchNodes();
        total += nodes;
        if (out)
            std::fprintf(out, "%-72s %10llu %s\n", fen, static_cast<unsigned long long>(nodes),
                         moveToCoord(pvTable[0][0]));
    }
    return total;
}

// The SAN moves of an EPD operation ("bm Qg6 Rg3;") as move words.
static std::vector<Move> epdMoves(const std::string& line, const char* op) {
    std::vector<Move> moves;
    const std::string key = std::string(op) + " ";
    std::size_t       at  = line.find(key);
    while (at != std::string::npos && at > 0 && line[at - 1] != ' ' && line[at - 1] != ';') at = line.find(key, at + 1);
    if (at == std::string::npos) return moves;
    const std::size_t  end = line.find(';', at);
    std::istringstream in(line.substr(at + key.size(), end - at - key.size()));
    for (std::string san; in >> san;) moves.push_back(findSanMove(san));
    return moves;
}

static std::string epdField(const std::string& line, const char* op) {
    const std::string key = std::string(op) + " ";
    const std::size_t at  = line.find(key);
    if (at == std::string::npos) return "";
    std::string value = line.substr(at + key.size(), line.find(';', at) - at - key.size());
    if (!value.empty() && value.front() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

int runEpdSuite(const char* path, double seconds, std::FILE* out, int* total) {
    std::ifstream in(path);
    int           solved = 0, count = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string        placement, stm, castling, ep;
        if (!(fields >> placement >> stm >> castling >> ep)) continue;
        resetSearchState();
        const std::string fen = placement + " " + stm + " " + castling + " " + ep;
        if (!setPositionFromFen(fen.c_str())) continue;
        ++count;
        const std::vector<Move> best = epdMoves(line, "bm"), avoid = epdMoves(line, "am");
        const std::string       mate = epdField(line, "dm");
        const auto started = std::chrono::steady_clock::now();
        runSearch(64, std::int32_t(seconds * 100 + 0.5));
        const long  ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
        const Move  chosen = pvTable[0][0];
        char        san[16];
        std::snprintf(san, sizeof san, "%s", chosen ? moveToSan(chosen) : "none");
        bool ok = !best.empty() || !avoid.empty() || !mate.empty();
        if (!best.empty()) ok = std::find(best.begin(), best.end(), chosen) != best.end();
        if (!avoid.empty()) ok = ok && std::find(avoid.begin(), avoid.end(), chosen) == avoid.end();
        const int  matePlies = lastScore > 9000 ? MATE_SCORE - lastScore : 0;
        const int  mateIn    = (matePlies + 1) / 2;
        if (best.empty() && avoid.empty() && !mate.empty()) ok = matePlies > 0 && mateIn <= std::atoi(mate.c_str());
        solved += ok;
        if (out) {
            std::string id = epdField(line, "id");
            if (id.empty()) id = "#" + std::to_string(count);
            std::fprintf(out, "%s %s %s", id.c_str(), san, ok ? "solved" : "missed");
            if (!mate.empty()) std::fprintf(out, " dm %s found %d", mate.c_str(), mateIn);
            std::fprintf(out, " (%ld ms)\n", ms);
            std::fflush(out);
        }
    }
    if (total) *total = count;
    return solved;
}
