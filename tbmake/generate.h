// tbmake/generate.h: the endgame table generator: retrograde analysis to
// distance to mate, one record at a time, the tables its captures and
// promotions lead to first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Makes the named records, or with `men` (3, 4 or 5) every record of up to
// that many men, or all 3- and 4-man records when neither is given, into the
// directory, each after the tables its captures and promotions lead to.
// Records named are made again; every other table already complete there,
// uncompressed or compressed, is kept, so a stopped job started again
// continues where it was. With `pack` every table is compressed to .emd
// files as soon as it is made (or found uncompressed) and its uncompressed
// files removed; later tables read it through the engine's reader. A file
// under its final name is always whole. Refuses (1) before starting when
// the directory's disk or the memory cannot hold the job. One progress line
// per pass on stderr, more with `verbose`. Returns 0 on success.
int generateTables(const std::string& directory, const std::vector<std::string>& names, bool pack = false, int men = 0,
                   bool verbose = false);

// The job's parts, shared with the plan that hands them to make.
// Every record of up to `men` men (3, 4 or 5).
void recordsOfMen(int men, std::vector<int>& ordinals);
// The records with every record their captures and promotions lead to,
// each after those it needs.
std::vector<int> jobOrder(const std::vector<int>& ordinals);
// Bytes of a record's uncompressed files, and of memory at the peak of
// making it (and compressing it, with `pack`).
std::uint64_t rawBytesOf(int ordinal);
std::uint64_t memoryToMake(int ordinal, bool pack);
