// The job's Makefile: make -j2 running the tables side by side gives the
// same files as one tbgen run, and a second make finds nothing to do.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "tests/test_support.h"

#ifndef BRIX_TABLEBASE_DIR
#error "BRIX_TABLEBASE_DIR must name the project's table directory"
#endif

namespace {

// The whole file, or "missing" when it cannot be opened.
std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "missing";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(TablePlan, MakeRunsTheTablesSideBySideAsOneTbgenRun) {
    // kpk leads to every 3-man table; kqkr and krkn share krk.
    const std::vector<std::string> made = {"knk", "kbk", "krk", "kqk", "kpk", "kqkr", "krkn"};
    for (const auto& name : made)
        if (fileBytes(std::string(BRIX_TABLEBASE_DIR) + "/" + name + ".nbw.emd") == "missing") {
            ADD_FAILURE() << name << " is not compressed in " << BRIX_TABLEBASE_DIR << ": run 'make tablebases' first";
            return;
        }
    std::string directory = testing::TempDir() + "brix-tbplan-XXXXXX";
    ASSERT_NE(mkdtemp(&directory[0]), nullptr);
    const std::string plan = directory + "/plan.mk", tools = BRIX_TOOLS_BINARY;
    std::string       output;
    ASSERT_EQ(runCommand(tools + " tbplan " + directory + " kpk kqkr krkn -o " + plan, &output), 0) << output;
    ASSERT_EQ(runCommand("make -f " + plan + " -j2", &output), 0) << output;
    for (const auto& name : made)
        for (const char* ending : {".nbw.emd", ".nbb.emd"}) {
            const std::string ours = fileBytes(directory + "/" + name + ending);
            EXPECT_EQ(ours, fileBytes(std::string(BRIX_TABLEBASE_DIR) + "/" + name + ending)) << name << ending;
            EXPECT_NE(ours, "missing") << name << ending;
        }
    // Every table is up to date now: make -q answers 0 and runs nothing.
    EXPECT_EQ(runCommand("make -q -f " + plan, &output), 0) << output;
    // Unknown names are refused.
    EXPECT_NE(runCommand(tools + " tbplan " + directory + " kxk"), 0);
    runCommand("rm -rf " + directory);
}

}  // namespace
