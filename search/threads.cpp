// search/threads.cpp: the pool of helper threads.
#include "search/threads.h"
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include "board/position.h"
#include "eval/pawns.h"
#include "search/searchdata.h"

int searchThreads = 1;
void (*helperSearch)(int helper) = nullptr;

namespace {

struct Helper {
    std::atomic<std::uint64_t> nodes{0};
};

// The pool lives as long as the process: never destroyed, so an exit from
// anywhere leaves resting helpers to the end of the process instead of
// destroying locks they wait on.
struct Pool {
    std::vector<std::unique_ptr<Helper>> helpers;
    std::mutex                           lock;
    std::condition_variable              wake, rested;
    std::uint64_t                        generation = 0;  // searches started (under lock)
    int                                  active     = 0;  // helpers 0 .. active - 1 search (under lock)
    int                                  busy       = 0;  // of them, not yet back at rest (under lock)
    std::atomic<bool>                    stop{false};
    PositionCopy                         root;  // written before a start, read after the wake
};
Pool& pool = *new Pool;

thread_local int helperId = -1;  // -1: the main thread, or a thread of no search
int              helpersSearching = 0;  // in the search under way (main thread only)

// A helper waits for a search, searches until told to stop, and waits
// again, for the life of the process.
void helperMain(int id) {
    helperId = id;
    allocatePawnHashTable();
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(pool.lock);
            pool.wake.wait(lock, [&] { return pool.generation != seen; });
            seen = pool.generation;
            if (id >= pool.active) continue;
        }
        if (!pool.stop.load(std::memory_order_acquire)) {
            takePosition(pool.root);
            helperSearch(id);
        }
        std::lock_guard<std::mutex> lock(pool.lock);
        if (--pool.busy == 0) pool.rested.notify_all();
    }
}

// Helpers for searchThreads, at rest. The pool only grows: helpers beyond
// the count sleep through the searches.
int readyHelpers() {
    auto& helpers = pool.helpers;
    while (helpers.size() + 1 < std::size_t(searchThreads)) {
        try {
            helpers.push_back(std::make_unique<Helper>());
            std::thread(helperMain, int(helpers.size() - 1)).detach();
        } catch (const std::exception&) {
            helpers.pop_back();  // fewer helpers than asked for
            break;
        }
    }
    return std::min(int(helpers.size()), searchThreads - 1);
}

}  // namespace

int maxSearchThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 64 ? int(cores) : 64;
}

// A command may set the count during a search: the pool follows at the
// next start, when every helper is at rest.
void setSearchThreads(long threads) {
    searchThreads = int(threads < 1 ? 1 : threads > maxSearchThreads() ? maxSearchThreads() : threads);
}

void startHelpers() {
    helpersSearching = helperSearch ? readyHelpers() : 0;
    if (helpersSearching == 0) return;
    copyPosition(pool.root);
    for (auto& h : pool.helpers) h->nodes.store(0, std::memory_order_relaxed);
    pool.stop.store(false, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(pool.lock);
        pool.active = pool.busy = helpersSearching;
        ++pool.generation;
    }
    pool.wake.notify_all();
}

void stopHelpers() {
    if (helpersSearching == 0) return;
    pool.stop.store(true, std::memory_order_release);
    std::unique_lock<std::mutex> lock(pool.lock);
    pool.rested.wait(lock, [] { return pool.busy == 0; });
    helpersSearching = 0;
}

bool isHelperThread() { return helperId >= 0; }

bool helperMustStop(std::uint32_t nodes) {
    pool.helpers[std::size_t(helperId)]->nodes.store(nodes, std::memory_order_relaxed);
    return pool.stop.load(std::memory_order_acquire);
}

std::uint64_t searchNodes() {
    std::uint64_t total = nodeCount;
    for (auto& h : pool.helpers) total += h->nodes.load(std::memory_order_relaxed);
    return total;
}
