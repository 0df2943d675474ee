#pragma once
// Shared helpers for the test suite.
#include <string>
#include <vector>

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
