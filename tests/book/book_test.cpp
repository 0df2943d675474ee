// The opening book: building from PGN, lookup, weights and choice, learning,
// scoring, merging, and bad files. Each test works in its own directory,
// since the book lives in the working directory.
#include <gtest/gtest.h>
#include <unistd.h>
#include <fstream>
#include <map>
#include "board/makemove.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/book.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "tests/test_support.h"
#include "tools/bench.h"

namespace {

constexpr const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class BookTest : public ::testing::Test {
protected:
    void SetUp() override {
        char scratch[] = "/tmp/brix-book-XXXXXX";
        dir            = mkdtemp(scratch);
        getcwd(previous, sizeof previous);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        closeBook();
        resetSearchState();
        newGame();
    }
    void TearDown() override {
        closeBook();
        ASSERT_EQ(chdir(previous), 0);
        std::system(("rm -rf " + dir).c_str());
    }
    std::string dir;
    char        previous[4096];
};

void writeFile(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

// Plays SAN moves from the initial position; the book key of the end.
struct Key {
    std::uint32_t slot, check;
};
Key keyAfter(const std::vector<std::string>& moves) {
    setUpFen(START);
    for (const auto& m : moves) EXPECT_TRUE(playSan(m)) << m;
    return {bookSlot(), bookCheckKey()};
}

bool lookUp(const std::vector<std::string>& moves, BookRecord* record) {
    keyAfter(moves);
    long offset;
    return findBookRecord(record, &offset);
}

// A hand-made book: records by the moves leading to their positions.
void writeHandBook(const std::vector<std::pair<std::vector<std::string>, BookRecord>>& entries) {
    std::map<std::uint32_t, std::vector<BookRecord>> slots;
    for (auto [moves, record] : entries) {
        const Key k     = keyAfter(moves);
        record.checkKey = k.check;
        slots[k.slot].push_back(record);
    }
    std::string file(BOOK_INDEX_BYTES, '\xff');
    for (auto& [slot, records] : slots) {
        const std::uint32_t at = std::uint32_t(file.size());
        for (int i = 0; i < 4; ++i) file[4 * slot + i] = char(at >> (8 * i));
        const std::uint32_t n = std::uint32_t(records.size());
        for (int i = 0; i < 4; ++i) file.push_back(char(n >> (8 * i)));
        for (const auto& r : records) {
            std::uint8_t bytes[16];
            encodeBookRecord(r, bytes);
            file.append(reinterpret_cast<char*>(bytes), 16);
        }
    }
    writeFile(BOOK_FILE_NAME, file);
}

BookRecord rec(std::uint32_t frequency, int winLoss = 0, int learned = 0, int skip = 0) {
    BookRecord r{};
    r.frequency = frequency;
    r.winLoss   = std::int16_t(winLoss);
    r.learned   = std::int16_t(learned);
    r.skipCount = std::uint8_t(skip);
    return r;
}

std::string bookListing() {
    setUpFen(START);
    testing::internal::CaptureStdout();
    probeBook(true);
    return testing::internal::GetCapturedStdout();
}

TEST_F(BookTest, BuiltFromPgnCountsGamesResultsAndKeepsEarlyPositions) {
    writeFile("small.pgn",
              "[Event \"a\"]\n[Result \"1-0\"]\n\n1.e4 e5 2.Nf3 Nc6 1-0\n\n"
              "[Event \"b\"]\n[result \"0-1\"]\n\n1.e4 e5 2.Nf3 Nf6 0-1\n\n"
              "[Event \"forfeit\"]\n[Result \"1-0\"]\n\n1-0\n\n"
              "[Event \"c\"]\n[Result \"1/2-1/2\"]\n\n1.d4 d5 2.c4 0-0 1/2-1/2\n\n"
              "[Event \"castles\"]\n[Result \"*\"]\n\n1.Nf3 Nf6 2.g3 g6 3.Bg2 Bg7 4. 0-0 O-O *\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(createBook("small.pgn"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Processing game: 4 ..."), std::string::npos);
    EXPECT_EQ(out.find("Processing game: 5"), std::string::npos);  // the forfeit took no game's moves
    EXPECT_NE(out.find("Error processing game:"), std::string::npos);  // 2...0-0 is illegal
    ASSERT_TRUE(openBook());
    BookRecord r;
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.frequency, 2u);
    EXPECT_EQ(r.winLoss, 0);
    ASSERT_TRUE(lookUp({"e4", "e5", "Nf3", "Nc6"}, &r));
    EXPECT_EQ(r.frequency, 1u);
    EXPECT_EQ(r.winLoss, -1);  // black moved into it and lost
    ASSERT_TRUE(lookUp({"d4", "d5", "c4"}, &r));
    EXPECT_EQ(r.frequency, 1u);
    ASSERT_TRUE(lookUp({"Nf3", "Nf6", "g3", "g6", "Bg2", "Bg7", "O-O", "O-O"}, &r));  // both castlings read
    EXPECT_EQ(r.scoredDepth, 0);
    EXPECT_EQ(r.searchScore, 0);
    EXPECT_FALSE(lookUp({"a4"}, &r));
    EXPECT_FALSE(lookUp({}, &r));  // the starting position is not stored
}

// Builds the book from PGN text; the builder's output.
std::string buildFrom(const std::string& pgn) {
    writeFile("games.pgn", pgn);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(createBook("games.pgn"));
    return testing::internal::GetCapturedStdout();
}

TEST_F(BookTest, EveryTagSectionIsReadWhole) {
    // A blank line after the Result tag, then more tags; a tag longer than
    // any line buffer after it; a forfeit whose tags run straight into the
    // next game's, whose Result tag then counts.
    std::string out = buildFrom("[Event \"a\"]\n[Result \"1-0\"]\n\n[White \"x\"]\n[Black \"y\"]\n\n1.e4 e5 2.Nf3 1-0\n\n"
                                "[Event \"b\"]\n[Result \"1-0\"]\n[Annotator \"" + std::string(600, 'z') +
                                "\"]\n\n1.e4 c5 1-0\n\n"
                                "[Event \"forfeit\"]\n[Result \"1-0\"]\n\n"
                                "[Event \"c\"]\n[Result \"0-1\"]\n\n1.d4 d5 0-1\n");
    EXPECT_NE(out.find("Processing game: 3 ..."), std::string::npos) << out;
    EXPECT_EQ(out.find("Processing game: 4"), std::string::npos);
    EXPECT_EQ(out.find("Error"), std::string::npos);
    ASSERT_TRUE(openBook());
    BookRecord r;
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.frequency, 2u);
    EXPECT_EQ(r.winLoss, 2);
    ASSERT_TRUE(lookUp({"e4", "c5"}, &r));
    EXPECT_EQ(r.winLoss, -1);
    ASSERT_TRUE(lookUp({"d4", "d5"}, &r));
    EXPECT_EQ(r.winLoss, 1);  // black won game c
    closeBook();

    // Games that open with their Result tag, the next one straight after
    // the last move line.
    std::string pgn;
    for (const char* result : {"1-0", "0-1", "1-0", "1-0", "1/2-1/2"})
        pgn += std::string("[Result \"") + result + "\"]\n[White \"w\"]\n\n1.e4 e5 2.Nf3 Nc6 " + result + "\n";
    out = buildFrom(pgn);
    EXPECT_NE(out.find("Processing game: 5 ..."), std::string::npos) << out;
    ASSERT_TRUE(openBook());
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.frequency, 5u);
    EXPECT_EQ(r.winLoss, 2);
}

TEST_F(BookTest, WinLossStopsAtItsLimits) {
    // 33,000 games of 1.e4 e5 won by white: more than a 16-bit sum holds.
    std::string pgn;
    for (int i = 0; i < 33000; ++i) pgn += "[Event \"x\"]\n[Result \"1-0\"]\n\n1.e4 e5 1-0\n\n";
    buildFrom(pgn);
    ASSERT_TRUE(openBook());
    BookRecord r;
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.frequency, 33000u);
    EXPECT_EQ(r.winLoss, 32767);
    ASSERT_TRUE(lookUp({"e4", "e5"}, &r));
    EXPECT_EQ(r.winLoss, -32768);
}

TEST_F(BookTest, DamagedRecordsCannotOverflowTheWeights) {
    // A record claiming every game there could be: it gets the whole
    // frequency term and the others next to none.
    writeHandBook({{{"e4"}, rec(0xFFFFFFFF, -32768)}, {{"d4"}, rec(100)}, {{"c4"}, rec(50)}});
    ASSERT_TRUE(openBook());
    std::string listing = bookListing();
    EXPECT_NE(listing.find("e4\t[360, 4294967295, -32768, 0]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("d4\t[0, 100, 0, 0]"), std::string::npos) << listing;
    closeBook();
    // More wins or losses than games: the rates are held to all wins and
    // all losses. e4: 360 + 90 (rate 500 of -1000..1000); the others 18
    // for frequency, d4 a quarter of the full result term (5 of 20 games).
    writeHandBook({{{"e4"}, rec(100, 50)}, {{"d4"}, rec(5, 32767)}, {{"c4"}, rec(5, -32768)}});
    ASSERT_TRUE(openBook());
    listing = bookListing();
    EXPECT_NE(listing.find("e4\t[450, 100, 50, 0]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("d4\t[48, 5, 32767, 0]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("c4\t[18, 5, -32768, 0]"), std::string::npos) << listing;
    // The choice follows those weights.
    setUpFen(START);
    seedBookRandom(11);
    int e4 = 0;
    for (int i = 0; i < 200; ++i) {
        testing::internal::CaptureStdout();
        e4 += probeBook(false) == findSanMove("e4");
        testing::internal::GetCapturedStdout();
    }
    EXPECT_GT(e4, 150);
    EXPECT_LT(e4, 200);
}

TEST_F(BookTest, BucketsInsideTheIndexAreRejected) {
    // d4 in a proper bucket; e4's slot points into the index, where a count
    // and a record for e4 are planted in unused index entries.
    writeHandBook({{{"d4"}, rec(100)}});
    std::ifstream in(BOOK_FILE_NAME, std::ios::binary);
    std::string   file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const Key     e4 = keyAfter({"e4"}), d4 = keyAfter({"d4"});
    std::uint32_t planted = 1000;  // index entries 1000..1004 hold the bucket
    while (e4.slot - planted < 5 || d4.slot - planted < 5) planted += 10;
    BookRecord r = rec(80);
    r.checkKey   = e4.check;
    std::uint8_t bucket[20] = {1, 0, 0, 0};
    encodeBookRecord(r, bucket + 4);
    file.replace(4 * planted, 20, reinterpret_cast<char*>(bucket), 20);
    for (int i = 0; i < 4; ++i) file[4 * e4.slot + i] = char((4 * planted) >> (8 * i));
    writeFile(BOOK_FILE_NAME, file);
    ASSERT_TRUE(openBook());

    // Probe and bk, scoring: none of them finds it or writes there.
    EXPECT_FALSE(lookUp({"e4"}, &r));
    EXPECT_TRUE(lookUp({"d4"}, &r));
    const std::string listing = bookListing();
    EXPECT_EQ(listing.find("e4"), std::string::npos) << listing;
    setUpFen(START);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(scoreBook(2));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(lookUp({"d4"}, &r));
    EXPECT_EQ(r.scoredDepth, 2);
    closeBook();
    std::ifstream after(BOOK_FILE_NAME, std::ios::binary);
    std::string   index(BOOK_INDEX_BYTES, '\0');
    after.read(&index[0], BOOK_INDEX_BYTES);
    EXPECT_EQ(index, file.substr(0, BOOK_INDEX_BYTES));  // nothing written into the index
    after.close();

    // Merging: a source whose bucket lies inside its index gives nothing.
    ASSERT_EQ(std::rename(BOOK_FILE_NAME, "source.bin"), 0);
    writeHandBook({{{"e4"}, rec(80)}, {{"d4"}, rec(100)}});
    ASSERT_TRUE(openBook());
    r             = rec(80, 0, 7);
    r.checkKey    = e4.check;
    r.scoredDepth = 9;
    encodeBookRecord(r, bucket + 4);  // the planted e4 record now has a score to give
    std::fstream patch("source.bin", std::ios::binary | std::ios::in | std::ios::out);
    patch.seekp(4 * planted);
    patch.write(reinterpret_cast<char*>(bucket), 20);
    patch.close();
    ASSERT_TRUE(mergeBook("source.bin", true));
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.scoredDepth, 0);
    EXPECT_EQ(r.learned, 0);
}

TEST_F(BookTest, KeepRuleByMoveNumberAndFrequency) {
    const auto games = readPgnGames(sharedPath("data/games/masters-wch.pgn"), 50);
    const std::vector<std::string>* game = nullptr;
    for (const auto& g : games)
        if (g.size() > 50) game = &g;
    ASSERT_NE(game, nullptr);
    std::string text;
    for (std::size_t i = 0; i < 44; ++i) text += (i % 2 == 0 ? std::to_string(i / 2 + 1) + "." : "") + (*game)[i] + " ";
    const std::string one = "[Event \"x\"]\n[Result \"1-0\"]\n\n" + text + "1-0\n\n";
    const std::vector<std::string> move15(game->begin(), game->begin() + 29), move22(game->begin(), game->begin() + 43);
    BookRecord r;
    writeFile("one.pgn", one);
    testing::internal::CaptureStdout();
    createBook("one.pgn");
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(openBook());
    EXPECT_TRUE(lookUp(move15, &r));
    EXPECT_FALSE(lookUp(move22, &r));
    closeBook();
    writeFile("two.pgn", one + one);
    testing::internal::CaptureStdout();
    createBook("two.pgn");
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(openBook());
    ASSERT_TRUE(lookUp(move22, &r));
    EXPECT_EQ(r.frequency, 2u);
}

TEST_F(BookTest, CheckKeysTellCastlingAndEnPassantApart) {
    setUpFen("r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1");
    const std::uint32_t slot = bookSlot(), withAll = bookCheckKey();
    setUpFen("r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(bookSlot(), slot);
    EXPECT_NE(bookCheckKey(), withAll);
    EXPECT_EQ(bookCheckKey() ^ withAll, epBookKey[19]);
    setUpFen("r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq - 0 1");
    EXPECT_EQ(bookSlot(), slot);
    EXPECT_EQ(bookCheckKey() ^ withAll, epBookKey[19] ^ castleBookKey[15] ^ castleBookKey[9]);
}

TEST_F(BookTest, WeightsVarietySkipsAndChoice) {
    writeHandBook({{{"e4"}, rec(100)}, {{"d4"}, rec(50)}, {{"c4"}, rec(10)}, {{"a3"}, rec(4)}});
    ASSERT_TRUE(openBook());
    // Frequency terms 360, 180 and 36; a successor played 4 times is no candidate.
    const std::string listing = bookListing();
    EXPECT_NE(listing.find("e4\t[360, 100, 0, 0]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("d4\t[180, 50, 0, 0]"), std::string::npos);
    EXPECT_NE(listing.find("c4\t[36, 10, 0, 0]"), std::string::npos);
    EXPECT_EQ(listing.find("a3"), std::string::npos);
    // The choice follows the weights.
    setUpFen(START);
    std::map<std::string, int> chosen;
    seedBookRandom(7);
    for (int i = 0; i < 600; ++i) {
        testing::internal::CaptureStdout();
        const Move m = probeBook(false);
        testing::internal::GetCapturedStdout();
        ++chosen[m == findSanMove("e4") ? "e4" : m == findSanMove("d4") ? "d4" : "c4"];
    }
    EXPECT_GT(chosen["e4"], chosen["d4"]);
    EXPECT_GT(chosen["d4"], chosen["c4"]);
    EXPECT_GT(chosen["c4"], 0);
    closeBook();

    // Five candidates at the first move: the fourth and fifth only if
    // played in 200 games or more; results and learning shape the weights.
    writeHandBook({{{"e4"}, rec(500, 100)}, {{"d4"}, rec(400)}, {{"c4"}, rec(300, 0, 50)}, {{"Nf3"}, rec(250)},
                   {{"g3"}, rec(150, 0, 0, 2)}, {{"b3"}, rec(150)}});
    ASSERT_TRUE(openBook());
    std::string first = bookListing();
    EXPECT_EQ(first.find("Nf3\t[0,"), std::string::npos) << first;  // 250 games: kept
    EXPECT_NE(first.find("Nf3\t["), std::string::npos);
    EXPECT_NE(first.find("b3\t[0, 150"), std::string::npos);  // fewer than 200 games at move 1
    EXPECT_NE(first.find("g3\t[0, 150"), std::string::npos);  // skipped
    // The skip counter counts down in the file: 2 -> 1 -> 0, then offered.
    BookRecord r;
    ASSERT_TRUE(lookUp({"g3"}, &r));
    EXPECT_EQ(r.skipCount, 1);
    bookListing();
    ASSERT_TRUE(lookUp({"g3"}, &r));
    EXPECT_EQ(r.skipCount, 0);
    closeBook();
}

TEST_F(BookTest, LearningConditionsAndDeltas) {
    // A 12-ply book line (moves 1-6) and a game that leaves it at ply 10.
    const std::vector<std::string> line = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O", "Be7", "Re1", "b5"};
    std::vector<std::pair<std::vector<std::string>, BookRecord>> entries;
    for (std::size_t n = 1; n <= line.size(); ++n) entries.push_back({{line.begin(), line.begin() + long(n)}, rec(50)});
    writeHandBook(entries);
    ASSERT_TRUE(openBook());
    auto playGame = [&](int extraPlies) {
        setUpFen(START);
        for (const auto& m : line) ASSERT_TRUE(playSan(m));
        for (const char* m : {"Bb3", "d6", "c3", "O-O", "h3", "Bb7", "d4", "Re8"})
            if (extraPlies-- > 0) {
                ASSERT_TRUE(playSan(m));
            }
    };
    const std::int16_t scores[5] = {-100, -120, -150, -200, -300};
    setClockControl(40, 60000, 0);  // 15 s a move
    engineOptions  = std::uint16_t(engineOptions & ~OPTION_COMPUTER_OPPONENT);
    BookRecord r;

    // Too few plies after the book (lastBookPly 10, result at ply 14): nothing.
    playGame(2);
    learnFromResult(10, scores, -1);
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 11}, &r));
    EXPECT_EQ(r.learned, 0);
    // A win against a human: nothing.
    playGame(8);
    learnFromResult(10, scores, 1);
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 11}, &r));
    EXPECT_EQ(r.learned, 0);
    // Too fast a control: nothing.
    setClockControl(40, 6000, 0);
    playGame(8);
    learnFromResult(10, scores, -1);
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 11}, &r));
    EXPECT_EQ(r.learned, 0);

    // A loss as white (book move at ply 10), 10 plies later, with the scores
    // falling: delta = 2 * -1 - 1 (S[0] below -10) - 1 (S[3] 50 below S[0]) = -4.
    setClockControl(40, 60000, 0);
    playGame(8);
    learnFromResult(10, scores, -1);
    // Engine moves at plies 0, 2, ... 10 (i after the move: 1, 3, ..., 11);
    // h = 10 - 2 * 2 = 6: moves with i > 6 are skipped once more, i > 9 twice.
    // The step is (L - i + 1) / 2 + delta where that is below -1, else -1.
    const int expectLearned[6] = {-1, -1, -1, -2, -3, -4};
    const int expectSkip[6]    = {0, 0, 0, 1, 1, 2};
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(lookUp({line.begin(), line.begin() + 2 * k + 1}, &r)) << k;
        EXPECT_EQ(r.skipCount, expectSkip[k]) << k;
        EXPECT_EQ(r.learned, expectLearned[k]) << k;
    }
    // The opponent's book positions are untouched.
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 2}, &r));
    EXPECT_EQ(r.learned, 0);
    EXPECT_EQ(r.skipCount, 0);
    // A whole-game control counts its time as base / 40 + increment.
    setClockControl(0, 30000, 0);  // 7.5 s a move: too fast
    playGame(8);
    learnFromResult(10, scores, -1);
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 11}, &r));
    EXPECT_EQ(r.learned, -4);  // unchanged
    setClockControl(0, 60000, 0);  // 15 s a move
    playGame(8);
    learnFromResult(10, scores, -1);
    ASSERT_TRUE(lookUp({line.begin(), line.begin() + 11}, &r));
    EXPECT_EQ(r.learned, -8);
}

TEST_F(BookTest, ScoringAndMerging) {
    writeHandBook({{{"e4"}, rec(100)}, {{"e4", "e5"}, rec(60)}, {{"d4"}, rec(50)}});
    ASSERT_TRUE(openBook());
    setUpFen(START);  // the walk starts from the position on the board
    testing::internal::CaptureStdout();
    ASSERT_TRUE(scoreBook(3));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Scoring 3 out of"), std::string::npos);
    BookRecord r;
    setUpFen(START);
    ASSERT_TRUE(lookUp({"e4", "e5"}, &r));
    EXPECT_EQ(r.scoredDepth, 3);
    // Scoring again at the same depth searches nothing.
    setUpFen(START);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(scoreBook(3));
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Scoring"), std::string::npos);
    closeBook();

    // Merging: the source has a deeper score for e4 and a learned value for d4.
    ASSERT_EQ(std::rename(BOOK_FILE_NAME, "scored.bin"), 0);
    BookRecord e4 = rec(100), d4 = rec(50, 0, 5);
    e4.scoredDepth = 9;
    e4.searchScore = -20;
    writeHandBook({{{"e4"}, e4}, {{"d4"}, d4}});
    ASSERT_EQ(std::rename(BOOK_FILE_NAME, "source.bin"), 0);
    BookRecord mine = rec(100), mineD4 = rec(50, 0, -7);
    mine.scoredDepth = 12;
    mine.searchScore = 40;
    writeHandBook({{{"e4"}, mine}, {{"d4"}, mineD4}});
    ASSERT_TRUE(openBook());
    mergeBook("source.bin", false);
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.scoredDepth, 12);  // ours is deeper
    ASSERT_TRUE(lookUp({"d4"}, &r));
    EXPECT_EQ(r.learned, -7);  // ours is already set
    mergeBook("source.bin", true);
    ASSERT_TRUE(lookUp({"e4"}, &r));
    EXPECT_EQ(r.scoredDepth, 9);
    EXPECT_EQ(r.searchScore, -20);
    ASSERT_TRUE(lookUp({"d4"}, &r));
    EXPECT_EQ(r.learned, 5);
    testing::internal::CaptureStderr();
    mergeBook("missing.bin", true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open source file 'missing.bin'\n");
}

TEST_F(BookTest, BadFilesAreTreatedAsAbsent) {
    writeFile(BOOK_FILE_NAME, std::string(1000, '\0'));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(openBook());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("shorter than its index"), std::string::npos);
    // An index pointing past the end, and a bucket running past it.
    std::string file(BOOK_INDEX_BYTES, '\xff');
    setUpFen(START);
    ASSERT_TRUE(playSan("e4"));
    const std::uint32_t slot = bookSlot();
    for (int i = 0; i < 4; ++i) file[4 * slot + i] = char(0x7fffffff >> (8 * i));
    writeFile(BOOK_FILE_NAME, file);
    ASSERT_TRUE(openBook());
    BookRecord r;
    long       offset;
    EXPECT_FALSE(findBookRecord(&r, &offset));
    closeBook();
    const std::uint32_t at = BOOK_INDEX_BYTES;
    for (int i = 0; i < 4; ++i) file[4 * slot + i] = char(at >> (8 * i));
    file += std::string("\x10\x00\x00\x00", 4) + std::string(20, '\x01');  // 16 records promised, one-odd given
    writeFile(BOOK_FILE_NAME, file);
    ASSERT_TRUE(openBook());
    EXPECT_FALSE(findBookRecord(&r, &offset));
    setUpFen(START);
    testing::internal::CaptureStdout();
    EXPECT_EQ(probeBook(false), 0u);
    testing::internal::GetCapturedStdout();
}

TEST_F(BookTest, MessyPgnFilesNeverCrashTheBuilder) {
    const char* files[] = {"alphazero-stockfish-game57-bom-crlf.pgn", "lichess-study-annotated-variations-nags.pgn",
                           "pgnmentor-TorreRepetto-raw-crlf.pgn", "python-chess-testdata-anastasian-lewis.pgn",
                           "python-chess-testdata-chessbase-empty-line.pgn", "python-chess-testdata-utf8-bom.pgn",
                           "tcec-s8-stage1b-raw.pgn", "tcec-tournament-3-raw.pgn"};
    for (const char* f : files) {
        std::remove(BOOK_FILE_NAME);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(createBook(sharedPath(std::string("data/games/messy/") + f).c_str())) << f;
        const std::string out = testing::internal::GetCapturedStdout();
        // That file's two games have no moves at all: nothing to read.
        const bool movesExpected = std::string(f) != "python-chess-testdata-utf8-bom.pgn";
        EXPECT_EQ(out.find("Processing game: 1 ...") != std::string::npos, movesExpected) << f;
        // Every chapter of the study is read, also the one whose tags
        // open with its Result tag.
        const bool study = std::string(f) == "lichess-study-annotated-variations-nags.pgn";
        if (study) {
            EXPECT_NE(out.find("Processing game: 39 ..."), std::string::npos);
        }
        // Comments, variations and annotations are read past; only the
        // study's set-up positions cannot be played from the start.
        EXPECT_EQ(out.find("Error processing") != std::string::npos, study) << f;
        EXPECT_NE(out.find("Creating BrixBook.bin ... Done!"), std::string::npos) << f;
    }
    // A CRLF file with a byte-order mark: its games are read and counted.
    std::remove(BOOK_FILE_NAME);
    testing::internal::CaptureStdout();
    createBook(sharedPath("data/games/messy/alphazero-stockfish-game57-bom-crlf.pgn").c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Error processing"), std::string::npos) << out.substr(0, 400);
    ASSERT_TRUE(openBook());
    BookRecord r;
    EXPECT_TRUE(lookUp({"d4"}, &r) || lookUp({"e4"}, &r) || lookUp({"Nf3"}, &r) || lookUp({"c4"}, &r));
}

}  // namespace
