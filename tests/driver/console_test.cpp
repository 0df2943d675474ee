// The console line reader over a real pipe standing in for standard input.
#include <gtest/gtest.h>
#include <unistd.h>
#include <string>
#include "driver/console.h"

namespace {

// Puts a pipe on descriptor 0 for the test's lifetime.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = dup(0);  // -1 when the suite runs with standard input closed
        ASSERT_EQ(pipe(fds), 0);
        if (fds[0] != 0) {  // with 0 closed, the pipe itself may have taken it
            ASSERT_EQ(dup2(fds[0], 0), 0);
            close(fds[0]);
        }
        resetInput();
    }
    void TearDown() override {
        if (fds[1] >= 0) close(fds[1]);
        if (saved >= 0) {
            dup2(saved, 0);
            close(saved);
        } else {
            close(0);
        }
        resetInput();
    }
    void send(const std::string& bytes) { ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void closeInput() {
        close(fds[1]);
        fds[1] = -1;
    }
    int fds[2] = {-1, -1};
    int saved  = -1;
};

TEST_F(ConsoleTest, LinesPartialLinesAndLineEnds) {
    EXPECT_EQ(inputAvailable(), 0u);
    EXPECT_EQ(readInput(false), nullptr);  // never waits
    send("ping 1\r\nping 2\n");
    EXPECT_GT(inputAvailable(), 0u);
    ASSERT_NE(readInput(false), nullptr);
    EXPECT_STREQ(inputLine, "ping 1");  // carriage return removed
    ASSERT_NE(readInput(false), nullptr);  // from the buffer, no read
    EXPECT_STREQ(inputLine, "ping 2");
    send("go");
    EXPECT_EQ(readInput(false), nullptr);  // a partial line waits
    send("\n");
    ASSERT_NE(readInput(false), nullptr);
    EXPECT_STREQ(inputLine, "go");
    send("new\n");
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_STREQ(inputLine, "new");
}

TEST_F(ConsoleTest, OverLongLinesAreCutAndTheirTailDropped) {
    send(std::string(INPUT_LINE_SIZE + 44, 'a') + "\nnext\n");
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_EQ(std::string(inputLine), std::string(INPUT_LINE_SIZE - 1, 'a'));
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_STREQ(inputLine, "next");
    // Longer than the whole buffer, arriving in pieces.
    send(std::string(INPUT_BUFFER_SIZE + 100, 'b'));
    send(std::string(700, 'c') + "\nquit\n");
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_EQ(std::string(inputLine), std::string(INPUT_LINE_SIZE - 1, 'b'));
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_STREQ(inputLine, "quit");
}

TEST_F(ConsoleTest, EndOfInputIsReportedAndNeverBlocks) {
    send("last\n");
    closeInput();
    ASSERT_NE(readInput(true), nullptr);
    EXPECT_STREQ(inputLine, "last");
    EXPECT_EQ(readInput(true), nullptr);
    EXPECT_TRUE(inputClosed);
    EXPECT_GT(inputAvailable(), 0u);  // the next read meets the end at once
    EXPECT_EQ(readInput(false), nullptr);
}

TEST(Clock, MillisecondTimerAdvances) {
    startTimer();
    const std::uint32_t start = elapsedTime();
    usleep(20000);
    const std::uint32_t later = elapsedTime();
    EXPECT_LT(start, 5u);
    EXPECT_GE(later - start, 19u);
    EXPECT_LT(later - start, 2000u);
}

}  // namespace
