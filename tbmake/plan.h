// tbmake/plan.h: the table-making job as a Makefile, so that GNU make (or a
// cluster scheduler behind it) runs independent tables side by side.
#pragma once
#include <string>
#include <vector>

// brix-tools tbplan DIR [--men 3|4|5] [NAME...] [-o FILE]: a Makefile with
// one target per table to make into DIR (the named records and every record
// of up to `men` men, 0 for none; every 3- and 4-man record when there are
// neither), plus every table their captures and promotions lead to. Each
// target runs `tbgen DIR NAME --pack` with this program once the tables it
// reads are there. Written to `output`, or stdout when empty. Returns 0, or
// 2 with the reason on stderr.
int writeTablePlan(const std::string& directory, int men, const std::vector<std::string>& names,
                   const std::string& output);
