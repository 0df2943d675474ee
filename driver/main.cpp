// driver/main.cpp: program entry. Without arguments the engine speaks the
// xboard protocol (or UCI) until quit or the end of input; with /CB, /SB or
// /MB it runs one opening-book job and ends, and with --help it only says so.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include "board/position.h"
#include "book/book.h"
#include "driver/console.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "driver/startup.h"
#include "search/timecontrol.h"
#include "tablebase/tablebase.h"

static const char USAGE[] =
    "Usage: brix [JOB]\n"
    "With no argument Brix is a chess engine speaking the xboard protocol (or UCI,\n"
    "when the first line is \"uci\") on standard input and output.\n"
    "Jobs on the opening book BrixBook.bin in the working directory:\n"
    "  /CB FILE     build a new book from the games of the PGN file FILE\n"
    "  /SB DEPTH    score every book position by a search of DEPTH plies\n"
    "  /MB FILE     copy scores and learning from the book FILE\n"
    "  /MBO FILE    the same, FILE winning every conflict\n"
    "  -h, --help   print this text\n";

// What the command line asks for. Help and mistakes are answered before
// start-up, which they do not need (tables, book, banner).
enum class Command { PLAY, BOOK_JOB, HELP, NO_PARAMETER, INVALID };

static Command readCommandLine(int argc, char** argv) {
    if (argc < 2) return Command::PLAY;
    const char* option = argv[1];
    if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) return Command::HELP;
    if (std::strcmp(option, "/CB") != 0 && std::strcmp(option, "/SB") != 0 && std::strncmp(option, "/MB", 3) != 0)
        return Command::INVALID;
    return argc > 2 ? Command::BOOK_JOB : Command::NO_PARAMETER;
}

static const char* missingParameterText(const char* option) {
    if (std::strcmp(option, "/CB") == 0) return "Please specify path to the PGN file";
    if (std::strcmp(option, "/SB") == 0) return "Please specify scoring depth";
    return "Please specify source book file";
}

// False when the job failed, said on standard error: the program then ends
// with status 1, so that a script sees a failed book build as a failure.
static bool runBookJob(const char* option, const char* parameter) {
    if (std::strcmp(option, "/CB") == 0) {
        closeBook();
        return createBook(parameter);
    }
    if (std::strcmp(option, "/SB") == 0) {
        if (scoreBook(std::uint8_t(std::atoi(parameter)))) return true;
        std::fprintf(stderr, "Cannot score the book!\n");
        return false;
    }
    return mergeBook(parameter, option[3] == 'O');
}

int main(int argc, char** argv) {
    const Command command = readCommandLine(argc, argv);
    if (command == Command::HELP) {
        std::fputs(USAGE, stderr);
        return 0;
    }
    if (command == Command::INVALID) {
        std::fprintf(stderr, "Invalid option\n%s", USAGE);
        return 2;
    }
    if (command == Command::NO_PARAMETER) {
        std::fprintf(stderr, "%s\n", missingParameterText(argv[1]));
        return 1;
    }
    traceLog("open");
    applyNameDigit(argc > 0 ? argv[0] : nullptr);
    if (std::FILE* config = std::fopen("brix.cfg", "r")) {
        readConfig(config);
        std::fclose(config);
    }
    if (!initApp()) return 0;
    newGame();
    setClockControl(0, 500, 0);  // 5 s a game until the GUI sets a control
    seedBookRandom(std::uint32_t(pieceKeys[std::time(nullptr) % 768]));
    openBook();
    egtbMaxPieces = -1;
    initTablebases();
    printBanner();
    pollHook       = pollInputDuringSearch;
    bool succeeded = true;
    if (command == Command::BOOK_JOB)
        succeeded = runBookJob(argv[1], argv[2]);
    else
        runGameLoop();
    std::fflush(stdout);
    closeBook();
    freeTables();
    traceLog("close");
    return succeeded ? 0 : 1;
}
