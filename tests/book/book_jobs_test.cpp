// The book jobs run from the command line as a script runs them: the exit
// status and the book left behind when a write fails, and scoring with
// standard input at its end.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
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
    EXPECT_NE(out.find("Cannot score the book!"), std::string::npos) << out;
    EXPECT_NE(err.find("could not be written"), std::string::npos) << err;
    EXPECT_TRUE(book() == fresh);

    EXPECT_EQ(runJob("/SB 2"), 0) << out << err;
    EXPECT_EQ(scoredDepthAfter({"e4", "e5"}), 2);
    ASSERT_EQ(std::rename((dir + "/" + BOOK_FILE_NAME).c_str(), (dir + "/source.bin").c_str()), 0);
    ASSERT_EQ(runJob("/CB lopez.pgn"), 0);
    EXPECT_EQ(runJob("/MBO source.bin", 64), 1);
    EXPECT_NE(err.find("could not be written"), std::string::npos) << err;
    EXPECT_TRUE(book() == fresh);
    EXPECT_EQ(runJob("/MB missing.bin"), 1);
    EXPECT_NE(out.find("Cannot open source file 'missing.bin'"), std::string::npos);
    EXPECT_EQ(runJob("/MBO source.bin"), 0) << err;
    EXPECT_EQ(scoredDepthAfter({"e4", "e5"}), 2);
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
