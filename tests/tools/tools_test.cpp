// The tools program's commands, run as a separate process the way a person
// or a script would use them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Standard error comes along, unless the arguments end in a redirection of
// their own (which the shell applies after this one). The exit status goes
// to `status` when asked for.
std::vector<std::string> runTools(const std::string& arguments, int* status = nullptr) {
    const std::string command = std::string(BRIX_TOOLS_BINARY) + " 2>&1 " + arguments;
    std::FILE*        pipe    = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    if (!pipe) return lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    const int wait = pclose(pipe);
    if (status) *status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return lines;
}

TEST(Tools, PerftDivideAndMoves) {
    auto lines = runTools("perft startpos 3");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("nodes 8902 time ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" nodes/s"), std::string::npos);

    lines = runTools("perft 'r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1' 2 --divide");
    ASSERT_EQ(lines.size(), 49u);
    long sum = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        std::string        move;
        long               count = 0;
        in >> move >> count;
        EXPECT_TRUE(move.size() == 4 || move.size() == 5) << lines[i];
        sum += count;
    }
    EXPECT_EQ(sum, 2039);
    EXPECT_EQ(lines.back().rfind("nodes 2039 ", 0), 0u);

    lines = runTools("moves startpos");
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], "a2a3 a3");
    EXPECT_EQ(lines[1], "a2a4 a4");
    lines = runTools("moves '4k3/1P6/8/8/8/8/8/R3K2R w KQ - 0 1'");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "b7b8Q b8=Q"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "e1c1 0-0-0"), lines.end());

    lines = runTools("moves 'not a position'");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("cannot use position"), std::string::npos);
}

TEST(Tools, BenchAndEpdReports) {
    auto lines = runTools("bench 3");
    ASSERT_EQ(lines.size(), 31u);  // one line per position and the total
    EXPECT_EQ(lines.back().rfind("bench: ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find(" nodes, "), std::string::npos);
    EXPECT_NE(lines.back().find(" nodes/s"), std::string::npos);

    const std::string path = ::testing::TempDir() + "brix_tools_test.epd";
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Rd8#; id \"back rank\";\n"
                   "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - am Rd8; id \"avoid\";\n"
                   "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - dm 2; id \"mate\";\n",
                   f);
        std::fclose(f);
    }
    lines = runTools("epd " + path + " 0.2");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("back rank Rd8 solved", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("avoid Rd8 missed", 0), 0u) << lines[1];
    EXPECT_NE(lines[2].find("dm 2 found 2"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "solved 2 of 3");
}

TEST(Tools, HelpAndPerftDepthsThatAreNoNumber) {
    int        status = -1;
    const auto help   = runTools("--help 2>/dev/null", &status);  // standard output alone
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(help.empty());
    EXPECT_EQ(help[0].rfind("usage: brix-tools", 0), 0u);
    EXPECT_EQ(runTools("-h 2>/dev/null", &status), help);
    EXPECT_EQ(status, 0);

    // Refused before any counting, on standard error alone, as a usage error.
    for (const char* depth : {"abc", "0", "-3", "3x", "''", "21"}) {
        const auto lines = runTools(std::string("perft startpos ") + depth + " >/dev/null", &status);
        EXPECT_EQ(status, 2) << depth;
        ASSERT_EQ(lines.size(), 1u) << depth;
        EXPECT_NE(lines[0].find("perft depth"), std::string::npos) << lines[0];
    }
    // An option where a table command wants its directory, or a number of
    // men that is none, is a usage error and makes nothing.
    for (const char* arguments : {"tbgen --verbose", "tbverify --men 5", "tbgen /nonexistent/x --men 6",
                                  "tbgen /nonexistent/x --men abc", "tbplan /nonexistent/x --men 2"}) {
        runTools(std::string(arguments) + " >/dev/null 2>&1", &status);
        EXPECT_EQ(status, 2) << arguments;
    }
    struct stat info;
    EXPECT_NE(stat("--verbose", &info), 0);
}

}  // namespace
