// driver/main.cpp: program entry. Without arguments the engine speaks the
// xboard protocol until quit or the end of input; with /CB, /SB or /MB it
// runs one opening-book job and ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include "board/position.h"
#include "book/book.h"
#include "driver/gameloop.h"
#include "driver/protocol.h"
#include "driver/startup.h"
#include "tablebase/tablebase.h"

static void runBookJob(int argc, char** argv) {
    const char* option    = argv[1];
    const char* parameter = argc > 2 ? argv[2] : nullptr;
    if (std::strcmp(option, "/CB") == 0) {
        if (!parameter) {
            std::printf("Please specify path to the PGN file\n");
            return;
        }
        closeBook();
        createBook(parameter);
    } else if (std::strcmp(option, "/SB") == 0) {
        if (!parameter) {
            std::printf("Please specify scoring depth\n");
            return;
        }
        if (!scoreBook(std::uint8_t(std::atoi(parameter)))) std::printf("Cannot score the book!\n");
    } else if (std::strncmp(option, "/MB", 3) == 0) {
        if (!parameter) {
            std::printf("Please specify source book file\n");
            return;
        }
        mergeBook(parameter, option[3] == 'O');
    } else {
        std::printf("Invalid option\n");
    }
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
    levelMoves     = 0;
    levelBaseTime  = 500;
    levelIncrement = 0;
    moveTime       = 500;
    depthLimit     = 64;
    seedBookRandom(std::uint32_t(pieceKeys[std::time(nullptr) % 768]));
    openBook();
    egtbMaxPieces = -1;
    initTablebases();
    printBanner();
    if (argc > 1)
        runBookJob(argc, argv);
    else
        runGameLoop();
    std::fflush(stdout);
    closeBook();
    freeTables();
    traceLog("close");
    return 0;
}
