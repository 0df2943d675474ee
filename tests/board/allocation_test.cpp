// Move generation and making and unmaking moves allocate nothing: the global
// allocator is replaced for this test binary and counts while armed.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <new>
#include "tests/test_support.h"
#include "tools/perft.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(Allocation, PerftAllocatesNothing) {
    setUpFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    allocations = 0;
    counting    = true;
    const std::uint64_t nodes = perft(3);
    counting    = false;
    EXPECT_EQ(nodes, 97862u);
    EXPECT_EQ(allocations.load(), 0);
    // The counter itself works.
    counting = true;
    int* volatile probe = new int(1);  // volatile: the pair may not be elided
    delete probe;
    counting = false;
    EXPECT_EQ(allocations.load(), 1);
}

}  // namespace
