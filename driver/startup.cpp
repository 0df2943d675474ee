// driver/startup.cpp: start-up settings. The transposition table size is
// clamped to half the machine's memory and halved further until the
// allocation succeeds, so no setting can stop the engine from starting.
#include "driver/startup.h"
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include "driver/protocol.h"
#include "eval/pawns.h"
#include "search/hashtable.h"
#include "tablebase/tablebase.h"

std::uint64_t configuredTableKb = 3100;

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
            // Read as unsigned: "-5" is absurdly large and gets clamped.
            configuredTableKb = std::strtoull(value, nullptr, 10);
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

bool initApp() {
    std::uint64_t kb = configuredTableKb;
    const long    pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        const std::uint64_t halfMemoryKb = std::uint64_t(pages) * std::uint64_t(pageSize) / 2048;
        if (kb > halfMemoryKb) kb = halfMemoryKb;
    }
    bool allocated = allocateHashTables(std::int64_t(kb));
    while (!allocated && ttShift < 22) {
        kb /= 2;
        allocated = allocateHashTables(std::int64_t(kb < 48 ? 48 : kb));
    }
    if (!allocated || !allocatePawnHashTable()) {
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
