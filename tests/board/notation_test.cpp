// Move text: coordinate and SAN output, and the SAN reader on its variants
// and on real game scores.
#include <gtest/gtest.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <unistd.h>
#include <vector>
#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "tests/board/random_positions.h"
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {

int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

Move parsed(const char* text) {
    Move m = 0;
    EXPECT_TRUE(parseSan(text, &m)) << text;
    return m;
}

TEST(Notation, CoordinateAndSanOutput) {
    EXPECT_STREQ(moveToCoord(makeMoveWord(sq("a2"), sq("b1"), GEN_PAWN | GEN_CAPTURE | GEN_PROMOTION) |
                             Move(KNIGHT) << 16),
                 "a2b1N");
    EXPECT_STREQ(moveToCoord(makeMoveWord(sq("e1"), sq("g1"), GEN_CASTLE)), "e1g1");
    EXPECT_STREQ(moveToCoord(0), "a8a8");

    setUpFen("r3k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("e1"), sq("c1"), GEN_CASTLE)), "0-0-0");
    setUpFen("4k3/8/8/8/3N4/5p2/3N4/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("d2"), sq("f3"), GEN_CAPTURE)), "N2xf3");
    setUpFen("4k3/8/8/8/8/5p2/3N3N/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("d2"), sq("f3"), GEN_CAPTURE)), "Ndxf3");
    setUpFen("3rk3/4P3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("e7"), sq("d8"), GEN_PAWN | GEN_CAPTURE | GEN_PROMOTION) |
                           Move(QUEEN) << 16),
                 "exd8=Q");
    // A pinned second rook still adds its character.
    setUpFen("4k2r/8/8/8/8/8/7R/R6K w - - 0 1");
    EXPECT_STREQ(moveToSan(makeMoveWord(sq("a1"), sq("a2"), 0)), "Raa2");
}

TEST(Notation, SanReaderVariants) {
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Move shortCastle = MOVE_CASTLE | Move(62) << 6 | 60;
    EXPECT_EQ(parsed("O-O"), shortCastle);
    EXPECT_EQ(parsed("0-0"), shortCastle);
    EXPECT_EQ(parsed("o-o"), shortCastle);
    EXPECT_EQ(parsed("O-O-O"), MOVE_CASTLE | Move(58) << 6 | 60);

    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const Move nf3 = parsed("Nf3");
    EXPECT_EQ(nf3, makeMoveWord(sq("g1"), sq("f3"), 0));
    EXPECT_EQ(parsed("Nf3+"), nf3);
    EXPECT_EQ(parsed("Nf3!"), nf3);
    EXPECT_EQ(parsed("N-f3"), nf3);
    EXPECT_EQ(parsed("Ng1f3"), nf3);
    EXPECT_EQ(parsed("e4"), makeMoveWord(sq("e2"), sq("e4"), GEN_PAWN | GEN_DOUBLE_PUSH));
    setUpFen("4k3/8/8/8/8/4P3/8/4K3 w - - 0 1");
    EXPECT_EQ(parsed("e4"), makeMoveWord(sq("e3"), sq("e4"), GEN_PAWN));

    setUpFen("2k5/4P3/8/8/8/8/8/4K3 w - - 0 1");
    const Move promote = parsed("e8=Q");
    EXPECT_EQ(promote, makeMoveWord(sq("e7"), sq("e8"), GEN_PAWN | GEN_PROMOTION) | Move(QUEEN) << 16);
    EXPECT_EQ(parsed("e8Q"), promote);
    EXPECT_EQ(parsed("e8/Q"), promote);

    setUpFen("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    ASSERT_TRUE(makeMove(parsed("d5")));
    EXPECT_EQ(parsed("exd6"), 0x15000000u | Move(sq("d6")) << 6 | Move(sq("e5")));

    // Nbd7 ignores the knight on f6; Nd7 skips a pinned candidate.
    setUpFen("rn2k3/8/5n2/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nbd7")), sq("b8"));
    setUpFen("1n6/8/3k4/4n3/8/8/7B/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nd7")), sq("b8"));  // e5 is pinned against the king
    setUpFen("1n6/8/3k4/4n3/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(moveFrom(parsed("Nd7")), sq("e5"));  // unpinned, e5 comes first

    Move m;
    EXPECT_FALSE(parseSan("Nz9", &m));
    EXPECT_FALSE(parseSan("", &m));
    EXPECT_FALSE(parseSan("Q", &m));
    EXPECT_FALSE(parseSan("Qd4", &m));  // no queen can get there
}

// Three queens, knights or rooks reaching one square: where one character
// per other candidate would repeat a file or a rank, or put the rank first,
// the whole from-square is written; one candidate still adds one character.
TEST(Notation, CrowdedMenWriteTheFromSquare) {
    struct Case {
        const char* fen;
        const char *from, *to, *san;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "a1", "b2", "Qa1b2"},  // was Q1ab2
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "c1", "b2", "Qc1b2"},  // was Qccb2
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "a3", "b2", "Qa3b2"},
        {"4k3/8/8/8/8/Q7/1n6/Q1QK4 w - - 0 1", "a1", "b2", "Qa1xb2"},  // was Q1axb2
        {"4k3/8/8/8/8/Q7/Q7/Q6K w - - 0 1", "a1", "b2", "Qa1b2"},  // was Q11b2
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "a1", "b1", "Qab1"},
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "a3", "a2", "Q3a2"},
        {"4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1", "c1", "c3", "Qc1c3"},
        {"4k3/8/8/8/8/1N6/8/1N3N1K w - - 0 1", "b1", "d2", "Nb1d2"},
        {"4k3/8/8/8/8/1N6/8/1N3N1K w - - 0 1", "f1", "d2", "Nf1d2"},
        {"4k3/8/8/8/8/1N6/8/1N3N1K w - - 0 1", "b3", "d4", "Nd4"},
        {"4k3/8/8/8/8/1R6/8/R1R4K w - - 0 1", "a1", "b1", "Ra1b1"},  // was Raab1
        {"4k3/8/8/8/8/1R6/8/R1R4K w - - 0 1", "b3", "b1", "Rb3b1"},  // was Rbbb1
        {"7k/8/8/8/8/8/8/R1R1R2K w - - 0 1", "c1", "b1", "Rcb1"},
        {"4k3/8/8/8/R7/8/8/R1R4K w - - 0 1", "a1", "b1", "Rab1"},
        {"4k3/8/8/8/R7/8/8/R1R4K w - - 0 1", "a1", "a3", "R1a3"},
    };
    for (const Case& c : cases) {
        setUpFen(c.fen);
        generateLegalCandidates();
        Move move = 0;
        for (std::uint32_t i = firstMove[0]; i < firstMove[1]; ++i)
            if (moveFrom(moveStack[i].move) == sq(c.from) && moveTo(moveStack[i].move) == sq(c.to))
                move = moveStack[i].move;
        ASSERT_NE(move, 0u) << c.fen << " " << c.from << c.to;
        EXPECT_STREQ(moveToSan(move), c.san) << c.fen;
        EXPECT_EQ(parsed(c.san), move) << c.fen;
    }
}

// Texts written by the earlier rule (one character per other candidate,
// repeated files and ranks, the rank first) are still read.
TEST(Notation, SanReaderTakesRepeatedDisambiguation) {
    setUpFen("4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1");
    EXPECT_EQ(parsed("Q1ab2"), makeMoveWord(sq("a1"), sq("b2"), 0));
    EXPECT_EQ(parsed("Qccb2"), makeMoveWord(sq("c1"), sq("b2"), 0));
    EXPECT_EQ(parsed("Q3ab2"), makeMoveWord(sq("a3"), sq("b2"), 0));
    EXPECT_EQ(parsed("Qc1b2"), makeMoveWord(sq("c1"), sq("b2"), 0));
    setUpFen("4k3/8/8/8/8/Q7/1n6/Q1QK4 w - - 0 1");
    EXPECT_EQ(parsed("Q1axb2"), makeMoveWord(sq("a1"), sq("b2"), GEN_CAPTURE));
    EXPECT_EQ(parsed("Q1axb2+"), makeMoveWord(sq("a1"), sq("b2"), GEN_CAPTURE));
    setUpFen("4k3/8/8/8/8/Q7/Q7/Q6K w - - 0 1");
    EXPECT_EQ(parsed("Q11b2"), makeMoveWord(sq("a1"), sq("b2"), 0));
    EXPECT_EQ(parsed("Q33b2"), makeMoveWord(sq("a3"), sq("b2"), 0));
    // Four queens around b2 gave three characters.
    setUpFen("4k3/8/8/8/8/Q1Q5/8/Q1Q4K w - - 0 1");
    EXPECT_EQ(parsed("Q1a1b2"), makeMoveWord(sq("a1"), sq("b2"), 0));
    EXPECT_EQ(parsed("Qa1ab2"), makeMoveWord(sq("a1"), sq("b2"), 0));
    EXPECT_EQ(parsed("Q3ccb2"), makeMoveWord(sq("c3"), sq("b2"), 0));

    Move m;
    EXPECT_FALSE(parseSan("Qabb2", &m));  // two files
    EXPECT_FALSE(parseSan("Q13b2", &m));  // two ranks
    EXPECT_FALSE(parseSan("QQb2", &m));
    EXPECT_FALSE(parseSan("Qa1a3b2", &m));
}

// The legal moves a strict SAN reader finds for a text: piece letter, then
// at most a from-file and a from-rank in that order, x exactly on captures,
// the destination, the promotion.
std::vector<Move> strictSanMatches(const std::string& text, const std::vector<Move>& legal) {
    std::vector<Move> found;
    if (text == "0-0" || text == "0-0-0") {
        for (Move m : legal)
            if ((m & MOVE_CASTLE) && (moveFrom(m) > moveTo(m)) == (text.size() == 5)) found.push_back(m);
        return found;
    }
    static const std::regex san("([NBRQK]?)([a-h]?)([1-8]?)(x?)([a-h][1-8])(=[NBRQ])?");
    std::smatch             part;
    if (!std::regex_match(text, part, san)) return found;
    const int type = part[1].length() ? int(std::string("PNBRQK").find(part[1].str()[0])) : PAWN;
    for (Move m : legal) {
        const int from = moveFrom(m);
        if (codeType(board[from]) != type || (m & MOVE_CASTLE)) continue;
        if (moveTo(m) != sq(part[5].str().c_str())) continue;
        if (part[2].length() && 'a' + fileOf(from) != part[2].str()[0]) continue;
        if (part[3].length() && '8' - rowOf(from) != part[3].str()[0]) continue;
        if (part[4].length() != ((m & MOVE_CAPTURE) ? 1u : 0u)) continue;
        const int promotion = part[6].length() ? int(std::string("PNBRQK").find(part[6].str()[1])) : 0;
        if (movePromotion(m) != promotion) continue;
        found.push_back(m);
    }
    return found;
}

std::vector<Move> legalMoves() {
    generateLegalCandidates();
    std::vector<Move> legal;
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i)
        if (makeMove(moveStack[i].move)) {
            unmakeMove();
            legal.push_back(moveStack[i].move);
        }
    return legal;
}

// Every text written for every legal move names that move and no other for
// a strict SAN reader, and the engine's own reader gives the word back:
// over real game positions and positions crowded with men of one kind.
TEST(Notation, EverySanTextIsStrictAndReadsBack) {
    std::vector<std::string> positions = realGamePositions(SANITIZED ? 60 : 300, 5);
    for (const std::string& fen : crowdedPositions(SANITIZED ? 300 : 2000, 6)) positions.push_back(fen);
    int checked = 0, twoCandidates = 0;
    for (const std::string& fen : positions) {
        setUpFen(fen);
        const std::vector<Move> legal = legalMoves();
        for (const Move move : legal) {
            const std::string san = moveToSan(move);
            const auto        matches = strictSanMatches(san, legal);
            ASSERT_EQ(matches.size(), 1u) << fen << " " << san;
            EXPECT_EQ(matches[0], move) << fen << " " << san;
            Move back = 0;
            ASSERT_TRUE(parseSan(san.c_str(), &back)) << fen << " " << san;
            EXPECT_EQ(back, move) << fen << " " << san;
            twoCandidates += san.size() >= 5 && san[0] >= 'B' && san[0] <= 'R' && std::isdigit(san[2]);
            ++checked;
        }
    }
    EXPECT_GT(checked, SANITIZED ? 5000 : 40000);
    EXPECT_GT(twoCandidates, SANITIZED ? 50 : 300);  // texts with a whole from-square
}

// The same texts through an independent reader, the shared xbchess rules
// module, which follows the usual SAN grammar and refuses ambiguous texts.
TEST(Notation, IndependentReaderAcceptsEveryText) {
    if (std::system("python3 -c '' > /dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
    std::vector<std::string> positions = crowdedPositions(SANITIZED ? 100 : 400, 7);
    for (const std::string& fen : realGamePositions(SANITIZED ? 20 : 100, 8)) positions.push_back(fen);
    const std::string stem   = ::testing::TempDir() + "brix_san_" + std::to_string(getpid());
    const std::string lines  = stem + "_lines.txt";
    const std::string report = stem + "_report.txt";
    int               written = 0;
    {
        std::ofstream out(lines);
        for (const std::string& fen : positions) {
            setUpFen(fen);
            for (const Move move : legalMoves()) {
                out << fen << '\t' << moveToSan(move) << '\t' << moveToCoord(move) << '\n';
                ++written;
            }
        }
    }
    // The checker script sits beside this file.
    const std::string here    = __FILE__;
    const std::string script  = here.substr(0, here.find_last_of('/') + 1) + "san_check.py";
    const std::string command = "python3 " + script + " " + sharedPath("tools") + " " + lines + " > " + report + " 2>&1";
    const int         status  = std::system(command.c_str());
    std::ifstream     in(report);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(lines.c_str());
    std::remove(report.c_str());
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("checked " + std::to_string(written) + " failed 0"), std::string::npos) << text;
}

TEST(Notation, RealGameScoresReplay) {
    const auto games  = readPgnGames(sharedPath("data/games/masters-wch.pgn"), SANITIZED ? 300 : 2000);
    int        failed = 0;
    for (const auto& game : games) {
        setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        for (std::size_t i = 0; i < game.size() && i < 700; ++i)
            if (!playSan(game[i])) {
                ++failed;
                ADD_FAILURE() << "game of " << game.size() << " plies stops at ply " << i << ": " << game[i];
                break;
            }
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(games.size(), 250u);
}

}  // namespace
