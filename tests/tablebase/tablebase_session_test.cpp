// The engine binary with tables on its path: start-up checks, the banner and
// the egtb command, over the protocol.
#include <gtest/gtest.h>
#include <cstdio>
#include "tests/driver/engine_process.h"
#include "tests/tablebase/tablebase_test.h"

namespace {

void writeConfig(const std::string& dir, const std::string& text) {
    std::FILE* f = std::fopen((dir + "/brix.cfg").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

TEST(TablebaseSession, WrongSizedTableEndsStartUp) {
    ScratchDir tables, home;
    writeTableFile(tables.path + "/kqk.nbw", tableSize("kqk", 0), 0);
    writeTableFile(tables.path + "/krk.nbb", tableSize("krk", 1) - 1, 0);
    writeConfig(home.path, "EGTB_PATH " + tables.path + "\n");
    EngineProcess e(home.path);
    e.expect("^\\*\\*\\* " + tables.path + "/krk\\.nbb corrupted$");
    EXPECT_EQ(e.waitExit(5), 1);
}

TEST(TablebaseSession, BannerAndEgtbCommand) {
    ScratchDir tables, home;
    writeTableFile(tables.path + "/kqk.nbw", tableSize("kqk", 0), 117);  // mate in 10
    writeTableFile(tables.path + "/kqk.nbb", tableSize("kqk", 1), -116);  // mated in 10
    writeConfig(home.path, "EGTB_PATH = " + tables.path + "\nEGTB_CACHE_SIZE 5\n");
    EngineProcess e(home.path);
    e.send("protover 2");  // flushes the banner
    e.expect("^    Endgame Tablebase  : 32 KB$");
    e.expect("^EGTB Status: Maximum 3 piece tablebases found$");
    e.send("setboard 8/8/8/4k3/8/8/Q7/4K3 w - - 0 1");
    e.send("egtb");
    e.expect("^Max 3 , Score 9980$");
    e.send("setboard 8/8/8/3k4/8/8/Q7/4K3 b - - 0 1");
    e.send("egtb");
    e.expect("^Max 3 , Score -9980$");
    e.send("setboard 8/8/8/4k3/8/8/R7/4K3 w - - 0 1");
    e.send("egtb");
    e.expect("^Position not in EGTB$");
    e.send("quit");
    EXPECT_EQ(e.waitExit(5), 0);
}

TEST(TablebaseSession, NoPathMeansNoTables) {
    EngineProcess e;
    e.send("protover 2");  // flushes the banner
    e.expect("^EGTB Status: Not found$");
    e.send("setboard 8/8/8/4k3/8/8/Q7/4K3 w - - 0 1");
    e.send("egtb");
    e.expect("^EGTB not found$");
}

}  // namespace
