// The engine with the 3- and 4-man tables this project generates: scores
// against Gaviota's distance to mate, colour-exchanged positions, and whole
// endgames played out against the longest defence.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <algorithm>
#include <string>
#include <vector>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/setup.h"
#include "tablebase/catalogue.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbfiles.h"
#include "tests/driver/engine_process.h"
#include "tests/tablebase/tablebase_test.h"
#include "tests/test_support.h"

#ifndef BRIX_TABLEBASE_DIR
#error "BRIX_TABLEBASE_DIR must name the generated tables"
#endif

namespace {

const std::string TABLES = BRIX_TABLEBASE_DIR;

// Compressed as `make tablebases` leaves them, or uncompressed.
bool tablesPresent() {
    for (const char* name : {"/kqkr.nbb", "/kqkr.nbb.emd"})
        if (std::FILE* f = std::fopen((TABLES + name).c_str(), "rb")) {
            std::fclose(f);
            return true;
        }
    return false;
}

// Gaviota's answers, one per FEN: "wtm: mate in 9", "btm: mated in 3" (the side
// to move, then its result), "draw".
std::vector<std::string> gaviota(const std::vector<std::string>& fens) {
    ScratchDir  scratch;
    const std::string input = scratch.path + "/fens";
    std::FILE*  f = std::fopen(input.c_str(), "w");
    for (const auto& fen : fens) std::fprintf(f, "%s\n", fen.c_str());
    std::fclose(f);
    std::vector<std::string> answers;
    std::FILE* p = popen((sharedPath("tools/gaviota-dtm") + " - < " + input).c_str(), "r");
    char line[128];
    while (p && std::fgets(line, sizeof line, p)) {
        std::string s = line;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        answers.push_back(s);
    }
    if (p) pclose(p);
    EXPECT_EQ(answers.size(), fens.size()) << "gaviota-dtm did not answer every position";
    return answers;
}

// The tablebase score Gaviota's answer stands for: mate in n moves 10000 - 2n,
// mated after n moves -10000 + 2n, a draw 0.
int gaviotaScore(const std::string& answer) {
    const int n = std::atoi(answer.c_str() + answer.rfind(' ') + 1);
    if (answer.find(": mate in ") != std::string::npos) return 10000 - 2 * n;
    if (answer.find(": mated in ") != std::string::npos) return -10000 + 2 * n;
    EXPECT_EQ(answer, "draw");
    return 0;
}

// FENs of the legal moves of the current position.
std::vector<std::pair<Move, std::string>> legalReplies() {
    std::vector<std::pair<Move, std::string>> replies;
    generateAllMoves();
    std::vector<Move> moves;
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) moves.push_back(moveStack[i].move);
    for (Move m : moves)
        if (makeMove(m)) {
            replies.emplace_back(m, currentFen());
            unmakeMove();
        }
    return replies;
}

// The colour-exchanged image: ranks mirrored, colours and the side to move swapped.
std::string colourExchanged(const std::string& fen) {
    const auto space = fen.find(' ');
    std::string rows = fen.substr(0, space), out;
    std::vector<std::string> ranks;
    for (std::size_t start = 0;;) {
        const auto slash = rows.find('/', start);
        ranks.push_back(rows.substr(start, slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    for (auto r = ranks.rbegin(); r != ranks.rend(); ++r) {
        if (!out.empty()) out += '/';
        for (char c : *r) out += char(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    }
    std::string rest = fen.substr(space + 1);
    const char  stm  = rest[0] == 'w' ? 'b' : 'w';
    std::string ep   = rest.substr(4, rest.find(' ', 4) - 4);
    if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
    return out + ' ' + stm + " - " + ep + " 0 1";
}

class RealTables : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tablesPresent()) << "no generated tables in " << TABLES << " (make tablebases)";
        stopTablebases();
        startTablebases(TABLES);
        ASSERT_EQ(egtbMaxPieces, 4);
    }
    void TearDown() override { stopTablebases(); }
};

TEST_F(RealTables, ThreeManScoresAreGaviotasDistances) {
    // Random legal 3-man positions of every record, both sides to move.
    std::mt19937             random(10);
    std::vector<std::string> fens;
    const char*              men = "PNBRQ";
    while (fens.size() < 3000) {
        std::string board(64, '1');
        const int   a = int(random() % 64), b = int(random() % 64), c = int(random() % 64);
        if (a == b || b == c || a == c) continue;
        board[std::size_t(a)] = 'K';
        board[std::size_t(b)] = 'k';
        const char man        = men[random() % 5];
        board[std::size_t(c)] = random() % 2 ? man : char(std::tolower(man));
        std::string fen;
        for (int r = 0; r < 8; ++r) fen += board.substr(std::size_t(r) * 8, 8) + (r < 7 ? "/" : "");
        fen += random() % 2 ? " w - - 0 1" : " b - - 0 1";
        if (setPositionFromFen(fen.c_str())) fens.push_back(fen);
    }
    const auto answers = gaviota(fens);
    ASSERT_EQ(answers.size(), fens.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < fens.size(); ++i) {
        setUpFen(fens[i]);
        std::int16_t score = 0;
        ASSERT_TRUE(probeTablebase(&score)) << fens[i];
        if (score != gaviotaScore(answers[i]) && ++mismatches <= 5)
            ADD_FAILURE() << fens[i] << ": " << score << " but Gaviota says " << answers[i];
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(RealTables, ThreadsProbingAtOnceReadWhatOneThreadReads) {
    // A cache of three blocks, so nearly every probe evicts a block another
    // thread may be reading; each thread must still get the values one
    // thread alone reads.
    stopTablebases();
    startTablebases(TABLES, 5);
    const int                 kqkr = findTablebaseRecord("kqkr"), krpk = findTablebaseRecord("krpk");
    std::vector<std::uint32_t> probes[2];
    std::vector<std::int32_t>  alone[2];
    std::mt19937               random(19);
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < 4000; ++i) {
            const int o = (i & 1) ? kqkr : krpk, side = int(random() % 2);
            probes[t].push_back(std::uint32_t(random() % tablebaseCatalogue[o].positionCount[side]) << 2 |
                                std::uint32_t(side) << 1 | std::uint32_t(i & 1));
        }
    const auto value = [&](std::uint32_t p) {
        return lookupTableValue((p & 1) ? kqkr : krpk, int(p >> 1 & 1), p >> 2);
    };
    for (int t = 0; t < 2; ++t)
        for (std::uint32_t p : probes[t]) alone[t].push_back(value(p));
    int differ[2] = {0, 0};
    std::thread other([&] {
        for (std::size_t i = 0; i < probes[1].size(); ++i) differ[1] += value(probes[1][i]) != alone[1][i];
    });
    for (std::size_t i = 0; i < probes[0].size(); ++i) differ[0] += value(probes[0][i]) != alone[0][i];
    other.join();
    EXPECT_EQ(differ[0] + differ[1], 0);
    EXPECT_NE(std::count(alone[0].begin(), alone[0].end(), TB_VALUE_UNKNOWN), std::ptrdiff_t(alone[0].size()));
}

TEST_F(RealTables, ColourExchangedPositionsAgree) {
    // Every four-man material, kpkp among them, read through both colourings:
    // the image of a position reads the other side's file (or the same file
    // through the other list order) and must hold the same value.
    std::mt19937 random(11);
    const char*  sets[] = {"Pp", "Qr", "Rp", "Pn", "PP", "BN", "Qq", "Pb", "RR", "Np"};
    int          found = 0, epPositions = 0;
    for (const char* set : sets)
        for (int trial = 0; trial < 400; ++trial) {
            std::string board(64, '1');
            const int   squares[4] = {int(random() % 64), int(random() % 64), int(random() % 64), int(random() % 64)};
            bool        clash      = false;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < i; ++j) clash |= squares[i] == squares[j];
            if (clash) continue;
            board[std::size_t(squares[0])] = 'K';
            board[std::size_t(squares[1])] = 'k';
            board[std::size_t(squares[2])] = set[0];
            board[std::size_t(squares[3])] = set[1];
            // kpkp: every other trial, black has just pushed a pawn two squares
            // beside a white pawn on the fifth rank, so en passant is possible.
            std::string ep = "-";
            const bool  passant = std::string(set) == "Pp" && trial % 2;
            if (passant) {
                const int file = int(random() % 8), beside = file == 0 ? 1 : file == 7 ? 6 : file + (random() % 2 ? 1 : -1);
                board[std::size_t(squares[2])] = board[std::size_t(squares[3])] = '1';
                if (board[std::size_t(24 + file)] != '1' || board[std::size_t(24 + beside)] != '1') continue;
                board[std::size_t(24 + beside)] = 'P';
                board[std::size_t(24 + file)]   = 'p';
                ep = std::string(1, char('a' + file)) + "6";
            }
            std::string fen;
            for (int r = 0; r < 8; ++r) fen += board.substr(std::size_t(r) * 8, 8) + (r < 7 ? "/" : "");
            fen += std::string(passant || trial % 3 ? " w" : " b") + " - " + ep + " 0 1";
            if (!setPositionFromFen(fen.c_str())) continue;
            std::int16_t direct = 0, image = 0;
            const bool   hasEp = epSquare != NO_EP;
            ASSERT_TRUE(probeTablebase(&direct)) << fen;
            const std::string other = colourExchanged(currentFen());
            setUpFen(other);
            ASSERT_TRUE(probeTablebase(&image)) << other;
            EXPECT_EQ(direct, image) << fen << " against " << other;
            ++found;
            epPositions += hasEp;
        }
    EXPECT_GT(found, 2000);
    EXPECT_GT(epPositions, 50);
}

// Plays the engine (the side to move in the FEN) against the longest defence
// Gaviota knows; returns the engine's moves to mate, or -1.
int movesToMate(const std::string& fen) {
    ScratchDir  home;
    std::FILE*  cfg = std::fopen((home.path + "/brix.cfg").c_str(), "w");
    std::fprintf(cfg, "EGTB_PATH %s\n", TABLES.c_str());
    std::fclose(cfg);
    EngineProcess e(home.path);
    e.send("xboard");
    e.send("protover 2");
    e.expect("^feature done=1$");
    e.send("setboard " + fen);
    e.send("st 2");
    e.send("go");
    setUpFen(fen);
    for (int moves = 1; moves <= 40; ++moves) {
        std::string line = e.expect("^move ", 10);
        if (line.empty()) return -1;
        std::string san = line.substr(5);
        while (!san.empty() && (san.back() == '+' || san.back() == '#')) san.pop_back();
        if (!playSan(san)) {
            ADD_FAILURE() << "engine move " << san << " not legal in " << currentFen();
            return -1;
        }
        const auto replies = legalReplies();
        if (replies.empty()) return inCheck() ? moves : -1;
        std::vector<std::string> fens;
        for (const auto& r : replies) fens.push_back(r.second);
        const auto answers = gaviota(fens);
        if (answers.size() != replies.size()) return -1;
        std::size_t best = 0;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            if (answers[i] == "draw") {
                ADD_FAILURE() << "the engine let the win go: " << replies[i].second;
                return -1;
            }
            if (gaviotaScore(answers[i]) < gaviotaScore(answers[best])) best = i;
        }
        const Move reply = replies[best].first;
        e.send(moveToCoord(reply));
        makeMove(reply);
        ply = 0;
    }
    return -1;
}

TEST_F(RealTables, KqkAndKrkAreMatedByTheShortestWay) {
    for (const std::string fen : {"6K1/8/8/1Q6/4k3/8/8/8 w - - 0 1", "8/8/8/8/8/2k5/1R6/K7 w - - 0 1"}) {
        const int distance = (10000 - gaviotaScore(gaviota({fen})[0])) / 2;
        ASSERT_GT(distance, 0) << fen;
        EXPECT_EQ(movesToMate(fen), distance) << fen;
    }
}

TEST_F(RealTables, EgtbCommandAndDrawnMaterial) {
    ScratchDir home;
    std::FILE* cfg = std::fopen((home.path + "/brix.cfg").c_str(), "w");
    std::fprintf(cfg, "EGTB_PATH %s\n", TABLES.c_str());
    std::fclose(cfg);
    EngineProcess e(home.path);
    e.send("xboard");
    e.send("protover 2");
    e.expect("^EGTB Status: Maximum 4 piece tablebases found$");
    const std::vector<std::string> fens = {"8/8/8/8/8/2k5/1R6/K7 w - - 0 1", "8/8/8/3k4/8/8/Q7/4K3 b - - 0 1",
                                           "8/8/8/8/4k3/8/4P3/4K3 w - - 0 1", "8/8/8/4k3/8/8/2B5/4K3 w - - 0 1",
                                           "8/8/8/4k3/8/8/2N5/4K3 b - - 0 1"};
    const auto answers = gaviota(fens);
    ASSERT_EQ(answers.size(), fens.size());
    for (std::size_t i = 0; i < fens.size(); ++i) {
        e.send("setboard " + fens[i]);
        e.send("egtb");
        e.expect("^Max 4 , Score " + std::to_string(gaviotaScore(answers[i])) + "$");
    }
    // K+B v K, K+N v K: table draws for both sides to move; K v K has no table.
    for (const char* fen : {"8/8/8/4k3/8/8/2B5/4K3 w - - 0 1", "8/8/8/4k3/8/8/2B5/4K3 b - - 0 1",
                            "8/8/8/4k3/8/8/2N5/4K3 w - - 0 1", "8/2n5/8/4k3/8/8/8/4K3 b - - 0 1"}) {
        e.send(std::string("setboard ") + fen);
        e.send("egtb");
        e.expect("^Max 4 , Score 0$");
    }
    e.send("setboard 8/8/8/4k3/8/8/8/4K3 w - - 0 1");
    e.send("egtb");
    e.expect("^Position not in EGTB$");
}

}  // namespace
