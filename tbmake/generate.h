// tbmake/generate.h: the endgame table generator: retrograde analysis to
// distance to mate, one record at a time, the tables its captures and
// promotions lead to first.
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
