#include "tests/test_support.h"
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

#include <fstream>
#include <random>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "tools/perft.h"

bool playSan(const std::string& token) {
    Move parsed;
    if (!parseSan(token.c_str(), &parsed)) return false;
    generateLegalCandidates();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (moveStack[i].move == parsed) {
            if (!makeMove(parsed)) return false;
            ply = 0;  // game moves, not search plies
            return true;
        }
    return false;
}

std::vector<std::vector<std::string>> readPgnGames(const std::string& path, int maxGames) {
    std::vector<std::vector<std::string>> games;
    std::ifstream                         in(path);
    std::string                           line;
    std::vector<std::string>              current;
    int                                   depth = 0;  // nesting of comments and variations
    auto finish = [&]() {
        if (!current.empty()) games.push_back(current);
        current.clear();
    };
    while (std::getline(in, line) && int(games.size()) < maxGames) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (depth == 0 && !line.empty() && line[0] == '[') {
            finish();
            continue;
        }
        std::string token;
        auto        flush = [&]() {
            if (token.empty()) return;
            const bool number = token.find_first_not_of("0123456789.") == std::string::npos;
            const bool result = token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*";
            if (!number && !result && token[0] != '$') {
                // "12.e4" style: drop the move number glued to the move.
                const auto dot = token.find_last_of('.');
                current.push_back(dot == std::string::npos ? token : token.substr(dot + 1));
            }
            token.clear();
        };
        for (char c : line) {
            if (c == '{' || c == '(') {
                flush();
                ++depth;
            } else if (c == '}' || c == ')') {
                if (depth > 0) --depth;
            } else if (depth == 0) {
                if (c == ' ' || c == '\t')
                    flush();
                else
                    token += c;
            }
        }
        flush();
    }
    finish();
    return games;
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
