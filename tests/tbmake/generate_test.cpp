// The endgame table generator: its move and unmove generators against the
// engine's, the finished 3-man tables against Gaviota's distances, the
// longest mates, tbgen making missing sub-tables on its own, continuing a
// killed run, refusing a job the disk cannot hold, and the verifier finding
// altered values.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <thread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>
#include "board/makemove.h"
#include "board/position.h"
#include "tablebase/catalogue.h"
#include "tests/test_support.h"
#include "tools/perft.h"
#include "tbmake/placement.h"
#include "tbmake/tablefiles.h"
#include "tbmake/tbposition.h"
#include "tbmake/unmoves.h"

#ifndef BRIX_TABLEBASE_DIR
#error "BRIX_TABLEBASE_DIR must name the project's table directory"
#endif

namespace {

// The tables of `make tablebases` (compressed, or uncompressed of the
// right size); a test that needs them fails without them.
bool tablesPresent(const std::vector<std::string>& names) {
    for (const auto& name : names) {
        const int o = findTablebaseRecord(name.c_str());
        if (o <= 0) return false;
        const TablebaseRecord& r = tablebaseCatalogue[o];
        for (int side = 0; side < ((r.flags & TB_SYMMETRIC) ? 1 : 2); ++side) {
            struct stat info;
            const std::string path = std::string(BRIX_TABLEBASE_DIR) + "/" + name + (side ? ".nbb" : ".nbw");
            if ((stat(path.c_str(), &info) != 0 || std::uint64_t(info.st_size) != r.positionCount[side]) &&
                stat((path + ".emd").c_str(), &info) != 0) {
                ADD_FAILURE() << path << " is missing or of the wrong size: run 'make tablebases' first";
                return false;
            }
        }
    }
    return true;
}

// A whole table side as the generator reads it: the uncompressed file, or
// the compressed one through the engine's reader; empty when neither reads.
std::vector<std::int8_t> readTable(const std::string& directory, const std::string& name, int side) {
    std::vector<std::int8_t> bytes;
    readTableSide(directory, findTablebaseRecord(name.c_str()), side, bytes);
    return bytes;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

using MoveKey = std::tuple<int, int, int>;  // from, to, promotion in tablebase squares

std::set<MoveKey> engineMoves(const std::string& fen) {
    setUpFen(fen);
    generateLegalCandidates();
    std::set<MoveKey> moves;
    for (std::uint32_t i = firstMove[ply]; i < firstMove[ply + 1]; ++i) {
        const Move m = moveStack[i].move;
        if (!makeMove(m)) continue;
        unmakeMove();
        moves.insert({moveFrom(m) ^ 56, moveTo(m) ^ 56, movePromotion(m)});
    }
    return moves;
}

std::set<MoveKey> ownMoves(const TbPosition& p) {
    TbMove            list[TBC_MAX_MOVES];
    const int         n = generateTbMoves(p, list);
    std::set<MoveKey> moves;
    for (int i = 0; i < n; ++i) moves.insert({p.square[list[i].man], list[i].to, list[i].promotion});
    EXPECT_EQ(moves.size(), std::size_t(n)) << "a move listed twice";
    return moves;
}

// Random legal positions of a few materials, with their successors (which
// bring en-passant positions after double pushes).
std::vector<TbPosition> randomPositions(int perMaterial) {
    initTbCore();
    std::vector<TbPosition> positions;
    std::mt19937_64         random(20261209);
    for (const char* name : {"kqkr", "kpkp", "krpkr", "kppkp", "kbnkp", "kqpkq", "knppk"}) {
        Placement layout;
        setUpPlacement(findTablebaseRecord(name), layout);
        for (int found = 0; found < perMaterial;) {
            TbPosition p;
            if (!decodePlacement(layout, random() % layout.size, int(random() % 2), p) || !isLegalPlacement(p))
                continue;
            ++found;
            positions.push_back(p);
            TbMove    moves[TBC_MAX_MOVES];
            const int n = generateTbMoves(p, moves);
            for (int i = 0; i < n; ++i)
                if (staysInTable(moves[i])) positions.push_back(applyTbMove(p, moves[i]));
        }
    }
    return positions;
}

// The set-up's split of the moves (captures and promotions listed, the rest
// counted) agrees with the full list wherever it answers.
TEST(TableGenerator, ForwardMovesMatchTheEngineOnRandomPositions) {
    const auto positions = randomPositions(SANITIZED ? 150 : 400);
    int        withEnPassant = 0, split = 0;
    for (const auto& p : positions) {
        char fen[100];
        writeTbFen(p, fen);
        if (p.epSquare != TBC_NO_EP) ++withEnPassant;
        const std::set<MoveKey> all = ownMoves(p);
        ASSERT_EQ(all, engineMoves(fen)) << fen;
        TbMove exits[TBC_MAX_MOVES], moves[TBC_MAX_MOVES];
        int    listed = 0, stays = 0;
        if (!splitTbMoves(p, false, exits, listed, stays)) continue;
        ++split;
        using Exit = std::tuple<int, int, int, int>;  // man, to, promotion, captured man
        std::multiset<Exit> got, expected;
        for (int i = 0; i < listed; ++i) got.insert({exits[i].man, exits[i].to, exits[i].promotion, exits[i].captured});
        const int n = generateTbMoves(p, moves);
        int       staying = 0;
        for (int i = 0; i < n; ++i)
            if (staysInTable(moves[i]))
                ++staying;
            else
                expected.insert({moves[i].man, moves[i].to, moves[i].promotion, moves[i].captured});
        EXPECT_EQ(got, expected) << fen;
        EXPECT_EQ(stays, staying) << fen;
    }
    EXPECT_GT(withEnPassant, SANITIZED ? 5 : 20);
    EXPECT_GT(split, int(positions.size()) / 2);
}

// Every move that stays in the table has its reverse among the unmoves of
// the successor, and every unmove that lands on a position has the move.
TEST(TableGenerator, UnmovesAreTheReverseOfMoves) {
    const auto positions = randomPositions(SANITIZED ? 40 : 250);
    for (const auto& p : positions) {
        Placement layout;
        std::uint8_t counts[2][5];
        materialOf(p, counts);
        setUpPlacement(findTablebaseRecord(materialName(counts[0], counts[1]).c_str()), layout);
        const std::uint64_t here = encodePlacement(layout, p);
        TbMove              moves[TBC_MAX_MOVES];
        const int           n = generateTbMoves(p, moves);
        char                fen[100];
        writeTbFen(p, fen);
        for (int i = 0; i < n; ++i) {
            if (!staysInTable(moves[i])) continue;
            const TbPosition next  = applyTbMove(p, moves[i]);
            int              found = 0;
            forEachPredecessor(next, [&](const TbPosition& q) { found += encodePlacement(layout, q) == here; });
            EXPECT_EQ(found, 1) << fen << " move to " << int(moves[i].to);
        }
        forEachPredecessor(p, [&](const TbPosition& q) {
            if (!isLegalPlacement(q)) return;
            TbMove    back[TBC_MAX_MOVES];
            const int m    = generateTbMoves(q, back);
            int       hits = 0;
            for (int i = 0; i < m; ++i)
                if (staysInTable(back[i]) && encodePlacement(layout, applyTbMove(q, back[i])) == here) ++hits;
            char before[100];
            writeTbFen(q, before);
            EXPECT_GE(hits, 1) << before << " does not lead to " << fen;
        });
    }
}

// The folded numbering gives every image of a position (by the board's
// symmetries, like men exchanged) one index, decodes it to one of those
// images, and lets no other index decode; a board is its own mirror image
// exactly when a symmetry other than the identity leaves it as it is.
TEST(TableGenerator, FoldedNumberingHoldsEachPositionOnce) {
    initTbCore();
    std::mt19937_64 random(20261210);
    auto turned = [](const TbPosition& p, int symmetry) {
        TbPosition q = p;
        for (int i = 0; i <= q.men; ++i) {
            std::uint8_t& s = i < q.men ? q.square[i] : q.epSquare;
            if (s == TBC_NO_EP) continue;
            if (symmetry & 4) s = std::uint8_t((s & 7) << 3 | s >> 3);
            s = std::uint8_t(s ^ ((symmetry & 1) ? 7 : 0) ^ ((symmetry & 2) ? 56 : 0));
        }
        return q;
    };
    auto sameBoard = [](const TbPosition& a, const TbPosition& b) {
        std::set<std::tuple<int, int, int>> men[2];
        for (int i = 0; i < a.men; ++i) men[0].insert({a.square[i], a.type[i], a.colour[i]});
        for (int i = 0; i < b.men; ++i) men[1].insert({b.square[i], b.type[i], b.colour[i]});
        return men[0] == men[1] && a.epSquare == b.epSquare && a.toMove == b.toMove;
    };
    int ownImages = 0;
    for (const char* name : {"kqkr", "krkr", "kbbk", "knnkn", "krrkr", "knnnk", "kbnkb", "kpkp", "kppkp", "krpkr", "kpppk"}) {
        Placement full, folded;
        setUpPlacement(findTablebaseRecord(name), full);
        setUpPlacement(findTablebaseRecord(name), folded, true);
        const int symmetries = folded.pawnless ? 8 : 2;
        for (int found = 0; found < (SANITIZED ? 300 : 3000);) {
            TbPosition p;
            if (!decodePlacement(full, random() % full.size, int(random() % 2), p) || !isLegalPlacement(p)) continue;
            ++found;
            const std::uint64_t index = encodePlacement(folded, p);
            ASSERT_LT(index, folded.size) << name;
            bool fixed = false;
            for (int g = 0; g < symmetries; ++g) {
                TbPosition image = turned(p, g);
                if (g && sameBoard(image, p)) fixed = true;
                for (int i = 2; i < image.men; ++i)  // like men exchanged
                    for (int j = i + 1; j < image.men; ++j)
                        if (image.type[i] == image.type[j] && image.colour[i] == image.colour[j] && random() % 2)
                            std::swap(image.square[i], image.square[j]);
                ASSERT_EQ(encodePlacement(folded, image), index) << name << " symmetry " << g;
            }
            EXPECT_EQ(isOwnMirrorImage(folded, p), fixed) << name;
            ownImages += fixed;
            TbPosition back;
            ASSERT_TRUE(decodePlacement(folded, index, p.toMove, back)) << name;
            bool anImage = false;
            for (int g = 0; g < symmetries; ++g) anImage = anImage || sameBoard(turned(back, g), p);
            EXPECT_TRUE(anImage) << name;
            TbPosition other;
            const std::uint64_t any = random() % folded.size;
            if (decodePlacement(folded, any, p.toMove, other)) {
                EXPECT_EQ(encodePlacement(folded, other), any) << name;
            }
        }
    }
    EXPECT_GT(ownImages, 0);
}

// Gaviota's distance to mate for every legal 3-man position, both sides to
// move and every mirror image.
TEST(TableGenerator, ThreeManTablesEqualGaviota) {
    if (!tablesPresent({"kpk", "knk", "kbk", "krk", "kqk"})) return;
    for (const char* name : {"kpk", "knk", "kbk", "krk", "kqk"}) {
        // One file per process: two suites may run at once on one machine.
        const std::string dump = testing::TempDir() + "brix-tbdump-" + std::to_string(::getpid()) + ".txt";
        ASSERT_EQ(runCommand(std::string(BRIX_TOOLS_BINARY) + " tbdump " + BRIX_TABLEBASE_DIR + " " + name + " > " +
                             dump),
                  0);
        std::string gaviota;
        ASSERT_EQ(runCommand("cut -f1 " + dump + " | " + sharedPath("tools/gaviota-dtm") + " -", &gaviota), 0);
        std::ifstream      ours(dump);
        std::istringstream theirs(gaviota);
        std::string        line, answer;
        long               positions = 0, wrong = 0;
        while (std::getline(ours, line)) {
            ASSERT_TRUE(std::getline(theirs, answer)) << name << ": Gaviota gave fewer answers";
            const auto tab      = line.find('\t');
            const int  stored   = std::stoi(line.substr(tab + 1));
            int        expected = 127;
            if (answer == "draw")
                expected = 0;
            else if (answer.find("mated in ") != std::string::npos)
                expected = -126 + std::stoi(answer.substr(answer.rfind(' ') + 1));
            else if (answer.find("mate in ") != std::string::npos)
                expected = 127 - std::stoi(answer.substr(answer.rfind(' ') + 1));
            ++positions;
            if (stored != expected && ++wrong <= 5)
                ADD_FAILURE() << name << ": " << line.substr(0, tab) << " stored " << stored << ", Gaviota " << answer;
        }
        std::remove(dump.c_str());
        EXPECT_EQ(wrong, 0) << name;
        EXPECT_GT(positions, 300000) << name;
    }
}

TEST(TableGenerator, LongestMates) {
    const std::vector<std::pair<std::string, int>> longest = {
        {"kqk", 10}, {"krk", 16}, {"kbbk", 19}, {"kbnk", 33}, {"kqkr", 35}};
    std::vector<std::string> names;
    for (const auto& entry : longest) names.push_back(entry.first);
    if (!tablesPresent(names)) return;
    for (const auto& [name, moves] : longest) {
        // The side with the extra material moves first: a win in n is 127 - n.
        const auto table = readTable(BRIX_TABLEBASE_DIR, name, 0);
        ASSERT_FALSE(table.empty()) << name;
        int        least = 127;
        for (std::int8_t v : table)
            if (v > 0 && v < least) least = v;
        EXPECT_EQ(127 - least, moves) << name;
        // Mated in the same number of moves with the other side to move.
        const auto other = readTable(BRIX_TABLEBASE_DIR, name, 1);
        int        most  = -127;
        for (std::int8_t v : other)
            if (v < 0 && v > -127 && v + 126 > most) most = v + 126;
        EXPECT_EQ(most, moves) << name << " to move and lose";
    }
}

// A table whose promotions lead to missing tables makes them first, and the
// result is the same as the project's copy. Made again with --pack, the
// sub-tables found uncompressed are compressed first and read back through
// the engine's reader while the table is made; a third time, the compressed
// sub-tables are kept as they are.
TEST(TableGenerator, MakesMissingSubtablesFirst) {
    if (!tablesPresent({"kpk"})) return;
    // A directory of its own: the release and sanitizer suites may run at once.
    std::string directory = testing::TempDir() + "brix-tbgen-XXXXXX";
    ASSERT_NE(mkdtemp(&directory[0]), nullptr);
    const std::string tools = BRIX_TOOLS_BINARY;
    const char* made[] = {"knk", "kbk", "krk", "kqk", "kpk"};
    // Indices no position reaches (127 in the uncompressed files, read
    // first) may hold anything in a compressed file, ours or the project's.
    std::map<std::string, std::vector<std::int8_t>> uncompressed;
    auto sameAsProject = [&](const char* stage) {
        for (const char* name : made)
            for (int side = 0; side < 2; ++side) {
                const auto ours    = readTable(directory, name, side);
                const auto project = readTable(BRIX_TABLEBASE_DIR, name, side);
                auto&      raw     = uncompressed[name + std::to_string(side)];
                if (raw.empty()) raw = ours;
                ASSERT_FALSE(ours.empty()) << stage << ": " << name << " side " << side;
                ASSERT_EQ(ours.size(), raw.size()) << stage << ": " << name << " side " << side;
                ASSERT_EQ(project.size(), raw.size()) << stage << ": " << name << " side " << side;
                std::size_t differ = 0;
                for (std::size_t i = 0; i < raw.size(); ++i)
                    differ += raw[i] != 127 && (ours[i] != raw[i] || project[i] != raw[i]);
                EXPECT_EQ(differ, 0u) << stage << ": " << name << " side " << side;
            }
    };
    std::string output;
    ASSERT_EQ(runCommand(tools + " tbgen " + directory + " kpk --verbose", &output), 0) << output;
    EXPECT_NE(output.find("kpk: pass 1:"), std::string::npos) << output;
    for (const char* name : made) {
        EXPECT_NE(output.find(std::string("wrote ") + directory + "/" + name + ".nbw"), std::string::npos) << name;
        EXPECT_TRUE(fileExists(directory + "/" + name + ".nbb")) << name;
    }
    sameAsProject("uncompressed");

    ASSERT_EQ(runCommand(tools + " tbgen " + directory + " kpk --pack --verbose", &output), 0) << output;
    for (const char* name : made)
        for (const char* ending : {".nbw", ".nbb"}) {
            EXPECT_FALSE(fileExists(directory + "/" + name + ending)) << name << ending;
            EXPECT_NE(output.find("packed " + directory + "/" + name + ending + ".emd"), std::string::npos)
                << name << ending << output;
        }
    EXPECT_NE(output.find("kpk: pass 1:"), std::string::npos) << output;
    sameAsProject("compressed");

    ASSERT_EQ(runCommand(tools + " tbgen " + directory + " kpk --pack", &output), 0) << output;
    EXPECT_EQ(output.find("packed " + directory + "/knk"), std::string::npos) << output;
    EXPECT_NE(output.find("packed " + directory + "/kpk.nbb.emd"), std::string::npos) << output;
    sameAsProject("made again");
    // Unknown names are refused.
    EXPECT_NE(runCommand(tools + " tbgen " + directory + " kxk"), 0);
    runCommand("rm -rf " + directory);
}

// Every name in a directory but "." and "..".
std::set<std::string> filesIn(const std::string& directory) {
    std::set<std::string> names;
    if (DIR* d = opendir(directory.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string wholeFile(const std::string& path) {
    std::ifstream      in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A run killed once its first table is complete, started again with the
// same command, ends with the files of one uninterrupted run: the tables
// finished before the kill are kept, scratch files of the dead run removed.
TEST(TableGenerator, KilledRunContinuesToTheSameFiles) {
    const std::vector<std::string> made = {"kqk", "krk", "kqkr"};
    if (!tablesPresent(made)) return;
    std::string directory = testing::TempDir() + "brix-tbresume-XXXXXX";
    ASSERT_NE(mkdtemp(&directory[0]), nullptr);
    const std::string tools = BRIX_TOOLS_BINARY;
    const pid_t       child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int sink = open("/dev/null", O_WRONLY);
        dup2(sink, 1);
        dup2(sink, 2);
        execl(tools.c_str(), tools.c_str(), "tbgen", directory.c_str(), "kqkr", "--pack", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::set<std::string> before;
    for (;;) {
        before = filesIn(directory);
        if (before.count("kqk.nbb.emd") || before.count("krk.nbb.emd") ||
            std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the first run ended before it was killed";
    // What a run killed while writing leaves: scratch files of its own.
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string tag = std::string(host) + "-" + std::to_string(child);
    std::ofstream(directory + "/kqkr.nbw.part-" + tag) << "half";
    ASSERT_EQ(mkdir((directory + "/.tbpack-" + tag + "-AbCdEf").c_str(), 0777), 0);
    std::ofstream(directory + "/.tbpack-" + tag + "-AbCdEf/kqkr.nbw.emd") << "half";

    std::string output;
    ASSERT_EQ(runCommand(tools + " tbgen " + directory + " kqkr --pack", &output), 0) << output;
    for (const char* name : {"kqk", "krk"}) {
        if (!before.count(std::string(name) + ".nbb.emd")) continue;
        EXPECT_EQ(output.find(std::string("] ") + name + ":"), std::string::npos) << name << " made again";
    }
    std::set<std::string> expected;
    for (const auto& name : made)
        for (const char* ending : {".nbw.emd", ".nbb.emd"}) expected.insert(name + ending);
    EXPECT_EQ(filesIn(directory), expected);
    for (const auto& file : expected)
        EXPECT_TRUE(wholeFile(directory + "/" + file) == wholeFile(std::string(BRIX_TABLEBASE_DIR) + "/" + file))
            << file;
    runCommand("rm -rf " + directory);
}

TEST(TableGenerator, RefusesAJobTheDiskCannotHold) {
    std::string directory = testing::TempDir() + "brix-tbfull-XXXXXX";
    ASSERT_NE(mkdtemp(&directory[0]), nullptr);
    std::string output;
    const int   status =
        runCommand("BRIX_TB_FREE_BYTES=1000000 " + std::string(BRIX_TOOLS_BINARY) + " tbgen " + directory + " kqkr",
                   &output);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("not enough disk space"), std::string::npos) << output;
    EXPECT_TRUE(filesIn(directory).empty());
    runCommand("rm -rf " + directory);
}

TEST(TableVerifier, FindsAlteredValues) {
    // kpk uncompressed beside the project's compressed tables, which its
    // promotions read, with a few reached values changed on each side; krk
    // made here, with one byte changed that no position reaches.
    ASSERT_TRUE(tablesPresent({"kpk", "kqk", "krk", "kbk", "knk"}));
    std::string directory = testing::TempDir() + "brix-tbverify-XXXXXX";
    ASSERT_NE(mkdtemp(&directory[0]), nullptr);
    for (const char* name : {"kqk", "kbk", "knk"})
        for (const char* side : {".nbw.emd", ".nbb.emd"})
            ASSERT_EQ(symlink((std::string(BRIX_TABLEBASE_DIR) + "/" + name + side).c_str(),
                              (directory + "/" + name + side).c_str()),
                      0);
    const auto write = [&](const std::string& file, const std::vector<std::int8_t>& bytes) {
        std::ofstream(directory + "/" + file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    std::mt19937 random(20261210);
    int          altered = 0;
    for (int side = 0; side < 2; ++side) {
        std::vector<std::int8_t> bytes = readTable(BRIX_TABLEBASE_DIR, "kpk", side);
        ASSERT_FALSE(bytes.empty());
        for (int changed = 0; changed < 4;) {
            std::int8_t& v = bytes[random() % bytes.size()];
            if (v == 127) continue;
            v = v == 0 ? -126 : 0;
            ++changed, ++altered;
        }
        write(side ? "kpk.nbb" : "kpk.nbw", bytes);
    }
    std::string output;
    ASSERT_EQ(runCommand(std::string(BRIX_TOOLS_BINARY) + " tbgen " + directory + " krk", &output), 0) << output;
    std::vector<std::int8_t> rook = readTable(directory, "krk", 0);
    const auto               free = std::find(rook.begin(), rook.end(), std::int8_t(127));
    ASSERT_NE(free, rook.end());
    *free = 0;
    write("krk.nbw", rook);
    EXPECT_EQ(runCommand(std::string(BRIX_TOOLS_BINARY) + " tbverify " + directory + " kpk krk", &output), 1)
        << output;
    EXPECT_NE(output.find("krk: 1 indices that no position reaches do not hold 127"), std::string::npos) << output;
    // Each changed byte is some checked position's own value.
    std::istringstream line(output.substr(output.rfind("\nkpk ") + 1));
    std::string        name, word;
    std::uint64_t      indices = 0, positions = 0, unreached = 0, errors = 0;
    line >> name >> indices >> word >> positions >> word >> unreached >> word >> errors;
    EXPECT_GE(errors, std::uint64_t(altered)) << output;
    // A file cut short is named with what is wrong with it.
    rook.resize(1000);
    write("krk.nbw", rook);
    EXPECT_EQ(runCommand(std::string(BRIX_TOOLS_BINARY) + " tbverify " + directory + " krk", &output), 1) << output;
    EXPECT_NE(output.find("krk.nbw holds 1000 bytes"), std::string::npos) << output;
    runCommand("rm -rf " + directory);
    EXPECT_EQ(runCommand(std::string(BRIX_TOOLS_BINARY) + " tbverify " + directory + " krk", &output), 1) << output;
    EXPECT_NE(output.find("no such directory"), std::string::npos) << output;
}

}  // namespace
