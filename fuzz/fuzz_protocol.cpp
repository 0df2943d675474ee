// fuzz/fuzz_protocol.cpp: xboard input. The input is a session, one command
// a line, fed to the engine on descriptor 0 through a pipe; the game loop
// runs it to the end of input exactly as it would under a GUI, with a book
// built at start-up from the project's own games.
//
// Searches are kept short and free of the clock, so that a run is fast and
// replays exactly: the clock stands still (below), every search is depth-limited (at most SEARCH_DEPTH
// plies), and a command that sets a time control is followed by an `sd`
// that turns the clock off again. Time controls still go through their own
// arithmetic; only the budgets they give are not used. The search reads
// the pipe at its usual polls, so commands still arrive during searches
// (analysis and pondering too), at node counts, not at times.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "book/book.h"
#include "book/bookfile.h"
#include "driver/console.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "fuzz/fuzz_support.h"

#ifndef BRIX_SOURCE_DIR
#error "BRIX_SOURCE_DIR must name the project folder"
#endif

// The engine's clock stands still here. With the searches bounded by depth
// no decision depends on it, but the times it prints and charges to the
// clocks would still differ from run to run, and with them the lengths of
// thinking lines and the paths through the clock arithmetic: a stopped
// clock keeps every run of an input the same. Only the monotonic clock the
// engine reads is stopped; libFuzzer times its runs by the wall clock.
extern "C" int clock_gettime(clockid_t clock, timespec* time) {
    if (clock == CLOCK_MONOTONIC) {
        time->tv_sec  = 1000;
        time->tv_nsec = 0;
        return 0;
    }
    return int(syscall(SYS_clock_gettime, clock, time));
}

namespace {

constexpr int         SEARCH_DEPTH = 3;     // plies
constexpr std::size_t INPUT_LIMIT  = 16384; // bytes of session read from one input
constexpr int         BOOK_GAMES   = 300;   // games of the built-in collection in the book

std::vector<std::uint8_t> bookBytes;  // the book as built, restored before every input

// A book from the first games of the built-in collection, kept in memory.
void buildBook() {
    std::FILE* in  = std::fopen(BRIX_SOURCE_DIR "/book/games/masters-modern.pgn", "r");
    std::FILE* out = std::fopen("games.pgn", "w");
    if (!in || !out) {
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        return;
    }
    char line[4096];
    int  games = 0;
    while (std::fgets(line, sizeof line, in)) {
        if (std::strncmp(line, "[Event ", 7) == 0 && ++games > BOOK_GAMES) break;
        std::fputs(line, out);
    }
    std::fclose(in);
    std::fclose(out);
    closeBook();
    if (!createBook("games.pgn")) return;
    if (std::FILE* book = std::fopen(BOOK_FILE_NAME, "rb")) {
        std::uint8_t chunk[65536];
        std::size_t  n;
        while ((n = std::fread(chunk, 1, sizeof chunk, book)) > 0) bookBytes.insert(bookBytes.end(), chunk, chunk + n);
        std::fclose(book);
    }
}

// The session as the engine gets it: each input line, and after the ones
// that would bring the clock or a deep search in, a line that bounds them.
std::string boundedSession(const std::string& input) {
    std::string session;
    std::size_t at = 0;
    while (at < input.size()) {
        std::size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(at, end - at);
        at               = end + 1;
        // The console drops a carriage return before the line feed.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t w          = line.find_first_not_of(' ');
        const std::string word = w == std::string::npos ? "" : line.substr(w, line.find(' ', w) - w);
        if (word == "sd") {
            const long depth = std::strtol(line.c_str() + w + 2, nullptr, 10);
            session += depth > SEARCH_DEPTH ? "sd " + std::to_string(SEARCH_DEPTH) : line;
            session += '\n';
            continue;
        }
        session += line;
        session += '\n';
        if (word == "st" || word == "level" || word == "analyze")
            session += "sd " + std::to_string(SEARCH_DEPTH) + "\n";
    }
    return session;
}

// Descriptor 0 becomes a pipe holding the whole session, then its end.
bool feedStandardInput(const std::string& session) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    std::size_t written = 0;
    while (written < session.size()) {
        const ssize_t n = write(ends[1], session.data() + written, session.size() - written);
        if (n <= 0) break;
        written += std::size_t(n);
    }
    close(ends[1]);
    const bool ok = written == session.size() && dup2(ends[0], 0) == 0;
    close(ends[0]);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool bookBuilt = false;
    const FuzzInput scope;
    if (!bookBuilt) {
        bookBuilt = true;
        buildBook();
        resetFuzzEngine();
    }
    closeBook();
    if (!bookBytes.empty()) {
        if (!writeScratchFile(BOOK_FILE_NAME, bookBytes.data(), bookBytes.size()))
            fuzzFailure("scratch file", "cannot write the book");
        openBook();
    }
    // The session must fit the pipe at once (64 KB): the input is cut well
    // below that, and each line adds at most one bounding line.
    const std::string session = boundedSession(fuzzText(data, size, INPUT_LIMIT));
    if (!feedStandardInput(session)) fuzzFailure("standard input", "cannot feed the session");
    resetInput();
    runGameLoop();
    closeBook();
    return 0;
}
