#include "tests/test_support.h"
#include <sys/wait.h>
#include <cstdio>
#include <gtest/gtest.h>
#include "board/setup.h"
#include "eval/evaluate.h"
#include "search/ordering.h"

void setUpFen(const std::string& fen) {
    initPieceSquareTables();
    clearOrderingTables();
    ASSERT_TRUE(setPositionFromFen(fen.c_str())) << fen;
}

std::string currentFen() {
    char buffer[100];
    positionToFen(buffer);
    return buffer;
}

std::string sharedPath(const std::string& relative) { return std::string(BRIX_SHARED_DIR) + "/" + relative; }

#include <random>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "tools/perft.h"
#include "tools/pgn.h"

bool playSan(const std::string& token) {
    const Move move = findSanMove(token);
    if (!move || !makeMove(move)) return false;
    ply = 0;  // game moves, not search plies
    return true;
}

std::vector<std::string> realGamePositions(int count, unsigned seed) {
    static const auto games = readPgnGames(sharedPath("data/games/masters-wch.pgn"), 4000);
    std::mt19937      random(seed);
    std::vector<std::string> fens;
    for (int attempt = 0; attempt < count * 4 && int(fens.size()) < count; ++attempt) {
        const auto& game = games[random() % games.size()];
        if (game.size() < 2) continue;
        const std::size_t target = random() % std::min<std::size_t>(game.size(), 400);
        setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        std::size_t played = 0;
        while (played < target && playSan(game[played])) ++played;
        if (played == target) fens.push_back(currentFen());
    }
    return fens;
}

int runCommand(const std::string& command, std::string* output) {
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char        buffer[4096];
    std::string text;
    while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    if (output) *output = text;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
