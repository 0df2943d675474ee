// book/book.h: book move choice and learning, and the book jobs run from
// the command line (creation from PGN, scoring by search, merging).
#pragma once
#include <cstdint>
#include "board/types.h"
#include "book/bookfile.h"

constexpr int BOOK_MAX_CANDIDATES = 32;

// The book's random numbers, 0..32767, from the classic C library generator
// (seed * 214013 + 2531011); seeded once at start-up.
void seedBookRandom(std::uint32_t seed);
int  bookRandom();

// With print set, lists the book moves of the current position (the bk
// command); either way weighs them and returns the chosen move, or 0.
Move probeBook(bool print);
// Where the choosing form's line of candidates (SAN, best first) goes.
// Unset, it is printed as a thinking-style line "0 0 0 0 ( ... )".
extern void (*bookLineHook)(const char* candidates);
// r: the result from white's view (+1, 0, -1).
void learnFromResult(int lastBookPly, const std::int16_t* postBookScores, int r);

// The book jobs; false when the job failed (the reason said on standard
// error), so that the program can end with a failure status. Progress goes
// to standard output.
bool createBook(const char* pgnPath);
bool scoreBook(int depth);
bool mergeBook(const char* sourcePath, bool replace);
