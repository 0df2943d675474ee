// tbmake/generate.h: the endgame table generator: retrograde analysis to
// distance to mate, one record at a time, the tables its captures and
// promotions lead to first.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Makes the named records (all 3- and 4-man records when the list is
// empty) into the directory, first making any missing table that their
// captures and promotions lead to; tables already there, uncompressed or
// compressed, are kept. With `pack` every table is compressed to .emd files
// as soon as it is made (or found uncompressed) and its uncompressed files
// removed; later tables read it through the engine's reader. Returns 0 on
// success.
int generateTables(const std::string& directory, const std::vector<std::string>& names, bool pack = false);
// Runs work(begin, end) over [0, size) in chunks on every core; with a
// label, reports every tenth of the way on stderr as "label 30%".
void runParallel(std::uint64_t size, const std::function<void(std::uint64_t, std::uint64_t)>& work,
                 const char* label = nullptr);
