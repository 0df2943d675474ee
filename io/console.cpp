// io/console.cpp: line reader over descriptor 0 and a monotonic clock.
// A line longer than the line buffer is cut to fit and the rest of it, up to
// its line feed, is discarded, so it can never come back as a new command.
#include "io/console.h"
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

char          inputLine[INPUT_LINE_SIZE];
bool          inputClosed  = false;
bool          inputPolling = true;
std::uint32_t timerOrigin;

static char inputBuffer[INPUT_BUFFER_SIZE];
static int  bufferedBytes = 0;
static bool discarding    = false;  // inside the tail of an over-long line

static std::uint32_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint32_t(std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u);
}

void          startTimer() { timerOrigin = nowMs(); }
std::uint32_t elapsedTime() { return nowMs() - timerOrigin; }

static bool bufferHasLine() { return std::memchr(inputBuffer, '\n', std::size_t(bufferedBytes)) != nullptr; }

std::uint32_t inputAvailable() {
    if (bufferHasLine() || inputClosed) return 1;
    pollfd fd = {0, POLLIN, 0};
    const int ready = poll(&fd, 1, 0);
    // Hang-up or error: report input so that the next read meets the end.
    if (ready > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return 1;
    return 0;
}

// Moves the first buffered line into inputLine.
static const char* takeLine() {
    char*       end    = static_cast<char*>(std::memchr(inputBuffer, '\n', std::size_t(bufferedBytes)));
    const int   length = int(end - inputBuffer);
    int         kept   = length;
    if (kept > 0 && inputBuffer[kept - 1] == '\r') --kept;
    if (kept > INPUT_LINE_SIZE - 1) kept = INPUT_LINE_SIZE - 1;
    std::memcpy(inputLine, inputBuffer, std::size_t(kept));
    inputLine[kept] = '\0';
    bufferedBytes -= length + 1;
    std::memmove(inputBuffer, end + 1, std::size_t(bufferedBytes));
    return inputLine;
}

// One read of up to the free room; returns false at end of input.
static bool readMore() {
    if (inputClosed) return false;
    if (bufferedBytes == INPUT_BUFFER_SIZE) {
        // A line longer than the whole buffer: keep its start as the line
        // and drop everything up to its line feed.
        inputBuffer[INPUT_BUFFER_SIZE - 1] = '\n';
        discarding                          = true;
        return true;
    }
    ssize_t n;
    do n = read(0, inputBuffer + bufferedBytes, std::size_t(INPUT_BUFFER_SIZE - bufferedBytes));
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        printAndFlush("ERROR (input I/O stream is unreadable, exiting): readInput\n");
        std::exit(1);
    }
    if (n == 0) {
        inputClosed = true;
        return false;
    }
    if (discarding) {
        // Still inside the tail of an over-long line: drop up to its end.
        char* end = static_cast<char*>(std::memchr(inputBuffer + bufferedBytes, '\n', std::size_t(n)));
        if (!end) return true;
        discarding            = false;
        const int restStart   = int(end + 1 - inputBuffer);
        const int restLength  = bufferedBytes + int(n) - restStart;
        std::memmove(inputBuffer + bufferedBytes, end + 1, std::size_t(restLength));
        bufferedBytes += restLength;
        return true;
    }
    bufferedBytes += int(n);
    return true;
}

const char* readInput(bool block) {
    if (bufferHasLine()) return takeLine();
    if (!block) {
        if (!inputAvailable()) return nullptr;
        readMore();
        return bufferHasLine() ? takeLine() : nullptr;
    }
    while (readMore())
        if (bufferHasLine()) return takeLine();
    return nullptr;
}

void resetInput() {
    bufferedBytes = 0;
    discarding    = false;
    inputClosed   = false;
}

void printAndFlush(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

void traceLog(const char*, ...) {}
