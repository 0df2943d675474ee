// Scripted protocol sessions with the real engine binary on pipes.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <regex>
#include <string>
#include <vector>
#include "tests/driver/engine_process.h"

namespace {

void handshake(EngineProcess& e) {
    e.send("xboard");
    e.send("protover 2");
    e.expect("^feature done=1$");
    e.expect("^done=1$");
}

// The eight board lines after "board", as one string.
std::string readBoard(EngineProcess& e) {
    e.send("board");
    std::string all;
    for (int i = 0; i < 8; ++i) all += e.expect("^([.PNBRQKpnbrqk] ){7}[.PNBRQKpnbrqk]$") + "\n";
    return all;
}

TEST(Session, HandshakeFeaturesAndPing) {
    EngineProcess e;
    e.send("xboard");
    e.send("protover 2");
    e.expect("^feature ping=1 setboard=1 san=0 time=1 draw=0$");
    e.expect("^feature sigint=0 sigterm=0 reuse=1 analyze=1$");
    e.expect("^feature myname=\"Brix 1.0\" name=1$");
    e.expect("^feature playother=1 colors=0$");
    e.expect("^feature variants=\"normal\"$");
    e.expect("^feature smp=1$");
    e.expect("^feature exclude=1$");
    e.expect("^feature option=\"MultiPV -spin 1 1 256\"$");
    e.expect("^feature option=\"Strength -spin 1800 800 1800\"$");
    e.expect("^feature done=1$");
    e.expect("^done=1$");
    e.send("ping 7");
    e.expect("^pong 7$");
    // Two threads: the move comes from the main thread, once.
    e.send("cores 2");
    e.send("new");
    e.send("st 1");
    e.send("go");
    e.expect("^move [^ ]+$", 4);
    e.send("ping 8");
    e.expect("^pong 8$");
    EXPECT_EQ(std::count_if(e.transcript().begin(), e.transcript().end(),
                            [](const std::string& line) { return line.rfind("move ", 0) == 0; }),
              1);
    e.send("level 40 5");
    e.expect("^ERROR \\(wrong number of parameters\\): level <nmoves> <min> <inc>$");
    e.send("quit");
    EXPECT_EQ(e.waitExit(3), 0);
}

TEST(Session, GamesEndWithTheRightResultLines) {
    EngineProcess e;
    handshake(e);
    // The engine mates in one.
    e.send("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("st 1");
    e.send("go");
    e.expect("^move Rd8\\+$");
    e.expect("^1-0 \\{Computer wins\\}$");
    // The user mates the engine, which took black after the user's move.
    e.send("new");
    e.send("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("d1d8");
    e.expect("^1-0 \\{You win\\}$");
    // The engine as white is mated: 0-1 {You win}.
    e.send("new");
    e.send("force");
    e.send("setboard 3r2k1/8/8/8/8/8/5PPP/6K1 b - - 0 1");
    e.send("playother");  // the engine takes white, the side not to move
    e.send("d8d1");
    e.expect("^0-1 \\{You win\\}$");
    // Stalemate and insufficient material are announced; K+B v K+N is not.
    e.send("new");
    e.send("setboard 7k/5Q2/8/6K1/8/8/8/8 w - - 0 1");
    e.send("force");
    e.send("g5g6");
    e.expect("^1/2-1/2 \\{Stalemate\\}$");
    e.send("setboard 8/8/4k3/8/3n4/8/3BK3/8 w - - 0 1");
    e.send("d2f4");
    e.send("ping 1");
    EXPECT_FALSE(e.sees("Insufficient", 0.5));
    e.send("setboard 8/8/4k3/8/8/3r4/3BK3/8 w - - 0 1");
    e.send("e2d3");
    e.expect("^1/2-1/2 \\{Insufficient material\\}$");
}

TEST(Session, IllegalMovesPromotionsUndoAndRemove) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("force");
    e.send("e2e5");
    e.expect("^Illegal move: e2e5$");
    e.send("zz");
    e.send("ping 2");
    e.expect("^pong 2$");
    // A pinned knight: the rejection names the move in SAN.
    e.send("setboard 4k3/8/8/8/1b6/8/3N4/4K3 w - - 0 1");
    e.send("d2e4");
    e.expect("^Illegal move: Ne4$");
    // Promotions with and without a letter.
    e.send("setboard 8/4P3/8/8/8/8/k7/4K3 w - - 0 1");
    e.send("e7e8n");
    EXPECT_NE(readBoard(e).find("N"), std::string::npos);
    e.send("undo");
    e.send("e7e8");
    EXPECT_EQ(readBoard(e).substr(0, 16), ". . . . Q . . .\n");
    // remove takes back two plies.
    e.send("new");
    e.send("force");
    e.send("e2e4");
    e.send("e7e5");
    e.send("remove");
    EXPECT_EQ(readBoard(e), "r n b q k b n r\np p p p p p p p\n. . . . . . . .\n. . . . . . . .\n"
                            ". . . . . . . .\n. . . . . . . .\nP P P P P P P P\nR N B Q K B N R\n");
    // An impossible setboard keeps the previous position.
    e.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1");
    e.expect("^tellusererror Illegal position$");
    EXPECT_EQ(readBoard(e).substr(0, 16), "r n b q k b n r\n");
}

TEST(Session, AnalysisStatusHintAndExit) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("analyze");
    e.expect("^ 3 ");
    e.send(".");
    e.expect("^stat01: \\d+ \\d+ \\d+ \\d+ 20 [a-h][1-8][a-h][1-8]$");
    e.send("hint");
    e.expect("^Hint: [a-h][1-8][a-h][1-8]$");
    e.send("e2e4");  // analysis moves on with the new position
    e.expect("^ 3 ");
    // Only the moves left in are analysed, until the next position.
    e.send("exclude all");
    e.send("include h7h5");
    e.expect("^ 3 +-?[0-9]+ +[0-9]+ +[0-9]+ +h5 ");
    e.send("include all");
    e.send("exclude d7d5");  // the best move here
    e.send("option MultiPV=2");
    // The first depth of 5 or more shown twice comes from the two-line
    // search, the last one started; neither of its lines begins with d5.
    std::string previous, line;
    for (int n = 0; n < 200; ++n) {
        line = e.expect("^ *[0-9]+ ", 10);
        const int depth = std::atoi(line.c_str());
        if (depth >= 5 && depth == std::atoi(previous.c_str())) break;
        previous = line;
    }
    EXPECT_EQ(std::atoi(line.c_str()), std::atoi(previous.c_str()));
    EXPECT_EQ(line.find("  d5"), std::string::npos) << line;
    EXPECT_EQ(previous.find("  d5"), std::string::npos) << previous;
    e.send("option MultiPV=1");
    e.send("exit");
    e.send("ping 3");
    e.expect("^pong 3$");
    // exit outside analysis keeps the time settings: the engine still moves.
    e.send("new");
    e.send("st 1");
    e.send("exit");
    e.send("go");
    e.expect("^move ", 5);
}

// Whether a fresh search (its depth-1 line) started among the lines from
// index `from` on.
bool freshSearchSince(const EngineProcess& e, std::size_t from) {
    for (std::size_t i = from; i < e.transcript().size(); ++i)
        if (e.transcript()[i].rfind(" 1 ", 0) == 0) return true;
    return false;
}

TEST(Session, PonderHitMissAndMoveNow) {
    for (const bool hit : {true, false}) {
        EngineProcess e;
        handshake(e);
        e.send("new");
        e.send("hard");
        e.send("st 1");
        e.send("go");
        e.expect("^move ", 5);
        // hint names the predicted reply only while pondering on it.
        e.send("hint");
        const std::string hint = e.expect("^Hint: ", 3);
        ASSERT_FALSE(hint.empty());
        const std::string predicted = hint.substr(6);
        const std::size_t mark      = e.transcript().size();
        e.send(hit ? predicted : predicted == "a7a6" ? "h7h6" : "a7a6");
        e.expect("^move ", 5);
        // A hit goes on with the ponder search; a miss starts a new one.
        EXPECT_EQ(freshSearchSince(e, mark), !hit) << predicted;
    }
    // ? makes the engine move at once from a long search.
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("st 60");
    e.send("go");
    e.expect("^ 4 ", 10);
    const auto start = std::chrono::steady_clock::now();
    e.send("?");
    e.expect("^move ", 5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(Session, TimeControlsWithSecondsAndIncrements) {
    EngineProcess e;
    handshake(e);
    for (const char* level : {"level 40 0:30 0", "level 0 0:10 0.1"}) {
        e.send("new");
        e.send(level);
        e.send("time 3000");
        e.send("otim 3000");
        const auto start = std::chrono::steady_clock::now();
        e.send("go");
        e.expect("^move ", 5);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << level;
    }
}

TEST(Session, EndOfInputAndGarbage) {
    EngineProcess e;
    handshake(e);
    e.send(std::string(5000, 'x'));
    e.send("\x01\x02\xff\xfe garbage words and more words than five");
    e.send("setboard " + std::string(300, '8'));
    e.send("level 1 2 3 4 5 6");
    e.send("time -5");
    e.send("sd 999");
    e.send("usermove");
    e.send("ping 5");
    e.expect("^pong 5$");
    e.send("new");
    e.send("force");
    e.send("e2e4");
    EXPECT_EQ(readBoard(e).substr(64, 16), ". . . . P . . .\n");
    e.closeInput();
    EXPECT_EQ(e.waitExit(3), 0);
}

TEST(Session, ConfigurationBannerAndNameDigit) {
    char scratch[] = "/tmp/brix-config-XXXXXX";
    const std::string dir = mkdtemp(scratch);
    {
        std::FILE* f = std::fopen((dir + "/brix.cfg").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("TT_SIZE 48\nRESIGN=1\nEGTB_CACHE_SIZE = 4\nPONDER = 1\nunknown 5\n", f);
        std::fclose(f);
    }
    {
        // The digit comes from the file name, not from the directories.
        EngineProcess e(dir, {}, "/opt/brix9/bin/brix2");
        e.send("protover 2");  // the banner is not flushed by itself
        e.expect("^Brix 1.02$");
        e.expect("^    Transposition Table: 112 KB$");
        e.expect("^    Pawn Hash          : 128 KB$");
        e.expect("^    Endgame Tablebase  : 0 KB$");
        e.expect("^EGTB Status: Not found$");
        e.expect("^feature myname=\"Brix 1.02\" name=1$");
        // PONDER = 1 switched pondering on: hint answers while it ponders.
        e.send("new");
        e.send("st 1");
        e.send("go");
        e.expect("^move ", 5);
        e.send("hint");
        e.expect("^Hint: ", 3);
    }
    std::system(("rm -rf " + dir).c_str());
}

TEST(Session, EndOfInputStopsAnEndlessAnalysis) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("analyze");
    e.expect("^ 4 ", 10);
    e.closeInput();
    EXPECT_EQ(e.waitExit(5), 0);
}

// Knights back and forth with one pawn move each near the end, so the last
// position before the history limit is still searchable (fifty-move count).
std::vector<std::string> longForceGame(int plies) {
    static const char* dance[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<std::string> moves;
    for (int i = 0; i < 700; ++i) moves.push_back(dance[i % 4]);
    moves.push_back("e2e4");
    moves.push_back("e7e5");
    while (int(moves.size()) < plies) moves.push_back(dance[(moves.size() - 702) % 4]);
    return moves;
}

// Past the last ply the game can hold (736), moves are refused and the
// position stays whole, whether they come in force mode or in analysis.
TEST(Session, MovesStopAtTheEndOfTheGameHistory) {
    const std::string atLimit = "r n b q k b . r\np p p p . p p p\n. . . . . n . .\n. . . . p . . .\n"
                                ". . . . P . . .\n. . . . . N . .\nP P P P . P P P\nR N B Q K B . R\n";
    const std::vector<std::string> moves = longForceGame(820);
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("force");
    for (const std::string& m : moves) e.send(m);
    e.expect("^ERROR \\(maximum number of moves reached\\): main$", 20);
    e.send("ping 1");
    e.expect("^pong 1$", 20);
    EXPECT_EQ(readBoard(e), atLimit);
    // One ply back, analysis searches from the last playable ply; the move
    // made there reaches the limit (a repetition), and the next is refused.
    e.send("undo");
    e.send("analyze");
    e.expect("^ 3 ", 20);
    e.send(moves[735]);
    e.expect("^1/2-1/2 \\{Draw by repetition\\}$", 10);
    e.send(moves[736]);
    e.expect("^ERROR \\(maximum number of moves reached\\): main$", 10);
    e.send("exit");
    EXPECT_EQ(readBoard(e), atLimit);
    // The game is still in good order: undo and a new game work.
    e.send("undo");
    EXPECT_EQ(readBoard(e).substr(0, 16), "r n b q k b n r\n");
    e.send("new");
    e.send("e2e4");
    e.expect("^move ", 10);
    e.send("quit");
    EXPECT_EQ(e.waitExit(10), 0);
}

// With the engine on move at the last playable ply, its move reaches the
// limit and it does not ponder: that search would start past it.
TEST(Session, NoPonderingPastTheLastPly) {
    static const char* dance[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    // New pawn moves at the end: no repetition, so the game is still on.
    static const char* pawns[15] = {"a2a3", "a7a6", "b2b3", "b7b6", "c2c3", "c7c6", "d2d3", "d7d6",
                                    "h2h3", "h7h6", "g2g3", "g7g6", "a3a4", "a6a5", "b3b4"};
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("force");
    for (int i = 0; i < 720; ++i) e.send(dance[i % 4]);
    for (const char* m : pawns) e.send(m);
    e.send("undo");  // the dance's repetitions ended the game; this clears it
    e.send(pawns[14]);
    e.send("hard");
    e.send("st 1");
    e.send("go");
    e.expect("^move ", 20);
    e.send("hint");
    e.send("ping 3");
    e.expect("^pong 3$", 10);
    for (const std::string& line : e.transcript()) EXPECT_EQ(line.rfind("Hint:", 0), std::string::npos) << line;
}

TEST(Session, EndOfInputLetsATimedMoveFinish) {
    for (const bool ponder : {false, true}) {
        EngineProcess e;
        handshake(e);
        e.send("new");
        if (ponder) e.send("hard");
        e.send("st 1");
        e.send("go");
        e.closeInput();
        e.expect("^move ", 5);
        // A ponder search that follows has no end of its own: it stops.
        EXPECT_EQ(e.waitExit(3), 0) << "ponder " << ponder;
    }
}

TEST(Session, RefusedSetboardStillEndsTheOldGame) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("st 1");
    // A mate in one: the analysis ends by itself and the loop waits.
    e.send("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("analyze");
    e.expect("^ 3  9999 ", 10);
    e.send("exit");
    e.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1");
    e.expect("^tellusererror Illegal position$");
    EXPECT_FALSE(e.sees("^move ", 2.5));
    e.send("ping 2");
    e.expect("^pong 2$");
    EXPECT_EQ(readBoard(e).substr(112, 16), ". . . R . . K .\n");
    // Nor does exit leave the engine a side: in force mode the user's moves
    // bring white back on move, and the engine must not answer.
    e.send("force");
    e.send("analyze");
    e.expect("^ 3  9999 ", 10);
    e.send("exit");
    e.send("d1d2");
    e.send("g8h8");
    EXPECT_FALSE(e.sees("^move ", 2.5));
}

TEST(Session, TimeSettingsSurviveRepeatedAnalyzeAndAnySd) {
    {
        EngineProcess e;
        handshake(e);
        e.send("new");
        e.send("st 1");
        e.send("analyze");
        e.send("analyze");
        e.send("exit");
        e.send("go");
        e.expect("^move ", 5);
    }
    // sd reads an 8-bit depth: -3 is 253, capped at 56; 0 and 256 still
    // leave a depth the engine can play with.
    for (const char* sd : {"sd 0", "sd 256", "sd -3"}) {
        EngineProcess e;
        handshake(e);
        e.send("new");
        e.send(sd);
        e.send("go");
        if (std::string(sd) == "sd -3") {
            e.expect("^ 4 ", 10);  // a deep search: ask for the move
            e.send("?");
        }
        EXPECT_NE(e.expect("^move ", 10), "") << sd;
    }
}

TEST(Session, PingDuringTheEnginesSearchIsAnsweredAfterItsMove) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("st 2");
    e.send("go");
    e.expect("^ 4 ", 10);
    e.send("ping 9");
    const std::size_t from = e.transcript().size();
    e.expect("^pong 9$", 10);
    bool moved = false;
    for (std::size_t i = from; i < e.transcript().size(); ++i) moved = moved || e.transcript()[i].rfind("move ", 0) == 0;
    EXPECT_TRUE(moved) << "pong came before the move";
}

constexpr const char* START_BOARD = "r n b q k b n r\np p p p p p p p\n. . . . . . . .\n. . . . . . . .\n"
                                    ". . . . . . . .\n. . . . . . . .\nP P P P P P P P\nR N B Q K B N R\n";

TEST(Session, OnlySquareWordsAreMoves) {
    EngineProcess e;
    handshake(e);
    e.send("new");
    e.send("force");
    // By wrap-around "eret" would map onto e2e4 and "random" onto a move too.
    for (const char* word : {"eret", "random", "accepted", "e2e4x", "e2e4qq", "E2E4"}) e.send(word);
    EXPECT_EQ(readBoard(e), START_BOARD);
    e.send("e2e4");
    EXPECT_EQ(readBoard(e).substr(64, 16), ". . . . P . . .\n");
}

TEST(Session, HugeClockFiguresAreClamped) {
    EngineProcess e;
    handshake(e);
    for (const char* line : {"level 40 9999999999999999 0", "level 0 -9999999999999999:-9999999999999999 0",
                             "level 1 99999999999999999999:99999999999999999999 99999999999999999999",
                             "time 99999999999999999999", "otim -99999999999999999999", "st 1e300"})
        e.send(line);
    e.send("ping 4");
    e.expect("^pong 4$");
    // The engine still plays under a sane control afterwards.
    e.send("new");
    e.send("st 1");
    e.send("go");
    e.expect("^move ", 5);
}

TEST(Session, UnusableTableSizesMeanTheDefault) {
    for (const char* size : {"-1", "abc", "99999999999999999999", "18446744073709551615", "47"}) {
        char              scratch[] = "/tmp/brix-ttsize-XXXXXX";
        const std::string dir       = mkdtemp(scratch);
        std::FILE*        f         = std::fopen((dir + "/brix.cfg").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "TT_SIZE %s\n", size);
        std::fclose(f);
        {
            EngineProcess e(dir);
            e.send("protover 2");
            e.expect(std::string("^brix.cfg: TT_SIZE ") + size + " is not a table size in KB; using 3100$");
            e.expect("^    Transposition Table: 3136 KB$");
        }
        std::system(("rm -rf " + dir).c_str());
    }
}

// A FEN with one malformed field after a sound board is refused whole in
// both protocols, as a bad board is, and the position before it stays.
// Fields left out, rights whose king or rook is away and an en-passant
// square no pawn has passed are no faults.
TEST(Session, FensWithAMalformedFieldAreRefusedInBothProtocols) {
    const std::string board = "6k1/5ppp/8/8/8/8/5PPP/3R2K1";
    const char* const bad[] = {
        " x KQkq - 0 1",  " wb - - 0 1",                                  // side
        " w KQkqZ - 0 1", " w KK - 0 1",  " w K- - 0 1",                  // castling
        " w - e9 0 1",    " w - i3 0 1",  " w - e 0 1",   " w - e3e4 0 1",  // en passant
        " w - - abc 1",   " w - - 0 abc", " w - - -3 1",  " w - - 0 1.5",   // clocks
        " w - - 0 1 0",   "x w - - 0 1",                                  // text after the clocks or the board
    };
    EngineProcess xb;
    handshake(xb);
    xb.send("new");
    xb.send("force");
    const std::string start = readBoard(xb);
    for (const char* fields : bad) {
        xb.send("setboard " + board + fields);
        xb.send("ping 1");
        EXPECT_EQ(xb.expect("^(tellusererror|pong)"), "tellusererror Illegal position") << fields;
        xb.expect("^pong 1$");
    }
    EXPECT_EQ(readBoard(xb), start);

    // Black is to move before the bad FENs, still after them, and by its
    // side field after each good one.
    EngineProcess uci;
    uci.send("uci");
    uci.send("position startpos moves e2e4");
    for (const char* fields : bad) {
        uci.send("position fen " + board + fields);
        uci.send("isready");
        EXPECT_EQ(uci.expect("^(info string|readyok)").rfind("info string illegal FEN ", 0), 0u) << fields;
        uci.expect("^readyok$");
    }
    uci.send("go depth 1");
    EXPECT_TRUE(std::regex_search(uci.expect("^bestmove"), std::regex("^bestmove [a-h][78]")));
    for (const char* fields : {" b", " b - -", " b KQkq e3 12 40", " b - - 0"}) {
        uci.send("position fen " + board + fields);
        uci.send("go depth 1");
        const std::string answer = uci.expect("^(info string|bestmove)");
        EXPECT_TRUE(std::regex_search(answer, std::regex("^bestmove [a-h][78]"))) << fields << ": " << answer;
    }
}

}  // namespace
