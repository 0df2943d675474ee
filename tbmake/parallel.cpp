// tbmake/parallel.cpp: worker threads over a shared counter.
#include "tbmake/parallel.h"
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>
#include "tbmake/progress.h"

unsigned workerThreads(unsigned requested) {
    if (requested) return requested;
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 2 : (n > 8 ? 8 : n);
}

void runParallel(std::uint64_t size, const std::function<void(std::uint64_t, std::uint64_t)>& work,
                 const char* label) {
    constexpr std::uint64_t    CHUNK = 1 << 16;
    std::atomic<std::uint64_t> next{0}, done{0};
    std::vector<std::thread>   pool;
    for (unsigned t = 0; t < workerThreads(); ++t)
        pool.emplace_back([&] {
            for (;;) {
                const std::uint64_t begin = next.fetch_add(CHUNK);
                if (begin >= size) return;
                const std::uint64_t end = begin + CHUNK < size ? begin + CHUNK : size;
                work(begin, end);
                const std::uint64_t before = done.fetch_add(end - begin);
                if (label && (before * 10 / size) != ((before + end - begin) * 10 / size))
                    progressDetail("%s %llu%%", label,
                                   static_cast<unsigned long long>((before + end - begin) * 10 / size * 10));
            }
        });
    for (auto& thread : pool) thread.join();
}

void forEachItem(std::size_t count, unsigned threads, const std::function<void(std::size_t, unsigned)>& work) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) work(i, 0);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (std::size_t i; (i = next.fetch_add(1)) < count;) work(i, t);
        });
    for (auto& thread : pool) thread.join();
}
