// The engine with a book, end to end: it plays from the book, shows the
// book line and the bk listing, and learns from a lost game.
#include <gtest/gtest.h>
#include <unistd.h>
#include <fstream>
#include "book/book.h"
#include "tests/driver/engine_process.h"
#include "tests/test_support.h"

namespace {

TEST(BookSession, PlaysFromTheBookAndLearnsFromTheResult) {
    char scratch[] = "/tmp/brix-booksession-XXXXXX";
    const std::string dir = mkdtemp(scratch);
    {
        std::ofstream pgn(dir + "/lopez.pgn");
        for (int i = 0; i < 5; ++i)
            pgn << "[Event \"g" << i << "\"]\n[Result \"1-0\"]\n\n1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 4.Ba4 Nf6 5.O-O Be7 1-0\n\n";
        std::ofstream(dir + "/brix.cfg") << "LEARN 1\n";
    }
    {
        EngineProcess build(dir, {"/CB", "lopez.pgn"});
        build.expect("^Creating BrixBook.bin \\.\\.\\. Done!$");
        EXPECT_EQ(build.waitExit(5), 0);
    }
    EngineProcess e(dir);
    e.send("xboard");
    e.send("protover 2");
    e.expect("^done=1$");
    e.send("new");
    e.send("bk");
    e.expect("^ e4\\t\\[\\d+, 5, 5, 0\\]$");
    e.send("st 1");
    e.send("go");
    e.expect("^0 0 0 0 \\( e4 \\)$");
    e.expect("^move e4$");
    for (const char* reply : {"e7e5", "b8c6", "a7a6", "g8f6"}) {
        e.send(reply);
        e.expect("^0 0 0 0 \\( ");  // every answer comes from the book
        e.expect("^move ");
    }
    // The last book move was 5.O-O at ply 8; finish the game by hand.
    e.send("force");
    for (const char* m : {"f8e7", "f1e1", "b7b5", "a4b3", "d7d6", "c2c3", "e8g8"}) e.send(m);
    e.send("level 40 10 0");  // learning needs ten seconds a move
    e.send("result 0-1");
    e.send("ping 1");
    e.expect("^pong 1$");
    for (const std::string& l : e.transcript()) EXPECT_EQ(l.find("Illegal"), std::string::npos) << l;
    e.send("quit");
    EXPECT_EQ(e.waitExit(3), 0);

    // The engine's book moves were punished: the last ones skipped as well.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ASSERT_TRUE(openBook());
    const char* line[] = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O"};
    const int   learned[5] = {-1, -1, -1, -1, -2}, skipped[5] = {0, 0, 1, 2, 2};
    setUpFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (int ply = 0, k = 0; ply < 9; ++ply) {
        ASSERT_TRUE(playSan(line[ply]));
        if (ply % 2) continue;
        BookRecord r;
        long       offset;
        ASSERT_TRUE(findBookRecord(&r, &offset)) << line[ply];
        EXPECT_EQ(r.learned, learned[k]) << line[ply];
        EXPECT_EQ(r.skipCount, skipped[k]) << line[ply];
        ++k;
    }
    closeBook();
    ASSERT_EQ(chdir(previous), 0);
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
