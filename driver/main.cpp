// driver/main.cpp: the engine's entry point. The xboard protocol driver is
// not built yet; until then the engine only sets itself up and says so.
#include <cstdio>
#include "board/setup.h"
#include "eval/evaluate.h"

int main() {
    initPieceSquareTables();
    resetPosition();
    std::printf("Brix 1.0\n");
    std::fflush(stdout);
    return 0;
}
