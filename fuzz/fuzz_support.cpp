// fuzz/fuzz_support.cpp: start-up, reset and scratch files for the fuzz
// targets. The engine keeps its whole state in globals, so every input
// starts from the same reset: otherwise hash tables and settings left by
// one input would steer the next, and a saved crash would not replay.
#include "fuzz/fuzz_support.h"
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "board/position.h"
#include "book/book.h"
#include "driver/console.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "driver/startup.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "search/hashtable.h"
#include "search/ordering.h"
#include "search/searchdata.h"

static char scratchDirectory[256];

// Empties and removes the scratch directory when the run ends normally.
static void removeScratchDirectory() {
    if (!scratchDirectory[0]) return;
    if (DIR* dir = opendir(scratchDirectory)) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            const std::string path = std::string(scratchDirectory) + "/" + entry->d_name;
            std::remove(path.c_str());
        }
        closedir(dir);
    }
    rmdir(scratchDirectory);
}

static char startDirectory[4096];

static void startFuzzEngine() {
    static bool started = false;
    if (started) return;
    started = true;
    const char* verbose = std::getenv("BRIX_FUZZ_VERBOSE");
    if (!verbose || std::strcmp(verbose, "1") != 0) {
        // The engine talks on standard output; libFuzzer reports on
        // standard error, which stays.
        if (!std::freopen("/dev/null", "w", stdout)) fuzzFailure("start-up", "cannot silence standard output");
    }
    // Nothing may wait on the terminal: standard input is empty unless a
    // target feeds it.
    const int empty = open("/dev/null", O_RDONLY);
    if (empty < 0 || dup2(empty, 0) != 0) fuzzFailure("start-up", "cannot empty standard input");
    close(empty);
    if (!getcwd(startDirectory, sizeof startDirectory)) fuzzFailure("start-up", "no working directory");
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(scratchDirectory, sizeof scratchDirectory, "%s/brix-fuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(scratchDirectory)) {
        scratchDirectory[0] = '\0';
        fuzzFailure("start-up", "cannot make a scratch directory");
    }
    std::atexit(removeScratchDirectory);
    // A small main table: every search here is shallow, and the tables are
    // cleared for every input.
    static char settings[] = "TT_SIZE 96\n";
    if (std::FILE* config = fmemopen(settings, std::strlen(settings), "r")) {
        readConfig(config);
        std::fclose(config);
    }
    if (!initApp()) fuzzFailure("start-up", "initApp failed");
    inputPolling = true;
}

FuzzInput::FuzzInput() {
    startFuzzEngine();
    if (chdir(scratchDirectory) != 0) fuzzFailure("scratch directory", scratchDirectory);
    resetFuzzEngine();
}

FuzzInput::~FuzzInput() {
    if (chdir(startDirectory) != 0) fuzzFailure("scratch directory", startDirectory);
}

// A crash file is written wherever the working directory is at that moment,
// which may be the scratch directory: unless told otherwise, libFuzzer is
// given the directory the run started in as the place for them.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-artifact_prefix=", 17) == 0 ||
            std::strncmp((*argv)[i], "-exact_artifact_path=", 21) == 0)
            return 0;
    static char              prefix[4200];
    static std::vector<char*> arguments;
    char                     here[4096];
    if (!getcwd(here, sizeof here)) return 0;
    std::snprintf(prefix, sizeof prefix, "-artifact_prefix=%s/", here);
    arguments.assign(*argv, *argv + *argc);
    arguments.push_back(prefix);
    arguments.push_back(nullptr);
    *argc = int(arguments.size()) - 1;
    *argv = arguments.data();
    return 0;
}

void resetFuzzEngine() {
    newGame();
    ply            = 0;
    forceMode      = 0;
    analyzeMode    = 0;
    pondering      = 0;
    searching      = 0;
    stopRequest    = STOP_NONE;
    pendingCommand = CMD_NONE;
    undoPlies      = 0;
    engineOptions  = OPTION_XBOARD | OPTION_POST;
    endAnalysisLimits();  // forgets what an analyze of the last input kept
    setFixedDepth(3);
    setupText[0] = '\0';
    // Search memory that reaches from one think into the next.
    clearHashTables();
    clearPawnHashTable();
    clearOrderingTables();
    clearSearchState();
    lastBookPly = 0;
    std::memset(postBookScores, 0, sizeof postBookScores);
    seedBookRandom(1);
    resetInput();
}

std::string fuzzText(const std::uint8_t* data, std::size_t size, std::size_t limit) {
    std::string text(reinterpret_cast<const char*>(data), size < limit ? size : limit);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

bool writeScratchFile(const char* name, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void fuzzFailure(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n*** fuzz property failed: %s\n%s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}
