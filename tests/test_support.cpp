#include "tests/test_support.h"
#include <gtest/gtest.h>
#include "board/setup.h"
#include "eval/evaluate.h"
#include "search/ordering.h"

void setUpFen(const std::string& fen) {
    initPieceSquareTables();
    clearOrderingTables();
    ASSERT_TRUE(setPositionFromFen(fen.c_str())) << fen;
}

std::string currentFen() {
    char buffer[100];
    positionToFen(buffer);
    return buffer;
}

std::string sharedPath(const std::string& relative) { return std::string(BRIX_SHARED_DIR) + "/" + relative; }
