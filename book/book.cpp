// book/book.cpp: placeholder until the book file is read and written.
#include "book/book.h"
#include <cstdio>

bool openBook() { return false; }
void closeBook() {}
Move probeBook(bool) { return 0; }
void learnFromResult(int, const std::int16_t*, int) {}

bool createBook(const char*) {
    std::printf("Book creation is not available in this build\n");
    return false;
}
bool scoreBook(int) { return false; }
bool mergeBook(const char*, bool) {
    std::printf("Book merging is not available in this build\n");
    return false;
}
