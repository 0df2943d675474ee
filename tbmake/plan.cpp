// tbmake/plan.cpp: the Makefile of a table-making job. Make, not this
// program, decides what runs when: a table's target is its last file
// written, so a table already complete is up to date and one interrupted
// is made again from its start.
#include "tbmake/plan.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "io/system.h"
#include "tablebase/catalogue.h"
#include "tbmake/generate.h"
#include "tbmake/placement.h"
#include "tbmake/tablefiles.h"

// The file tbgen --pack writes last for a record: it compresses the .nbw
// side first, and a symmetric record has no .nbb side.
static std::string finalFile(int ordinal) {
    const TablebaseRecord& r = tablebaseCatalogue[ordinal];
    return std::string(r.name) + ((r.flags & TB_SYMMETRIC) ? ".nbw.emd" : ".nbb.emd");
}

static std::string absolutePath(const std::string& path) {
    if (isAbsolutePath(path)) return path;
    const std::string here = currentDirectory();
    return here.empty() ? path : here + "/" + path;
}

// Make splits words at blanks and gives '$', '#', ':', '%' and '\' meanings
// of its own; a path holding one would need quoting that make lacks.
static bool usableInMake(const std::string& path) {
    return path.find_first_of(" \t\n$#:%\\;*?[]") == std::string::npos;
}

int writeTablePlan(const std::string& directory, int men, const std::vector<std::string>& names,
                   const std::string& output) {
    std::vector<int> chosen;
    std::string      unknown;
    if ((!names.empty() || men == 0) && !recordsNamed(names, TB_LAST_FIVE_MAN, chosen, unknown)) {
        std::fprintf(stderr, "tbplan: no table of up to five men is called '%s'\n", unknown.c_str());
        return 2;
    }
    if (men != 0 && (men < 3 || men > 5)) {
        std::fprintf(stderr, "tbplan: --men takes 3, 4 or 5\n");
        return 2;
    }
    if (men != 0) recordsOfMen(men, chosen);
    const std::vector<int> order = jobOrder(chosen);

    const std::string where = absolutePath(directory);
    const std::string self  = executablePath();
    const std::string tools = self.empty() ? std::string("brix-tools") : self;
    if (!usableInMake(where) || !usableInMake(tools)) {
        std::fprintf(stderr, "tbplan: make cannot use the path %s (blanks or one of $#:%%\\;*?[])\n",
                     usableInMake(where) ? tools.c_str() : where.c_str());
        return 2;
    }
    int           largest = order.front();
    std::uint64_t rawBytes = 0;
    for (int o : order) {
        if (memoryToMake(o, true) > memoryToMake(largest, true)) largest = o;
        rawBytes += rawBytesOf(o);
    }

    std::FILE* f = output.empty() ? stdout : std::fopen(output.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "tbplan: cannot write %s\n", output.c_str());
        return 2;
    }
    std::fprintf(f,
                 "# Endgame tables into %s: %zu tables (%.2f GB uncompressed), each made by\n"
                 "# `brix-tools tbgen DIR NAME --pack` once the tables its captures and\n"
                 "# promotions lead to are there. Written by `brix-tools tbplan`; run\n"
                 "#     make -f THIS_FILE -j N [TABLE...]     (default: all)\n"
                 "# A table's target is the file tbgen writes last; a table whose file is\n"
                 "# there is complete and never made again (the tables it reads are needed\n"
                 "# first, not newer: their prerequisites are order-only).\n"
                 "#\n"
                 "# Memory: the largest table, %s, needs about %.0f MB at its peak; N tables\n"
                 "# side by side need up to N times that, so choose N by free memory. Every\n"
                 "# tbgen uses all cores by itself: N above the core count gains little.\n"
                 "# On a cluster over a shared directory: make -f THIS_FILE -j N LAUNCH='srun ...'\n",
                 where.c_str(), order.size(), double(rawBytes) / 1e9, tablebaseCatalogue[largest].name,
                 double(memoryToMake(largest, true)) / 1e6);
    std::fprintf(f,
                 "\nBRIX_TOOLS ?= %s\n"
                 "# Put before every tbgen, e.g. 'srun -N1 -n1 -c2 --mem=8G'.\n"
                 "LAUNCH ?=\n"
                 "TBGEN ?= $(LAUNCH) $(BRIX_TOOLS) tbgen\n"
                 "DIR := %s\n\n"
                 ".PHONY: all",
                 tools.c_str(), where.c_str());
    for (int o : order) std::fprintf(f, " %s", tablebaseCatalogue[o].name);
    std::fprintf(f, "\n\nall:");
    for (int o : order) std::fprintf(f, " %s", tablebaseCatalogue[o].name);
    std::fputc('\n', f);
    for (int o : order) {
        const char* name = tablebaseCatalogue[o].name;
        std::fprintf(f, "\n# %s: about %.0f MB at its peak\n%s: $(DIR)/%s\n$(DIR)/%s:", name, double(memoryToMake(o, true)) / 1e6,
                     name, finalFile(o).c_str(), finalFile(o).c_str());
        std::vector<int> subtables;
        subtablesOf(o, subtables);
        if (!subtables.empty()) std::fputs(" |", f);
        for (int sub : subtables) std::fprintf(f, " $(DIR)/%s", finalFile(sub).c_str());
        std::fprintf(f, "\n\t$(TBGEN) $(DIR) %s --pack\n", name);
    }
    const bool ok = std::ferror(f) == 0;
    if (f != stdout && std::fclose(f) != 0) {
        std::fprintf(stderr, "tbplan: cannot write %s\n", output.c_str());
        return 2;
    }
    return ok ? 0 : 2;
}
