// tbmake/verify.h: the verifier that checks finished table files move by
// move, and the dump of a table as text.
#pragma once
#include <string>
#include <vector>

// Checks every index of the named tables (all 3- and 4-man records when the
// list is empty) against its successors; one line per table and a totals
// line on stdout. Returns 0 when every table is sound.
int verifyTables(const std::string& directory, const std::vector<std::string>& names);
// Prints "FEN<tab>stored value" for every position of one table, both
// sides to move, the left-right mirror images included.
int dumpTable(const std::string& directory, const std::string& name);
