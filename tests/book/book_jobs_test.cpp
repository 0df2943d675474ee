// The book jobs run from the command line as a script runs them: the exit
// status, standard error and the book left behind when a job fails, PGN
// asides, and scoring with standard input at its end.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include "board/setup.h"
#include "book/book.h"
#include "tests/driver/engine_process.h"
#include "tests/test_support.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class BookJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        char scratch[] = "/tmp/brix-bookjob-XXXXXX";
        dir            = mkdtemp(scratch);
        std::ofstream pgn(dir + "/lopez.pgn");
        for (int i = 0; i < 5; ++i)
            pgn << "[Event \"g" << i << "\"]\n[Result \"1-0\"]\n\n1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 1-0\n\n";
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    // Runs the engine with `args` in the directory, input from /dev/null,
    // output to out.txt and err.txt. With `limitBlocks`, files may not grow
    // past that many blocks (ulimit -f) and SIGXFSZ is ignored, so a write
    // beyond the limit fails the way a full disk does. The exit status.
    int runJob(const std::string& args, int limitBlocks = 0) {
        const std::string limit = limitBlocks ? "ulimit -f " + std::to_string(limitBlocks) + "; " : "";
        const std::string command = "cd '" + dir + "' && sh -c \"trap '' XFSZ; " + limit + "exec '" +
                                    BRIX_ENGINE_BINARY + "' " + args + "\" < /dev/null > out.txt 2> err.txt";
        const int status = std::system(command.c_str());
        out              = readAll(dir + "/out.txt");
        err              = readAll(dir + "/err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string book() { return readAll(dir + "/" + BOOK_FILE_NAME); }

    // Files in the directory whose names start with BrixBook.bin and more.
    int strayFiles() {
        int  count = 0;
        DIR* d     = opendir(dir.c_str());
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(std::string(BOOK_FILE_NAME) + ".", 0) == 0) ++count;
        closedir(d);
        return count;
    }

    // The scoring depth of the position after the moves, read back through
    // the engine's own lookup.
    int scoredDepthAfter(const std::vector<std::string>& moves) {
        char previous[4096];
        EXPECT_NE(getcwd(previous, sizeof previous), nullptr);
        EXPECT_EQ(chdir(dir.c_str()), 0);
        int depth = -1;
        if (openBook()) {
            setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
            for (const auto& m : moves) EXPECT_TRUE(playSan(m)) << m;
            BookRecord r;
            long       offset;
            if (findBookRecord(&r, &offset)) depth = r.scoredDepth;
            closeBook();
        }
        EXPECT_EQ(chdir(previous), 0);
        return depth;
    }

    std::string dir, out, err;
};

TEST_F(BookJobTest, ABookThatCannotBeWrittenFailsAndTheOldOneStays) {
    ASSERT_EQ(runJob("/CB lopez.pgn"), 0) << out << err;
    EXPECT_NE(out.find("Creating BrixBook.bin ... Done!"), std::string::npos);
    const std::string good = book();
    ASSERT_GT(good.size(), std::size_t(BOOK_INDEX_BYTES));

    // The disk fills up while the new book is written.
    {
        std::ofstream more(dir + "/more.pgn");
        more << "[Result \"0-1\"]\n\n1.d4 d5 2.c4 e6 0-1\n";
    }
    EXPECT_EQ(runJob("/CB more.pgn", 64), 1);
    EXPECT_NE(err.find("Cannot write book file 'BrixBook.bin'"), std::string::npos) << err;
    EXPECT_NE(out.find("Creating BrixBook.bin ... failed"), std::string::npos) << out;
    EXPECT_TRUE(book() == good);
    EXPECT_EQ(strayFiles(), 0);

    // A book linked to a device that takes no data.
    const std::string path = dir + "/" + BOOK_FILE_NAME;
    ASSERT_EQ(std::remove(path.c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
    EXPECT_EQ(runJob("/CB lopez.pgn"), 1);
    EXPECT_NE(err.find("Cannot write book file 'BrixBook.bin'"), std::string::npos) << err;
    struct stat link;
    ASSERT_EQ(lstat(path.c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));

    // A book linked to a file elsewhere stays linked; the new book is there.
    ASSERT_EQ(std::remove(path.c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/books").c_str(), 0755), 0);
    ASSERT_EQ(symlink("books/main.bin", path.c_str()), 0);
    EXPECT_EQ(runJob("/CB lopez.pgn"), 0) << err;
    ASSERT_EQ(lstat(path.c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_TRUE(readAll(dir + "/books/main.bin") == good);
}

TEST_F(BookJobTest, ScoringAndMergingReportFailedWrites) {
    ASSERT_EQ(runJob("/CB lopez.pgn"), 0);
    const std::string fresh = book();
    // Every record lies past the limit: no score reaches the file.
    EXPECT_EQ(runJob("/SB 2", 64), 1);
    EXPECT_NE(err.find("Cannot score the book!"), std::string::npos) << err;
    EXPECT_NE(err.find("could not be written"), std::string::npos) << err;
    EXPECT_TRUE(book() == fresh);

    EXPECT_EQ(runJob("/SB 2"), 0) << out << err;
    // The six positions of the line, each in its own record.
    EXPECT_NE(out.find("Scoring 6 out of 6"), std::string::npos) << out;
    EXPECT_EQ(scoredDepthAfter({"e4", "e5"}), 2);
    ASSERT_EQ(std::rename((dir + "/" + BOOK_FILE_NAME).c_str(), (dir + "/source.bin").c_str()), 0);
    ASSERT_EQ(runJob("/CB lopez.pgn"), 0);
    EXPECT_EQ(runJob("/MBO source.bin", 64), 1);
    EXPECT_NE(err.find("could not be written"), std::string::npos) << err;
    EXPECT_TRUE(book() == fresh);
    EXPECT_EQ(runJob("/MB missing.bin"), 1);
    EXPECT_NE(err.find("Cannot open source file 'missing.bin'"), std::string::npos) << err;
    EXPECT_EQ(runJob("/MBO source.bin"), 0) << err;
    EXPECT_EQ(scoredDepthAfter({"e4", "e5"}), 2);
}

TEST_F(BookJobTest, HelpAndMistakesAreAnsweredOnStandardError) {
    // Answered before start-up: no banner, no book.
    EXPECT_EQ(runJob("--help"), 0);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("/CB FILE"), std::string::npos) << err;
    const std::string usage = err;
    EXPECT_EQ(runJob("-h"), 0);
    EXPECT_EQ(err, usage);
    EXPECT_EQ(runJob("/XX"), 2);
    EXPECT_EQ(err, "Invalid option\n" + usage);
    EXPECT_EQ(out, "");
    for (const char* option : {"/CB", "/SB", "/MB", "/MBO"}) {
        EXPECT_EQ(runJob(option), 1) << option;
        EXPECT_EQ(err.rfind("Please specify ", 0), 0u) << option << ": " << err;
        EXPECT_EQ(out, "") << option;
    }
    EXPECT_EQ(runJob("/CB missing.pgn"), 1);
    EXPECT_EQ(err, "Cannot open PGN file 'missing.pgn'\n");
    EXPECT_EQ(out.find("Cannot open"), std::string::npos) << out;
    EXPECT_EQ(book(), "");
}

// Comments, variations and annotations are read past: the same games with
// and without them make the same book.
TEST_F(BookJobTest, AsidesInTheMoveTextLeaveTheBookAsWithout) {
    // Two real games of 30 moves, so that the move text runs past move 25;
    // each is played twice, so every position up to there stays in the book.
    const char* games[] = {
        "d4 d5 c4 c6 Nf3 Nf6 Nc3 dxc4 a4 Bf5 Ne5 e6 f3 Bb4 e4 Bxe4 fxe4 Nxe4 Bd2 Qxd4 Nxe4 Qxe4+ Qe2 Bxd2+ Kxd2 "
        "Qd5+ Kc2 Na6 Nxc4 O-O Qe5 Rab8 Be2 Nb4+ Kc3 b5 Rhd1 f6 Qg3 Qe4 Ne3 Nd5+ Nxd5 cxd5 Bd3 Rfc8+ Kd2 Qb4+ "
        "Ke2 bxa4 Kf1 Rb6 Qe3 Qb3 Rd2 g6 Qd4 Qb4 Be2 Qxd4",
        "e4 e5 Nf3 Nf6 Nxe5 d6 Nxf7 Kxf7 Nc3 c5 Bc4+ Be6 Bxe6+ Kxe6 d4 Kf7 dxc5 Nc6 Qe2 Qd7 Be3 dxc5 f4 Re8 e5 "
        "Ng4 Rd1 Qf5 O-O h5 Bc1 Nd4 Qc4+ Kg6 h3 Nh6 Nb5 a6 Nxd4 cxd4 Qxd4 Rc8 Qb6+ Kh7 Qxb7 Rxc2 Be3 Qg6 Rc1 "
        "Rxc1 Rxc1 Nf5 Bf2 h4 Rc7 Ng3 Kh2 Nf1+ Kg1 Qb1",
    };
    const char* results[] = {"1-0", "1/2-1/2", "0-1", "1-0"};
    // Every kind of aside, some over lines, holding "26." or a line that
    // starts with "[", which must end neither the move text nor the game.
    struct Aside {
        const char* text;
        bool        touching;  // takes the blank's place after the move
    };
    const Aside asides[] = {
        {" {a comment} ", false},
        {" {a comment\n26. Qxh7 over lines\n[Event \"not a tag\"]\n} ", false},
        {" (1... Nc6 (1... d6 {why (not)} 2. d4) 2. Bb5) ", false},
        {" (a variation\n26. Rd2 over lines\n[Site \"x\"] ; and } in a line comment\n) ", false},
        {" $14 ", false},
        {"!? ", false},
        {" ; to the end of the line { (\n", false},
        {"{touching}", true},
    };
    std::ofstream clean(dir + "/clean.pgn"), annotated(dir + "/annotated.pgn");
    int next = 0;
    for (int g = 0; g < 4; ++g) {
        const std::string head = "[Event \"g" + std::to_string(g) + "\"]\n[Result \"" + results[g] + "\"]\n\n";
        clean << head;
        annotated << head << "{Game 1. with notes}\n";
        std::istringstream moves(games[g / 2]);
        std::string        move;
        for (int ply = 0; moves >> move; ++ply) {
            const std::string word = (ply % 2 ? "" : std::to_string(ply / 2 + 1) + ". ") + move;
            // Twelve plies a line, an aside after every third.
            const char*  blank = ply % 12 == 11 ? "\n" : " ";
            const Aside* aside = ply % 3 == 2 ? &asides[next++ % std::size(asides)] : nullptr;
            clean << word << blank;
            annotated << word << (aside ? aside->text : "") << (aside && aside->touching && *blank == ' ' ? "" : blank);
        }
        clean << results[g] << "\n\n";
        annotated << results[g] << "\n\n";
    }
    clean.close();
    annotated.close();

    ASSERT_EQ(runJob("/CB clean.pgn"), 0) << err;
    ASSERT_EQ(out.find("Error processing"), std::string::npos) << out;
    const std::string expected = book();
    ASSERT_GT(expected.size(), std::size_t(BOOK_INDEX_BYTES + 90 * BOOK_RECORD_BYTES));
    EXPECT_EQ(runJob("/CB annotated.pgn"), 0) << err;
    EXPECT_EQ(out.find("Error processing"), std::string::npos) << out;
    EXPECT_NE(out.find("Processing game: 4 "), std::string::npos) << out;
    EXPECT_TRUE(book() == expected);
}

TEST_F(BookJobTest, ScoringGoesOnAtTheEndOfInputButStopsForALine) {
    {
        std::ofstream one(dir + "/one.pgn");
        one << "[Result \"1-0\"]\n\n1.e4 1-0\n";
    }
    ASSERT_EQ(runJob("/CB one.pgn"), 0);
    // Deep enough that the search reads input before it ends.
    EXPECT_EQ(runJob("/SB 7"), 0) << out << err;
    EXPECT_NE(out.find("Scoring 1 out of"), std::string::npos) << out;
    EXPECT_EQ(scoredDepthAfter({"e4"}), 7);

    // A real line still interrupts: a search to depth 40 ends at its first
    // look at the input.
    EngineProcess e(dir, {"/SB", "40"});
    e.send("quit");
    EXPECT_EQ(e.waitExit(10), 0);
    EXPECT_EQ(scoredDepthAfter({"e4"}), 7);
}

}  // namespace
