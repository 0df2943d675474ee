// tbmake/parallel.h: the table maker's work spread over the cores. Each
// worker takes the next piece of work as it finishes one, so uneven pieces
// still keep every core busy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

// `requested` when not 0, else one per core, at least 2 and at most 8.
unsigned workerThreads(unsigned requested = 0);
// Runs work(begin, end) over [0, size) in chunks on every core; with a
// label, reports every tenth of the way on stderr as "label 30%".
void runParallel(std::uint64_t size, const std::function<void(std::uint64_t, std::uint64_t)>& work,
                 const char* label = nullptr);
// Runs work(item, thread) for every item of [0, count) on `threads` threads
// (thread numbers 0 .. threads - 1), one item at a time.
void forEachItem(std::size_t count, unsigned threads, const std::function<void(std::size_t, unsigned)>& work);
