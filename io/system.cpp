// io/system.cpp: the operating system's side of files, memory, processes
// and the terminal; one half for Windows, one for POSIX systems.
#include "io/system.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>

bool endsInSeparator(const char* path, const char* separators) {
    const std::size_t n = std::strlen(path);
    return n > 0 && std::strchr(separators, path[n - 1]) != nullptr;
}

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#include <psapi.h>

namespace {

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

DWORD attributesOf(const char* path) { return GetFileAttributesA(path); }

}  // namespace

bool readAt(std::FILE* file, void* buffer, std::size_t length, std::uint64_t offset) {
    // An OVERLAPPED offset makes ReadFile read there on a synchronous handle
    // too; no seek is shared with another reader.
    auto* at = static_cast<char*>(buffer);
    while (length > 0) {
        OVERLAPPED where{};
        where.Offset     = DWORD(offset & 0xFFFFFFFFu);
        where.OffsetHigh = DWORD(offset >> 32);
        const DWORD chunk = length > 0x40000000u ? 0x40000000u : DWORD(length);
        DWORD       got   = 0;
        if (!ReadFile(handleOf(file), at, chunk, &got, &where) || got == 0) return false;
        at += got;
        length -= got;
        offset += got;
    }
    return true;
}

bool syncToDisk(std::FILE* file) { return FlushFileBuffers(handleOf(file)) != 0; }

bool replaceFile(const char* from, const char* to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    // Callers report errno, as they do for rename.
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES : EIO;
    return false;
}

std::FILE* createFileBeside(const char* base, std::string& name) {
    // No permission bits to carry over: a new file inherits the directory's
    // access rights, as the old book did.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        name = std::string(base) + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        const int fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        if (std::FILE* f = _fdopen(fd, "wb")) return f;
        _close(fd);
        std::remove(name.c_str());
        return nullptr;
    }
    return nullptr;
}

std::string linkTarget(const char* path) { return path; }

bool isDirectory(const char* path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isRegularFile(const char* path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool fileSize(const char* path, std::uint64_t& bytes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    bytes = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

std::vector<std::string> directoryEntries(const char* directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA         found;
    const HANDLE             search = FindFirstFileA((std::string(directory) + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool makeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

std::string makeScratchDirectory(const std::string& prefix) {
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%06u", unsigned((GetTickCount() + attempt * 7919u) % 1000000u));
        const std::string path = prefix + suffix;
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return "";
}
bool removeDirectory(const char* path) { return RemoveDirectoryA(path) != 0; }

std::string currentDirectory() {
    char here[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof here, here);
    return n > 0 && n < sizeof here ? std::string(here, n) : std::string();
}

std::string executablePath() {
    char        self[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    return n > 0 && n < sizeof self ? std::string(self, n) : std::string();
}

bool isAbsolutePath(const std::string& path) {
    // "C:\..." or "C:/...", and "\\server\share" or a path from the drive's root.
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::uint64_t freeDiskBytes(const char* directory) {
    ULARGE_INTEGER free;
    return GetDiskFreeSpaceExA(directory, &free, nullptr, nullptr) ? free.QuadPart : UINT64_MAX;
}

std::uint64_t physicalMemoryBytes() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

std::uint64_t availableMemoryBytes() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : UINT64_MAX;
}

// Large pages on Windows need a privilege users rarely hold: plain pages.
void* allocateLarge(std::size_t bytes) { return _aligned_malloc(bytes, std::size_t(1) << 21); }
void  releaseLarge(void* block) { _aligned_free(block); }

// Windows keeps one peak for the life of the process.
void          restartPeakMemory() {}
std::uint64_t peakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

long processId() { return long(GetCurrentProcessId()); }

bool processGone(long id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(id));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

std::string hostName() {
    char  name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

double processCpuSeconds() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) { return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) * 1e-7;  // 100 ns ticks
}

bool errorIsTerminal() {
    static const bool terminal = [] {
        const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        DWORD        mode  = 0;
        if (!GetConsoleMode(error, &mode)) return false;
        // The status line rewrites itself with an escape sequence.
        SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        return true;
    }();
    return terminal;
}

int errorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

#else  // POSIX

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <climits>
#include <ctime>

bool readAt(std::FILE* file, void* buffer, std::size_t length, std::uint64_t offset) {
    auto* at = static_cast<char*>(buffer);
    while (length > 0) {
        const ssize_t got = pread(fileno(file), at, length, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        length -= std::size_t(got);
        offset += std::uint64_t(got);
    }
    return true;
}

bool syncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

std::FILE* createFileBeside(const char* base, std::string& name) {
    name = std::string(base) + ".XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0) return nullptr;
    // mkstemp makes the file private; give it the mode of the file it will
    // replace, or the mode a newly created file would have.
    struct stat  old;
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, stat(base, &old) == 0 ? old.st_mode & 07777 : 0666 & ~mask);
    if (std::FILE* f = fdopen(fd, "wb")) return f;
    const int error = errno;
    close(fd);
    unlink(name.c_str());
    errno = error;
    return nullptr;
}

std::string linkTarget(const char* path) {
    char target[PATH_MAX];
    if (realpath(path, target)) return target;
    // A link whose file is not made yet: its text, a path from here.
    const ssize_t n = readlink(path, target, sizeof target - 1);
    return n > 0 ? std::string(target, std::size_t(n)) : std::string(path);
}

bool isDirectory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool fileSize(const char* path, std::uint64_t& bytes) {
    struct stat info;
    if (stat(path, &info) != 0) return false;
    bytes = std::uint64_t(info.st_size);
    return true;
}

std::vector<std::string> directoryEntries(const char* directory) {
    std::vector<std::string> names;
    if (DIR* d = opendir(directory)) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

bool makeDirectory(const char* path) { return mkdir(path, 0777) == 0; }

std::string makeScratchDirectory(const std::string& prefix) {
    std::string path = prefix + "XXXXXX";
    return mkdtemp(&path[0]) ? path : std::string();
}
bool removeDirectory(const char* path) { return rmdir(path) == 0; }

std::string currentDirectory() {
    char here[PATH_MAX];
    return getcwd(here, sizeof here) ? std::string(here) : std::string();
}

std::string executablePath() {
    char          self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, std::size_t(n)) : std::string();
}

bool isAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::uint64_t freeDiskBytes(const char* directory) {
    struct statvfs info;
    if (statvfs(directory, &info) != 0) return UINT64_MAX;
    return std::uint64_t(info.f_bavail) * info.f_frsize;
}

std::uint64_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageBytes = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageBytes > 0 ? std::uint64_t(pages) * std::uint64_t(pageBytes) : 0;
}

std::uint64_t availableMemoryBytes() {
    if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "MemAvailable:", 13) == 0) {
                std::fclose(f);
                return std::strtoull(line + 13, nullptr, 10) * 1024;  // the kernel counts kB
            }
        std::fclose(f);
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES), pageBytes = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageBytes > 0 ? std::uint64_t(pages) * std::uint64_t(pageBytes) : UINT64_MAX;
}

void* allocateLarge(std::size_t bytes) {
    constexpr std::size_t PAGE  = std::size_t(1) << 21;
    const std::size_t     whole = (bytes + PAGE - 1) / PAGE * PAGE;
    void*                 block = std::aligned_alloc(PAGE, whole);
    if (block) madvise(block, whole, MADV_HUGEPAGE);
    return block;
}

void releaseLarge(void* block) { std::free(block); }

// The kernel keeps the process's peak resident memory; writing 5 to
// clear_refs starts it again.
void restartPeakMemory() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

std::uint64_t peakMemoryBytes() {
    std::uint64_t peak = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::strtoull(line + 6, nullptr, 10) * 1024;
        std::fclose(f);
    }
    return peak;
}

long processId() { return long(getpid()); }

bool processGone(long id) { return kill(pid_t(id), 0) != 0 && errno == ESRCH; }

std::string hostName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
    return host;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool errorIsTerminal() {
    static const bool terminal = isatty(2) != 0;
    return terminal;
}

int errorColumns() {
    winsize size{};
    return ioctl(2, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

#endif

// Both systems' C runtimes have the descriptor calls under these names.
int silenceStandardOutput() {
#ifdef _WIN32
    constexpr const char* NOWHERE = "NUL";
#else
    constexpr const char* NOWHERE = "/dev/null";
#endif
    std::fflush(stdout);
    const int saved = dup(1), sink = open(NOWHERE, O_WRONLY);
    dup2(sink, 1);
    close(sink);
    return saved;
}

void restoreStandardOutput(int saved) {
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
}
