#pragma once
// Shared helpers for the test suite.
#include <string>
#include <vector>
#include "tools/pgn.h"

#ifndef BRIX_SHARED_DIR
#error "BRIX_SHARED_DIR must name the shared data folder"
#endif

// Sanitizer builds run the same checks on smaller searches.
#ifdef BRIX_SANITIZED
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

// Sets up the engine's tables and the given FEN; fails the test if refused.
void setUpFen(const std::string& fen);
std::string currentFen();
std::string sharedPath(const std::string& relative);

// Plays the SAN token on the current position: parseSan, then the generated
// move with the same word, then makeMove. False if any step fails.
bool playSan(const std::string& token);


// FENs at pseudo-random plies of real games from the shared collections,
// deterministic for a seed.
std::vector<std::string> realGamePositions(int count, unsigned seed);

// Runs a shell command with its standard error joined to its output, which
// goes to `output` when given; returns its exit status, or -1 when it did
// not exit normally.
int runCommand(const std::string& command, std::string* output = nullptr);
