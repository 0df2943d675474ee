// driver/main.cpp: program entry. Without arguments the engine speaks the
// xboard protocol until quit or the end of input; with /CB, /SB or /MB it
// runs one opening-book job and ends.
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

// False when the job failed: the program then ends with status 1, so that
// a script sees a failed book build as a failure. A missing parameter or an
// unknown option only prints its message.
static bool runBookJob(int argc, char** argv) {
    const char* option    = argv[1];
    const char* parameter = argc > 2 ? argv[2] : nullptr;
    if (std::strcmp(option, "/CB") == 0) {
        if (!parameter) {
            std::printf("Please specify path to the PGN file\n");
            return true;
        }
        closeBook();
        return createBook(parameter);
    } else if (std::strcmp(option, "/SB") == 0) {
        if (!parameter) {
            std::printf("Please specify scoring depth\n");
            return true;
        }
        if (scoreBook(std::uint8_t(std::atoi(parameter)))) return true;
        std::printf("Cannot score the book!\n");
        return false;
    } else if (std::strncmp(option, "/MB", 3) == 0) {
        if (!parameter) {
            std::printf("Please specify source book file\n");
            return true;
        }
        return mergeBook(parameter, option[3] == 'O');
    }
    std::printf("Invalid option\n");
    return true;
}

int main(int argc, char** argv) {
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
    if (argc > 1)
        succeeded = runBookJob(argc, argv);
    else
        runGameLoop();
    std::fflush(stdout);
    closeBook();
    freeTables();
    traceLog("close");
    return succeeded ? 0 : 1;
}
