// Scripted UCI sessions with the real engine binary on pipes.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <regex>
#include <string>
#include "tests/driver/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const INFO_LINE =
    "^info depth [0-9]+ seldepth [0-9]+( multipv [0-9]+)? score (cp -?[0-9]+|mate -?[0-9]+) nodes [0-9]+ nps [0-9]+ "
    "hashfull [0-9]+ time [0-9]+ pv( [a-h][1-8][a-h][1-8][qrbn]?)+$";
const char* const BEST_MOVE = "^bestmove ([a-h][1-8][a-h][1-8][qrbn]?( ponder [a-h][1-8][a-h][1-8][qrbn]?)?|0000)$";

void handshake(EngineProcess& e) {
    e.send("uci");
    e.expect("^uciok$");
}

// Lines from index `from` on that match the pattern.
int countSince(const EngineProcess& e, std::size_t from, const std::string& pattern) {
    const std::regex re(pattern);
    int              n = 0;
    for (std::size_t i = from; i < e.transcript().size(); ++i) n += std::regex_search(e.transcript()[i], re);
    return n;
}

// Waits for the bestmove of the go just sent and checks that no second one
// follows it.
std::string bestMove(EngineProcess& e, double seconds = 10) {
    const std::string line = e.expect(BEST_MOVE, seconds);
    const std::size_t mark = e.transcript().size();
    e.send("isready");
    e.expect("^readyok$");
    EXPECT_EQ(countSince(e, mark, "^bestmove"), 0);
    return line;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TEST(UciSession, HandshakeOptionsAndDetection) {
    {
        EngineProcess e;
        e.send("uci");
        e.expect("^id name Brix 1.0$");
        e.expect("^id author .+");
        e.expect("^option name Hash type spin default [0-9]+ min 1 max [0-9]+$");
        e.expect("^option name Clear Hash type button$");
        e.expect("^option name Ponder type check default false$");
        e.expect("^option name OwnBook type check default true$");
        e.expect("^option name BookFile type string default BrixBook.bin$");
        e.expect("^option name BookLearning type check default false$");
        e.expect("^option name EGTBPath type string default .+$");
        e.expect("^option name EGTBCacheSize type spin default [0-9]+ min 1 max [0-9]+$");
        e.expect("^uciok$");
        // Unknown commands and a stop with nothing to stop say nothing.
        const std::size_t mark = e.transcript().size();
        e.send("xyzzy 1 2");
        e.send("stop");
        e.send("ponderhit");
        e.send("isready");
        e.expect("^readyok$");
        EXPECT_EQ(e.transcript().size(), mark + 1);
        // Options take effect: the table is resized, switches read back.
        e.send("setoption name Hash value 16");
        e.send("setoption name Clear Hash");
        e.send("setoption name Ponder value true");
        e.send("setoption name BookLearning value true");
        e.send("setoption name OwnBook value false");
        e.send("setoption name BookFile value other.bin");
        e.send("setoption name EGTBCacheSize value 8");
        e.send("uci");
        e.expect("^option name Hash type spin default (12|16) ");
        e.expect("^option name Ponder type check default true$");
        e.expect("^option name OwnBook type check default false$");
        e.expect("^option name BookFile type string default other.bin$");
        e.expect("^option name BookLearning type check default true$");
        e.expect("^option name EGTBCacheSize type spin default 8 ");
        e.expect("^uciok$");
        e.send("quit");
        EXPECT_EQ(e.waitExit(3), 0);
    }
    {
        // Only the first line chooses: after xboard, uci is no command.
        EngineProcess e;
        e.send("xboard");
        e.send("uci");
        e.send("protover 2");
        e.expect("^feature done=1$");
        e.send("quit");
        EXPECT_EQ(e.waitExit(3), 0);
        EXPECT_EQ(countSince(e, 0, "uciok|^id name"), 0);
    }
    {
        // brix.cfg still sets the defaults the options announce.
        char              scratch[] = "/tmp/brix-uci-XXXXXX";
        const std::string dir       = mkdtemp(scratch);
        std::FILE*        f         = std::fopen((dir + "/brix.cfg").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("PONDER 1\nLEARN 1\nTT_SIZE 8192\nEGTB_CACHE_SIZE 12\n", f);
        std::fclose(f);
        {
            EngineProcess e(dir);
            e.send("uci");
            e.expect("^option name Hash type spin default 6 ");
            e.expect("^option name Ponder type check default true$");
            e.expect("^option name BookLearning type check default true$");
            e.expect("^option name EGTBCacheSize type spin default 4 ");
            e.expect("^uciok$");
        }
        std::system(("rm -rf " + dir).c_str());
    }
}

TEST(UciSession, PositionsWithCastlingEnPassantAndPromotion) {
    EngineProcess e;
    handshake(e);
    // Each last move is legal only if the special move before it was made
    // in full: the rook went to f1, the passed pawn left d5, the pawn became
    // a knight.
    e.send("position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1 f8c5 f1e1");
    e.send("go depth 2");
    EXPECT_NE(bestMove(e), "");
    e.send("position fen 4k3/8/8/R2pP3/8/8/8/4K3 w - d6 0 1 moves e5d6 e8f7 a5h5");
    e.send("go depth 2");
    EXPECT_NE(bestMove(e), "");
    e.send("position fen 8/P6k/8/8/8/8/8/K7 w - - 0 1 moves a7a8n h7g6 a8b6");
    e.send("go depth 2");
    EXPECT_NE(bestMove(e), "");
    e.send("position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 e1g1 g8f6 d2d3 e8g8");
    e.send("go depth 2");
    EXPECT_NE(bestMove(e), "");
    e.send("position fen 8/P6k/8/8/8/8/8/K7 w - - 0 1 moves a7a8q h7g6 a8h1");
    e.send("go depth 2");
    EXPECT_NE(bestMove(e), "");
    EXPECT_EQ(countSince(e, 0, "^info string"), 0);
}

TEST(UciSession, BadFensAndIllegalMovesLeaveASoundPosition) {
    EngineProcess e;
    handshake(e);
    // An illegal move: the moves before it stand, the rest are dropped.
    e.send("position startpos moves e2e4 e7e5 e7e5 d2d4");
    e.expect("^info string illegal move e7e5");
    e.send("go depth 3");
    std::string best = bestMove(e);
    EXPECT_TRUE(std::regex_search(best, std::regex("^bestmove [a-h][12]"))) << best;  // white to move
    // Promotions need their letter; other moves must have none.
    e.send("position fen 8/P6k/8/8/8/8/8/K7 w - - 0 1 moves a7a8");
    e.expect("^info string illegal move a7a8");
    e.send("position startpos moves e2e4q");
    e.expect("^info string illegal move e2e4q");
    e.send("position startpos moves e2e4 e7e6");
    // A bad FEN changes nothing: white still moves after 1. e4 e6.
    for (const char* fen : {"position fen 8/8/8/8/8/8/8/8 w - - 0 1", "position fen rnbqkbnr/pppppppp w",
                            "position fen", "position", "position somewhere"}) {
        e.send(fen);
        e.expect("^info string ");
    }
    e.send("go depth 3");
    best = bestMove(e);
    EXPECT_TRUE(std::regex_search(best, std::regex("^bestmove [a-h][12]"))) << best;
    // A mated side has no move to name.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1 moves d1d8");
    e.send("go depth 3");
    EXPECT_EQ(bestMove(e), "bestmove 0000");
    // The longest line a game can need is read whole.
    std::string moves;
    for (int i = 0; i < 150; ++i) moves += i % 4 < 2 ? (i % 2 ? " g8f6" : " g1f3") : (i % 2 ? " f6g8" : " f3g1");
    // Cut anywhere, it would end in a broken move word, which is reported.
    const std::size_t mark = e.transcript().size();
    e.send("position startpos moves" + moves + " e2e4");
    e.send("go depth 1");
    bestMove(e);
    EXPECT_EQ(countSince(e, mark, "^info string"), 0);
}

TEST(UciSession, GoDepthNodesMateAndMovetime) {
    EngineProcess e;
    handshake(e);
    e.send("position startpos moves e2e4");
    e.send("go depth 4");
    e.expect("^bestmove ", 10);
    EXPECT_GE(countSince(e, 0, INFO_LINE), 4);
    EXPECT_EQ(countSince(e, 0, "^info depth 5 "), 0);
    EXPECT_EQ(countSince(e, 0, "^info depth [0-9]+ ") , countSince(e, 0, INFO_LINE));
    // Mate scores are given in moves.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("go mate 1");
    e.expect("^info depth [0-9]+ seldepth [0-9]+ score mate 1 .* pv d1d8$");
    EXPECT_EQ(bestMove(e), "bestmove d1d8");
    e.send("position fen k7/8/1K6/8/8/8/8/7R b - - 0 1");
    e.send("go depth 3");
    e.expect("^info depth [0-9]+ seldepth [0-9]+ score mate -1 .* pv a8b8 h1h8$");
    bestMove(e);
    // A node limit ends the search at the next poll.
    e.send("position startpos");
    auto start = Clock::now();
    e.send("go nodes 70000");
    e.expect(BEST_MOVE, 10);
    EXPECT_LT(secondsSince(start), 5);
    // A fixed time a move is kept to, and used.
    start = Clock::now();
    e.send("go movetime 800");
    e.expect(BEST_MOVE, 5);
    const double used = secondsSince(start);
    EXPECT_GT(used, 0.3);
    EXPECT_LT(used, 1.6);
}

TEST(UciSession, ClocksGiveTimelyMoves) {
    EngineProcess e;
    handshake(e);
    e.send("ucinewgame");
    e.send("position startpos moves d2d4 d7d5 c2c4");
    struct Case {
        const char* go;
        double      limit;  // seconds
    } const cases[] = {
        {"go wtime 60000 btime 60000 winc 1000 binc 1000", 15},
        {"go btime 2000 wtime 2000 binc 100 winc 100", 0.9},
        {"go wtime 100 btime 30 binc 0", 0.6},           // almost flagged, no increment
        {"go wtime 5000 btime 5000 movestogo 1", 4.5},   // the last move of a control
        {"go wtime 10000 btime 10000 movestogo 40", 1.5},
        {"go wtime 10000 btime 10000 movestogo 40 depth 3", 1.5},
    };
    for (const Case& c : cases) {
        const auto start = Clock::now();
        e.send(c.go);
        EXPECT_NE(e.expect(BEST_MOVE, c.limit + 2), "") << c.go;
        EXPECT_LT(secondsSince(start), c.limit) << c.go;
    }
}

TEST(UciSession, InfiniteWaitsForStopAndIsreadyAnswersWhileSearching) {
    EngineProcess e;
    handshake(e);
    e.send("position startpos");
    e.send("go infinite");
    e.expect("^info depth 4 ", 10);
    auto start = Clock::now();
    e.send("isready");
    e.expect("^readyok$", 2);
    EXPECT_LT(secondsSince(start), 1.5);
    // Commands meant for an idle engine are refused while it searches.
    e.send("position startpos moves e2e4");
    e.expect("^info string busy");
    EXPECT_FALSE(e.sees("^bestmove", 1));
    start = Clock::now();
    e.send("stop");
    e.expect(BEST_MOVE, 3);
    EXPECT_LT(secondsSince(start), 1.5);
    // A search that ends by itself (a mate found) still waits for stop.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("go infinite");
    EXPECT_FALSE(e.sees("^bestmove", 1.5));
    e.send("stop");
    EXPECT_EQ(e.expect(BEST_MOVE, 3), "bestmove d1d8");
    EXPECT_FALSE(e.sees("^bestmove", 0.5));
    EXPECT_EQ(countSince(e, 0, "^bestmove"), 2);
}

TEST(UciSession, PonderThenPonderhitOrStop) {
    EngineProcess e;
    handshake(e);
    e.send("setoption name Ponder value true");
    // ponderhit: the search goes on under the clock, then answers.
    e.send("position startpos moves e2e4 e7e5");
    e.send("go ponder wtime 4000 btime 4000 winc 100 binc 100");
    EXPECT_FALSE(e.sees("^bestmove", 1.5));
    auto start = Clock::now();
    e.send("ponderhit");
    e.expect(BEST_MOVE, 3);
    EXPECT_LT(secondsSince(start), 1.5);
    // stop: the answer comes at once.
    e.send("position startpos moves e2e4 e7e5 g1f3 b8c6");
    e.send("go ponder wtime 4000 btime 4000 winc 100 binc 100");
    EXPECT_FALSE(e.sees("^bestmove", 1));
    start = Clock::now();
    e.send("stop");
    e.expect(BEST_MOVE, 3);
    EXPECT_LT(secondsSince(start), 1.0);
    // A ponder search that ends by itself waits for the hit.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("go ponder wtime 4000 btime 4000");
    EXPECT_FALSE(e.sees("^bestmove", 1.5));
    e.send("ponderhit");
    EXPECT_EQ(e.expect(BEST_MOVE, 3), "bestmove d1d8");
    EXPECT_FALSE(e.sees("^bestmove", 0.5));
    EXPECT_EQ(countSince(e, 0, "^bestmove"), 3);
}

// CPU ticks the process has used (user and system), from /proc.
long cpuTicks(int pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return -1;
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    // Fields 14 and 15, counted after the command name's closing parenthesis.
    const char* p = std::strrchr(text, ')');
    if (!p || n == 0) return -1;
    long user = 0, system = 0;
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &user, &system) != 2) return -1;
    return user + system;
}

TEST(UciSession, ThreadsStopTogetherAndAnswerOnce) {
    EngineProcess e;
    handshake(e);
    e.send("setoption name Threads value 3");  // more than this machine's cores
    e.send("setoption name Ponder value true");
    // A mate is found with helpers filling the table.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("go depth 8");
    EXPECT_EQ(bestMove(e), "bestmove d1d8");
    // Every way a search ends gives one move, at once.
    e.send("position startpos moves e2e4");
    auto start = Clock::now();
    e.send("go movetime 300");
    bestMove(e, 2);
    EXPECT_LT(secondsSince(start), 1.0);
    // An endless search answers only after stop, and then at once.
    const auto stoppedAtOnce = [&](const char* go) {
        e.send(go);
        EXPECT_FALSE(e.sees("^bestmove", 0.7));
        const auto stopped = Clock::now();
        e.send("stop");
        bestMove(e, 2);
        EXPECT_LT(secondsSince(stopped), 0.5) << go;
    };
    stoppedAtOnce("go infinite");
    e.send("go ponder wtime 3000 btime 3000");
    EXPECT_FALSE(e.sees("^bestmove", 0.7));
    e.send("ponderhit");
    bestMove(e, 3);
    stoppedAtOnce("go ponder wtime 3000 btime 3000");
    EXPECT_EQ(countSince(e, 0, "^bestmove"), 5);
    // No thread searches on after its answer: the process stays idle.
    const long before = cpuTicks(e.processId());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_LE(cpuTicks(e.processId()) - before, 3);
    e.send("quit");
    EXPECT_EQ(e.waitExit(3), 0);
}

TEST(UciSession, EndOfInput) {
    {
        // An endless search is stopped, answered, and the engine leaves.
        EngineProcess e;
        handshake(e);
        e.send("position startpos");
        e.send("go infinite");
        e.expect("^info depth 3 ", 10);
        e.closeInput();
        e.expect(BEST_MOVE, 3);
        EXPECT_EQ(e.waitExit(3), 0);
    }
    {
        // A limited one finishes first.
        EngineProcess e;
        handshake(e);
        e.send("position startpos");
        e.send("go depth 5");
        e.closeInput();
        e.expect("^info depth 5 ", 10);
        e.expect(BEST_MOVE, 10);
        EXPECT_EQ(e.waitExit(3), 0);
    }
    {
        EngineProcess e;
        handshake(e);
        e.send("position startpos");
        e.send("go ponder wtime 1000 btime 1000");
        e.closeInput();
        e.expect(BEST_MOVE, 3);
        EXPECT_EQ(e.waitExit(3), 0);
    }
}

}  // namespace
