// io/system.h: what the engine and its tools ask of the operating system
// beyond standard C++: positioned reads, writes that reach the disk before a
// rename publishes them, directories, memory, processes and the terminal.
// system.cpp has a POSIX half and a Windows half; no file above this layer
// needs to know which system it runs on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Path separators of this system: every system takes '/', Windows '\' too.
#ifdef _WIN32
constexpr const char* PATH_SEPARATORS = "/\\";
#else
constexpr const char* PATH_SEPARATORS = "/";
#endif

// Whether a path ends in one of `separators`, as C:\tables\ or /tables/ do.
bool endsInSeparator(const char* path, const char* separators = PATH_SEPARATORS);

// Files.
// Reads exactly `length` bytes at `offset` without using or moving the
// stream's position, so threads may share the file; false on a short read.
bool readAt(std::FILE* file, void* buffer, std::size_t length, std::uint64_t offset);
bool syncToDisk(std::FILE* file);  // flushed stream's bytes on the disk
// Gives `from` the name `to`, replacing a file that has it (in one step
// where the system can).
bool replaceFile(const char* from, const char* to);
// A new file "BASE.XXXXXX" beside BASE, opened for binary writing, with the
// permissions BASE has (or a new file would have); its name goes to `name`.
std::FILE* createFileBeside(const char* base, std::string& name);
// The file a symbolic link leads to, as a path; `path` itself when it is
// no link (or the system has none).
std::string linkTarget(const char* path);
bool isDirectory(const char* path);
bool isRegularFile(const char* path);
bool fileSize(const char* path, std::uint64_t& bytes);  // false: no such file
std::vector<std::string> directoryEntries(const char* directory);  // without "." and ".."
bool makeDirectory(const char* path);
// A new directory PREFIX followed by six characters of its own; "" on failure.
std::string makeScratchDirectory(const std::string& prefix);
bool removeDirectory(const char* path);  // an empty one
std::string currentDirectory();
std::string executablePath();  // this program's file; "" when unknown
bool isAbsolutePath(const std::string& path);
std::uint64_t freeDiskBytes(const char* directory);  // UINT64_MAX: unknown

// Memory.
std::uint64_t physicalMemoryBytes();   // 0: unknown
std::uint64_t availableMemoryBytes();  // UINT64_MAX: unknown
// Large arrays touched at random, on 2 MB pages where the system offers
// them; released with releaseLarge. nullptr when there is no room.
void* allocateLarge(std::size_t bytes);
void  releaseLarge(void* block);
void          restartPeakMemory();  // where the system can: peaks count from here
std::uint64_t peakMemoryBytes();    // resident peak, 0: unknown

// Processes and the machine.
long        processId();
bool        processGone(long id);  // on this machine; false when unsure
std::string hostName();
double      processCpuSeconds();  // every thread of this process

// The terminal on standard error, for status lines that rewrite themselves.
bool errorIsTerminal();
int  errorColumns();  // 80 when unknown

// Standard output sent nowhere and back, for timing code that prints.
int  silenceStandardOutput();  // returns what restoreStandardOutput needs
void restoreStandardOutput(int saved);
