// tools/tbgen.h: the endgame table generator (retrograde analysis, distance
// to mate) and the verifier that checks finished files move by move.
#pragma once
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
// Checks every index of the named tables (all 3- and 4-man records when the
// list is empty) against its successors; one line per table and a totals
// line on stdout. Returns 0 when every table is sound.
int verifyTables(const std::string& directory, const std::vector<std::string>& names);
// Prints "FEN<tab>stored value" for every position of one table, both
// sides to move, the left-right mirror images included.
int dumpTable(const std::string& directory, const std::string& name);
// Reads every block of the tables found in the directory (all when the
// list is empty) and probes them at random through a three-slot cache;
// prints the speeds.
int measureTableReading(const std::string& directory, const std::vector<std::string>& names);
