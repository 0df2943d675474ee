// fuzz/fuzz_support.h: what every fuzz target shares: one engine start-up per
// process, a private scratch directory as the working directory while an
// input runs (the book jobs read and write BrixBook.bin there), and a
// deterministic reset between inputs, so that a crash file replays exactly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One input's stay in the scratch directory. On entry the engine is
// started (the first time: tables, a small transposition table, standard
// output sent to /dev/null unless BRIX_FUZZ_VERBOSE=1) and reset; the
// working directory is the scratch directory until the scope ends, since
// libFuzzer reads and writes its corpus by the paths it was given.
struct FuzzInput {
    FuzzInput();
    ~FuzzInput();
    FuzzInput(const FuzzInput&) = delete;
    FuzzInput& operator=(const FuzzInput&) = delete;
};

// Everything one input could have left behind for the next: position and
// game state, clock and depth settings, modes, hash tables, book random.
void resetFuzzEngine();

// The input as text: cut at `limit` bytes and at the first NUL.
std::string fuzzText(const std::uint8_t* data, std::size_t size, std::size_t limit);

// Writes bytes to a file of the scratch directory; false on any failure.
bool writeScratchFile(const char* name, const std::uint8_t* data, std::size_t size);

// Stops the run with a message when a property that must always hold
// fails; libFuzzer then keeps the input as a crash.
[[noreturn]] void fuzzFailure(const char* what, const std::string& detail);
