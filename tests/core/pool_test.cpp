// The node pool: blocks that cross threads, fork() while another thread allocates, slabs that
// go back to the system beyond the reserve, and (under AddressSanitizer) a pooled node that is
// used after its release.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "constraint.hpp"
#include "pool.hpp"
#include "pool_checks.hpp"

namespace brenk::core {
namespace {

std::size_t in_use()
{
    return pool::usage().blocks_in_use;
}

TEST(Pool, BlocksFreedOnAnotherThreadComeBack)
{
    // Two threads each allocate, fill and pass on blocks of every class; the other checks and
    // frees them. Once both have ended (their caches returned), nothing is left in use.
    const std::size_t before = in_use();
    constexpr int rounds = 200, per_round = 500;
    std::vector<void*> mailbox[2][rounds];
    std::atomic<int> posted[2] = {0, 0};
    auto worker = [&](int me) {
        const int other = 1 - me;
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < per_round; ++i) {
                const std::size_t size = 16 * (1 + i % 4);
                void* p = pool::allocate(size);
                std::memset(p, me * 4 + i % 4, size);
                mailbox[me][r].push_back(p);
            }
            posted[me].store(r + 1, std::memory_order_release);
            while (posted[other].load(std::memory_order_acquire) <= r) std::this_thread::yield();
            int i = 0;
            for (void* p : mailbox[other][r]) {
                const std::size_t size = 16 * (1 + i % 4);
                const auto* bytes = static_cast<const unsigned char*>(p);
                EXPECT_EQ(bytes[0], other * 4 + i % 4);
                EXPECT_EQ(bytes[size - 1], other * 4 + i % 4);
                pool::deallocate(p, size);
                ++i;
            }
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(in_use(), before);
}

TEST(Pool, ChildOfForkAllocatesWhileAThreadWasBusy)
{
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        std::vector<void*> held;
        while (!stop.load(std::memory_order_relaxed)) {
            for (int i = 0; i < 300; ++i) held.push_back(pool::allocate(16 * (1 + i % 4)));
            for (std::size_t i = 0; i < held.size(); ++i) pool::deallocate(held[i], 16 * (1 + i % 4));
            held.clear();
        }
    });
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(20); // a lock left held by the busy thread would hang here
            std::vector<void*> held;
            for (int i = 0; i < 100000; ++i) held.push_back(pool::allocate(16 * (1 + i % 4)));
            for (std::size_t i = 0; i < held.size(); ++i) pool::deallocate(held[i], 16 * (1 + i % 4));
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    stop = true;
    busy.join();
}

TEST(Pool, EmptySlabsGoBackBeyondTheReserve)
{
    auto live_slabs = [](const pool::Usage& u) { return u.resident_slabs - u.empty_slabs; };
    std::thread([&] {
        const pool::Usage start = pool::usage();
        std::vector<void*> held;
        for (int i = 0; i < 600000; ++i) held.push_back(pool::allocate(16)); // about 590 slabs
        const pool::Usage full = pool::usage();
        EXPECT_GE(live_slabs(full), live_slabs(start) + 580);
        for (void* p : held) pool::deallocate(p, 16);
        const pool::Usage dropped = pool::usage();
        EXPECT_GE(dropped.empty_slabs, pool::reserve_slabs);
        EXPECT_LT(dropped.empty_slabs, pool::reserve_slabs + pool::release_batch);
        EXPECT_LE(live_slabs(dropped), live_slabs(start) + 2); // the one the thread's cache keeps
        EXPECT_LE(dropped.resident_slabs + 200, full.resident_slabs);

        // Within the reserve, a build-and-drop loop neither takes nor gives back slabs.
        const std::size_t small = 500 * (pool::reserve_slabs / 4);
        for (int round = 0; round < 5; ++round) {
            held.clear();
            for (std::size_t i = 0; i < small; ++i) held.push_back(pool::allocate(32));
            for (void* p : held) pool::deallocate(p, 32);
            const pool::Usage now = pool::usage();
            EXPECT_EQ(now.resident_slabs, dropped.resident_slabs);
            EXPECT_EQ(now.heap_blocks, dropped.heap_blocks);
        }
    }).join();
}

#ifdef BRENK_POOL_ASAN
TEST(PoolDeathTest, UseOfAReleasedNodeIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Constraint c = make_depends("x");
            const Node* n = c.get();
            c.reset();
            [[maybe_unused]] volatile auto kind = n->kind;
        },
        "use-after-poison");
}
#endif

} // namespace
} // namespace brenk::core
