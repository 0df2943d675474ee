// book/book.h: the opening book (BrixBook.bin in the current directory).
// Not built yet: no book is ever open, so probes find nothing and the book
// jobs only report that they cannot run.
#pragma once
#include <cstdint>
#include "board/types.h"

bool openBook();   // false when there is no usable book file
void closeBook();
// With print set, lists the book moves of the current position (the bk
// command) instead of choosing one. Returns the chosen move or 0.
Move probeBook(bool print);
void learnFromResult(int lastBookPly, const std::int16_t* postBookScores, int result);

bool createBook(const char* pgnPath);
bool scoreBook(int depth);
bool mergeBook(const char* sourcePath, bool replace);
