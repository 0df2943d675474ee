// tbmake/pack.h: the compressor command that turns uncompressed table files
// into .emd files. Every file it keeps has been read back through the
// engine's own reader and compared byte by byte, save the free bytes (127,
// indices no position reaches) of one-byte tables, which it fills as it likes.
#pragma once
#include <string>
#include <vector>
#include "tbmake/emdwriter.h"

// Compresses one side of a record found uncompressed in the directory into
// NAME.nbw.emd / NAME.nbb.emd: written under a scratch name, read back
// through the engine's reader (registration and every block), compared, and
// only then renamed into place. With `removeRaw` the uncompressed file is
// deleted afterwards. False with the reason in `error`. Forgets every
// registered table file of the engine on the way.
bool packTableSide(const std::string& directory, int ordinal, int side, bool removeRaw, std::string& error,
                   PackSummary* summary = nullptr);

// This process's mark in scratch names, "HOST-PID": files and directories
// that carry it are unfinished work of this process, and a later run on
// the same host removes them once no process has that number.
std::string scratchTag();

// brix-tools tbpack DIR [NAME...] [--remove]: every named record (default:
// every record whose uncompressed files are all in DIR), each side. One
// progress line per file on stderr, totals on stdout. Returns 0, or 1 with
// the reason printed on the first failure.
int packTables(const std::string& directory, const std::vector<std::string>& names, bool removeRaw);
