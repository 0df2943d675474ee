// tbmake/speed.h: how fast the engine reads its tables.
#pragma once
#include <string>
#include <vector>

// Reads every block of the tables found in the directory (all when the
// list is empty) and probes them at random through a three-slot cache;
// prints the speeds.
int measureTableReading(const std::string& directory, const std::vector<std::string>& names);
