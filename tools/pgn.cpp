// tools/pgn.cpp: PGN move text as SAN tokens, and SAN lookup in the
// generated move list.
#include "tools/pgn.h"
#include <fstream>
#include "board/notation.h"
#include "board/position.h"
#include "tools/perft.h"

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

Move findSanMove(const std::string& token) {
    Move parsed;
    if (!parseSan(token.c_str(), &parsed)) return 0;
    generateLegalCandidates();
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (moveStack[i].move == parsed) return parsed;
    return 0;
}
