// driver/startup.cpp: start-up settings. A transposition table size that
// makes no sense means the default; a real one is clamped to half the
// machine's memory and halved further until the allocation succeeds, so no
// setting can stop the engine from starting.
#include "driver/startup.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include "driver/protocol.h"
#include "eval/pawns.h"
#include "io/system.h"
#include "search/hashtable.h"
#include "search/strength.h"
#include "search/threads.h"
#include "tablebase/tablebase.h"

std::uint64_t configuredTableKb = 3100;

// TT_SIZE in KB. A negative, non-numeric, too small or absurd value (more
// than 32 bits of KB, beyond any table this engine can index) means the
// default, with a note; a real large request is clamped later by initApp.
static std::uint64_t readTableSize(const char* value) {
    constexpr std::uint64_t DEFAULT_KB = 3100, LARGEST_KB = 0xFFFFFFFFu;
    errno                  = 0;
    char*               end = nullptr;
    const std::uint64_t kb  = std::strtoull(value, &end, 10);
    const bool usable = end != value && value[0] != '-' && errno != ERANGE && kb >= 48 && kb <= LARGEST_KB;
    if (usable) return kb;
    std::fprintf(stderr, "brix.cfg: TT_SIZE %s is not a table size in KB; using %llu\n", value,
                 static_cast<unsigned long long>(DEFAULT_KB));
    return DEFAULT_KB;
}

void readConfig(std::FILE* file) {
    char line[255];
    while (std::fgets(line, sizeof line, file)) {
        char*       rest  = nullptr;
        const char* key   = strtok_r(line, " \t", &rest);
        const char* value = key ? strtok_r(nullptr, " =\t\r\n", &rest) : nullptr;
        if (!key || !value) continue;
        if (std::strcmp(key, "PONDER") == 0) {
            if (std::atoi(value) == 1) engineOptions |= OPTION_PONDER;
        } else if (std::strcmp(key, "LEARN") == 0) {
            if (std::atoi(value) == 1) engineOptions |= OPTION_LEARN;
        } else if (std::strcmp(key, "RESIGN") == 0) {
            if (std::atoi(value) == 1) engineOptions |= OPTION_RESIGN;
        } else if (std::strcmp(key, "TT_SIZE") == 0) {
            configuredTableKb = readTableSize(value);
        } else if (std::strcmp(key, "THREADS") == 0) {
            setSearchThreads(std::strtol(value, nullptr, 10));
        } else if (std::strcmp(key, "STRENGTH") == 0) {
            setStrength(std::strtol(value, nullptr, 10));
        } else if (std::strcmp(key, "EGTB_PATH") == 0) {
            std::snprintf(egtbPath, sizeof egtbPath, "%s", value);
        } else if (std::strcmp(key, "EGTB_CACHE_SIZE") == 0) {
            const long n     = std::strtol(value, nullptr, 10);
            egtbCacheSizeLog = std::int8_t(n < 5 || n > 20 ? 11 : n);
        }
    }
}

void applyNameDigit(const char* argv0) {
    if (!argv0) return;
    const char* slash = std::strrchr(argv0, '/');
    const char* name  = slash ? slash + 1 : argv0;
    if (std::strlen(name) >= 5 && name[4] >= '1' && name[4] <= '9') {
        const std::size_t n = std::strlen(engineName);
        if (n + 1 < sizeof engineName) {
            engineName[n]     = name[4];
            engineName[n + 1] = '\0';
        }
    }
}

bool resizeHashTables(std::uint64_t kb) {
    if (const std::uint64_t memory = physicalMemoryBytes()) {
        const std::uint64_t halfMemoryKb = memory / 2048;
        if (kb > halfMemoryKb) kb = halfMemoryKb;
    }
    bool allocated = allocateHashTables(std::int64_t(kb));
    while (!allocated && ttShift < 22) {
        kb /= 2;
        allocated = allocateHashTables(std::int64_t(kb < 48 ? 48 : kb));
    }
    return allocated;
}

bool initApp() {
    if (!resizeHashTables(configuredTableKb) || !allocatePawnHashTable()) {
        std::printf("ERROR (not enough memory): initApp\n");
        std::fflush(stdout);
        return false;
    }
    return true;
}

void printBanner() {
    std::printf("%s\n\n", engineName);
    std::printf("\rMemory Usage:\n");
    std::printf("    Transposition Table: %llu KB\n", static_cast<unsigned long long>((hashTableBytes() + 65536) / 1024));
    std::printf("    Pawn Hash          : %d KB\n", 128);
    std::printf("    Endgame Tablebase  : %d KB\n", egtbMaxPieces >= 1 ? 1 << egtbCacheSizeLog : 0);
    std::printf("\nEGTB Status: ");
    if (egtbMaxPieces >= 1)
        std::printf("Maximum %d piece tablebases found\n\n", egtbMaxPieces);
    else
        std::printf("Not found\n\n");
}

void freeTables() {
    freeHashTables();
    freePawnHashTable();
}
