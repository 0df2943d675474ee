// tbmake/progress.cpp: the status line of long jobs. Worker threads report
// tenths of a phase, so every write is under one lock.
#include "tbmake/progress.h"
#include <chrono>
#include <cstdarg>
#include <mutex>
#include "io/system.h"

namespace {

std::mutex                            progressLock;
bool                                  verbose = false;
bool                                  lineShown = false;  // a status line is on the terminal
std::chrono::steady_clock::time_point lastLogged;         // last detail written to a log

// Columns the status line may fill: one that wraps cannot be rewritten.
int statusWidth() {
    const int columns = errorColumns();
    return columns > 200 ? 199 : columns - 1;
}

void clearLine() {
    if (!lineShown) return;
    std::fputs("\r\033[K", stderr);
    lineShown = false;
}

}  // namespace

void setVerboseProgress(bool wanted) { verbose = wanted; }
bool verboseProgress() { return verbose; }

void progressDetail(const char* format, ...) {
    char    text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::lock_guard<std::mutex> lock(progressLock);
    if (verbose) {
        std::fprintf(stderr, "%s\n", text);
    } else if (errorIsTerminal()) {
        std::fprintf(stderr, "\r%.*s\033[K", statusWidth(), text);
        lineShown = true;
    } else {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastLogged < std::chrono::seconds(60)) return;
        lastLogged = now;
        std::fprintf(stderr, "%s\n", text);
    }
    std::fflush(stderr);
}

void progressStep(const char* format, ...) {
    std::lock_guard<std::mutex> lock(progressLock);
    clearLine();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    lastLogged = std::chrono::steady_clock::now();
}

void clearProgressLine() {
    std::lock_guard<std::mutex> lock(progressLock);
    clearLine();
    std::fflush(stderr);
}

void progressOutput(const char* format, ...) {
    clearProgressLine();
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
