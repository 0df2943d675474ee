// Perft against published counts, and against Stockfish on real positions.
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include "board/position.h"
#include "tests/board/random_positions.h"
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {

struct PerftCase {
    const char*   fen;
    int           depth;
    int           sanitizedDepth;
    std::uint64_t nodes[7];  // by depth 0..6
};

// The widely published perft positions (initial, "Kiwipete", and positions
// 3 to 6 of the common test set) with their known counts.
const PerftCase PUBLISHED[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 5, 4,
     {1, 20, 400, 8902, 197281, 4865609, 119060324}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 4, 3,
     {1, 48, 2039, 97862, 4085603, 193690690, 0}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 5, 4, {1, 14, 191, 2812, 43238, 674624, 11030083}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4, 3,
     {1, 6, 264, 9467, 422333, 15833292, 0}},
    {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 3,
     {1, 6, 264, 9467, 422333, 15833292, 0}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4, 3, {1, 44, 1486, 62379, 2103487, 89941194, 0}},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4, 3,
     {1, 46, 2079, 89890, 3894594, 164075551, 0}},
};

// Hand-made positions around the rules that are easiest to get wrong: en
// passant along a pinned rank or diagonal, en passant as a check evasion,
// castling through attacks, double checks, promotions with check.
const char* const TRICKY[] = {
    "8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 1",
    "3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1",
    "8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1",
    "8/5bk1/8/2Pp4/8/1K6/8/8 w - d6 0 1",
    "8/8/4k3/8/2pPp3/8/B7/7K b - d3 0 1",
    "r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1",
    "r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1",
    "2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1",
    "8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1",
    "4k3/1P6/8/8/8/8/K7/8 w - - 0 1",
    "8/P1k5/K7/8/8/8/8/8 w - - 0 1",
    "8/k1P5/8/1K6/8/8/8/8 w - - 0 1",
    "8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1",
    "4k3/8/8/8/8/5n2/8/4K2r w - - 0 1",
    "4k3/8/8/8/1b6/8/3N4/R3K2R w KQ - 0 1",
    "r3k2r/p1pp1pb1/bn2Qnp1/2qPN3/1p2P3/2N5/PPPBBPPP/R3K2R b KQkq - 3 2",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    // En passant uncovering a check along the capture rank, for both
    // colours, at the root and after the double push inside the tree.
    "8/1n6/6pp/R2pP2k/6pp/8/8/K7 w - d6 0 1",
    "k7/8/8/8/K2pP2r/8/1N6/8 b - e3 0 1",
    "8/1n1p4/6pp/R3P2k/6pp/8/8/K7 b - - 0 1",
    "k7/8/8/8/K2p3r/8/1N2P3/8 w - - 0 1",
    "8/8/8/Q1pP3k/8/8/8/4K3 w - c6 0 1",
    "4k3/8/8/8/q2Pp2K/8/8/8 b - d3 0 1",
    // ... along a diagonal through the captured pawn, alone and with a
    // discovery through the capturer's square (a real double check).
    "6k1/8/8/3pP3/8/8/B7/4K3 w - d6 0 1",
    "4k3/6b1/8/8/3Pp3/8/8/K7 b - d3 0 1",
    "B3R3/8/8/3pP3/4k3/8/8/K7 w - d6 0 1",
    "k7/8/8/4K3/3Pp3/8/8/b3r3 b - d3 0 1",
    // En passant that would expose the capturer's king: along the rank, off
    // a diagonal or file pin, and along a diagonal pin (allowed).
    "8/8/8/8/k2Pp2R/8/8/4K3 b - d3 0 1",
    "4K3/8/8/8/Q2Pp2k/8/8/8 b - d3 0 1",
    "4k2b/8/8/3pP3/8/8/8/K7 w - d6 0 1",
    "k3r3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    "1b2k3/8/8/3pP3/8/8/7K/8 w - d6 0 1",
    "8/7k/8/8/3Pp3/8/8/1Q2K3 b - d3 0 1",
};

TEST(Perft, PublishedCountsAtEveryDepth) {
    for (const PerftCase& c : PUBLISHED) {
        if (c.nodes[1] == 0) continue;
        setUpFen(c.fen);
        const int depth = SANITIZED ? c.sanitizedDepth : c.depth;
        for (int d = 1; d <= depth; ++d) EXPECT_EQ(perft(d), c.nodes[d]) << c.fen << " depth " << d;
    }
}

// Runs Stockfish once over all positions and returns its perft counts.
std::vector<std::uint64_t> stockfishPerft(const std::vector<std::string>& fens, int depth) {
    const char* binary = "/usr/games/stockfish";
    if (std::FILE* f = std::fopen(binary, "r"))
        std::fclose(f);
    else
        binary = "stockfish";
    // One pair of files per process: both builds' suites, and other
    // checkouts' suites, may run at the same time on one machine.
    const std::string stem   = ::testing::TempDir() + "brix_sf_" + std::to_string(getpid());
    const std::string input  = stem + "_in.txt";
    const std::string output = stem + "_out.txt";
    {
        std::ofstream script(input);
        for (const auto& fen : fens) script << "position fen " << fen << "\ngo perft " << depth << "\n";
        script << "quit\n";
    }
    const std::string command = std::string(binary) + " < " + input + " > " + output + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << "Stockfish is needed as the perft oracle (make deps)";
    std::ifstream            in(output);
    std::string              line;
    std::vector<std::uint64_t> counts;
    while (std::getline(in, line))
        if (line.rfind("Nodes searched: ", 0) == 0) counts.push_back(std::stoull(line.substr(16)));
    std::remove(input.c_str());
    std::remove(output.c_str());
    return counts;
}

// Our perft on every position equals Stockfish's.
void expectAgreement(const std::vector<std::string>& positions, int depth) {
    const auto oracle = stockfishPerft(positions, depth);
    ASSERT_EQ(oracle.size(), positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        setUpFen(positions[i]);
        EXPECT_EQ(perft(depth), oracle[i]) << positions[i];
    }
}

TEST(Perft, AgreesWithStockfishOnRealGamePositions) {
    const int  count     = SANITIZED ? 120 : 300;
    const auto positions = realGamePositions(count, 2026);
    ASSERT_EQ(int(positions.size()), count);
    expectAgreement(positions, 3);
}

TEST(Perft, AgreesWithStockfishOnTrickyPositions) {
    expectAgreement(std::vector<std::string>(std::begin(TRICKY), std::end(TRICKY)), SANITIZED ? 3 : 4);
}

// Random positions built around an en-passant capture (uncovered checks
// along ranks and diagonals, pinned capturers, captures answering a check),
// and around discovered, promotion and castling checks.
TEST(Perft, AgreesWithStockfishOnRandomEnPassantPositions) {
    expectAgreement(enPassantPositions(SANITIZED ? 80 : 300, 2027), 3);
    expectAgreement(lineRichPositions(SANITIZED ? 40 : 150, 2028), 3);
}

TEST(Perft, AgreesWithStockfishAtDepthFour) {
    expectAgreement(realGamePositions(SANITIZED ? 4 : 20, 77), 4);
}

}  // namespace
