// io/console.cpp: line reader over standard input and a monotonic clock.
// A line longer than the line buffer is cut to fit and the rest of it, up to
// its line feed, is discarded, so it can never come back as a new command.
#include "io/console.h"
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#else
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#endif

char          inputLine[INPUT_LINE_SIZE];
bool          inputClosed  = false;
bool          inputPolling = true;
std::uint32_t timerOrigin;

static char inputBuffer[INPUT_BUFFER_SIZE];
static int  bufferedBytes = 0;
static bool discarding    = false;  // inside the tail of an over-long line

// The system's half: a millisecond clock that never jumps, a test whether
// bytes wait on standard input that never blocks (true at the end of input
// too), and a raw read of them (bytes read, 0 at the end, negative on an
// error).
#ifdef _WIN32

static std::uint32_t nowMs() {
    static const LONGLONG perSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return std::uint32_t(std::uint64_t(now.QuadPart / perSecond) * 1000u +
                         std::uint64_t(now.QuadPart % perSecond) * 1000u / std::uint64_t(perSecond));
}

// A thread of its own reads standard input, whatever it is: a GUI's pipe, a
// console where a person types, a file. The test for input only looks at
// what it has handed over, so it never blocks, and it sees the end of input
// at once. (Peeking at a pipe cannot tell an ended pipe from an empty one
// under every Windows, and a console's read waits until the line is typed.)
static std::mutex              handoverLock;
static std::condition_variable handoverChanged;
static char                    handover[INPUT_BUFFER_SIZE];
static std::size_t             handoverBytes = 0;
static bool                    handoverEnded = false, handoverFailed = false;
static std::atomic<bool>       handoverWaiting{false};  // bytes or the end, unread

static void readStandardInputAlways() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char         chunk[INPUT_BUFFER_SIZE];
    for (;;) {
        DWORD      got = 0;
        const bool ok  = ReadFile(input, chunk, sizeof chunk, &got, nullptr) != 0;
        // The writer closing its end of a pipe is the end of input, not an error.
        const DWORD                  error = ok ? 0 : GetLastError();
        std::unique_lock<std::mutex> lock(handoverLock);
        if (!ok || got == 0) {
            handoverEnded  = true;
            handoverFailed = !ok && error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF;
            handoverWaiting.store(true);
            handoverChanged.notify_all();
            return;
        }
        handoverChanged.wait(lock, [&] { return handoverBytes + got <= sizeof handover; });
        std::memcpy(handover + handoverBytes, chunk, got);
        handoverBytes += got;
        handoverWaiting.store(true);
        handoverChanged.notify_all();
    }
}

static void startReader() {
    // Once, on the first call (a function's static is made once, safely).
    static const bool started = (std::thread(readStandardInputAlways).detach(), true);
    (void)started;
}

static bool inputWaiting() {
    startReader();
    return handoverWaiting.load(std::memory_order_relaxed);
}

static long readStandardInput(char* to, std::size_t room) {
    startReader();
    std::unique_lock<std::mutex> lock(handoverLock);
    handoverChanged.wait(lock, [] { return handoverBytes > 0 || handoverEnded; });
    if (handoverBytes == 0) return handoverFailed ? -1 : 0;
    const std::size_t n = handoverBytes < room ? handoverBytes : room;
    std::memcpy(to, handover, n);
    handoverBytes -= n;
    std::memmove(handover, handover + n, handoverBytes);
    handoverWaiting.store(handoverBytes > 0 || handoverEnded);
    handoverChanged.notify_all();
    return long(n);
}

#else

static std::uint32_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint32_t(std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u);
}

static bool inputWaiting() {
    pollfd fd = {0, POLLIN, 0};
    // Hang-up or error: report input so that the next read meets the end.
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL));
}

static long readStandardInput(char* to, std::size_t room) {
    ssize_t n;
    do n = read(0, to, room);
    while (n < 0 && errno == EINTR);
    return long(n);
}

#endif

void          startTimer() { timerOrigin = nowMs(); }
std::uint32_t elapsedTime() { return nowMs() - timerOrigin; }

static bool bufferHasLine() { return std::memchr(inputBuffer, '\n', std::size_t(bufferedBytes)) != nullptr; }

std::uint32_t inputAvailable() {
    return bufferHasLine() || inputClosed || inputWaiting() ? 1 : 0;
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
    const long n = readStandardInput(inputBuffer + bufferedBytes, std::size_t(INPUT_BUFFER_SIZE - bufferedBytes));
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
