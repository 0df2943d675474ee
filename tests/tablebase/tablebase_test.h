#pragma once
// Helpers for tablebase tests: scratch directories with table files written
// byte by byte, and the tablebase globals started and put back.
#include <cstdint>
#include <map>
#include <string>

// A fresh directory under /tmp, removed with everything in it.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::string path;
};

// Writes DIR/NAME of `bytes` bytes: block b of 8192 bytes filled with
// fill(b), then the given bytes at their offsets. Large files are sparse.
void writeTableFile(const std::string& path, std::uint64_t bytes, std::int8_t fill,
                    const std::map<std::uint64_t, std::int8_t>& at = {});
void writeBlockPattern(const std::string& path, std::uint64_t bytes, std::int8_t firstBlockFill);

// The catalogue's own byte count of a record side.
std::uint64_t tableSize(const char* name, int side);

// egtbPath = path, the cache exponent, egtbMaxPieces = -1, initTablebases.
void startTablebases(const std::string& path, int cacheLog = 10);
// No path, no tables, no cache: the state the rest of the suite expects.
void stopTablebases();

// Tablebase square from "e4".
std::uint32_t tbSquare(const char* name);
