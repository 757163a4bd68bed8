// Deep and wide constraint trees: rendering and release without native recursion, and
// release of shared nodes exactly once. Live heap blocks are counted by replacing the global
// allocation functions, and pooled nodes by asking the pool, so a leak or an early free shows
// up without a sanitizer.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "constraint.hpp"
#include "pool.hpp"
#include "render.hpp"

namespace {
std::atomic<long long> live_blocks{0};

/// Heap blocks and pooled blocks in use, without the pool's own slabs.
long long live()
{
    const brenk::core::pool::Usage u = brenk::core::pool::usage();
    return live_blocks.load() - static_cast<long long>(u.heap_blocks) + static_cast<long long>(u.blocks_in_use);
}
} // namespace

// The replacements pair malloc with free; GCC cannot see that through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    live_blocks.fetch_add(1, std::memory_order_relaxed);
    return p;
}
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) live_blocks.fetch_add(1, std::memory_order_relaxed);
    return p;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return ::operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}

namespace brenk::core {
namespace {

constexpr int deep = 1'000'000;

/// Runs `fn` on a thread with a 256 KiB stack, where a recursion per level could not survive.
void on_small_stack(const std::function<void()>& fn)
{
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&fn)), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
}

Constraint leaf()
{
    return make_value(OptionValue{std::int64_t{1}});
}

TEST(DeepConstraint, MillionMaximizeChain)
{
    const long long before = live();
    std::size_t length = 0, copy_length = 0;
    bool head = false;
    char middle = 0;
    on_small_stack([&] {
        Constraint chain = leaf();
        for (int i = 0; i < deep; ++i) chain = make_maximize(std::move(chain));
        {
            const std::string text = constraint_string(chain);
            length = text.size();
            head = text.starts_with("Maximize( Maximize( ");
            middle = text[10u * deep];
        }
        Constraint copy = chain;
        chain.reset();
        copy_length = constraint_string(copy).size();
        copy.reset();
    });
    EXPECT_EQ(length, 12u * deep + 1);
    EXPECT_TRUE(head);
    EXPECT_EQ(middle, '1');
    EXPECT_EQ(copy_length, length);
    EXPECT_EQ(live(), before);
}

TEST(DeepConstraint, MixedKindsOnEitherSide)
{
    // Every kind with children, nesting through each child position in turn.
    const long long before = live();
    std::size_t expected = 0, actual = 0;
    on_small_stack([&] {
        Constraint c = make_depends("x");
        expected = 12; // "Depends( x )"
        for (int i = 0; i < deep; ++i) {
            switch (i % 7) {
            case 0:
                c = make_maximize(std::move(c));
                expected += 12;
                break;
            case 1:
                c = make_minimize(std::move(c));
                expected += 12;
                break;
            case 2:
                c = make_cmp(std::move(c), leaf(), CmpType::Equal);
                expected += 13;
                break; // "[ ", " ] ", "==", " [ ", "1", " ]"
            case 3:
                c = make_cmp(leaf(), std::move(c), CmpType::Less);
                expected += 12;
                break;
            case 4:
                c = make_if_then(std::move(c), make_depends(""));
                expected += 16 + 11;
                break;
            case 5:
                c = make_if_then(make_depends(""), std::move(c));
                expected += 16 + 11;
                break;
            case 6: {
                std::vector<Constraint> of;
                of.push_back(leaf());
                of.push_back(std::move(c));
                c = make_num_of(std::move(of));
                expected += 7 + 2 + 1 + 2; // "NumOf( ", " )", "1", ", "
                break;
            }
            }
        }
        actual = constraint_string(c).size();
    });
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(live(), before);
}

TEST(DeepConstraint, WideNumOfWithNestedChildren)
{
    const long long before = live();
    std::size_t length = 0;
    on_small_stack([&] {
        std::vector<Constraint> of;
        for (int i = 0; i < 20000; ++i) {
            Constraint child = leaf();
            for (int d = 0; d < i % 50; ++d) child = make_minimize(std::move(child));
            std::vector<Constraint> inner;
            inner.push_back(std::move(child));
            inner.push_back(make_num_of({}));
            inner.push_back(make_spec_option("p", "o"));
            of.push_back(make_num_of(std::move(inner)));
        }
        Constraint wide = make_num_of(std::move(of));
        const Constraint copy = wide;
        wide.reset();
        length = constraint_string(copy).size();
    });
    EXPECT_GT(length, 20000u * 40);
    EXPECT_EQ(live(), before);
}

TEST(DeepConstraint, SharedChildIsReleasedOnce)
{
    const long long before = live();
    Constraint child = leaf();
    for (int i = 0; i < 100000; ++i) child = make_maximize(std::move(child));
    const std::string child_text = constraint_string(child);
    const long long with_child = live();

    Constraint first = make_minimize(child);
    Constraint second = make_if_then(child, child);
    std::vector<Constraint> many(3, child);
    Constraint list = make_num_of(std::move(many));
    EXPECT_EQ(child.get()->refs.load(), 1u + 1 + 2 + 3);

    child.reset();
    first.reset();
    EXPECT_EQ(list.as<NumOfNode>().of()[0].get()->refs.load(), 5u);
    second.reset();
    EXPECT_EQ(list.as<NumOfNode>().of()[0].get()->refs.load(), 3u);
    EXPECT_EQ(live(), with_child + 1 /* list node, its items inline */);
    EXPECT_EQ(constraint_string(list), "NumOf( " + child_text + ", " + child_text + ", " + child_text + " )");
    list.reset();
    EXPECT_EQ(live(), before + 1 /* child_text */);
}

TEST(DeepConstraint, SharedDeepChainBetweenTwoDeepParents)
{
    // Releasing one deep parent stops at the shared part; the other keeps it whole.
    const long long before = live();
    on_small_stack([&] {
        Constraint shared = leaf();
        for (int i = 0; i < deep / 2; ++i) shared = make_maximize(std::move(shared));
        Constraint a = shared, b = std::move(shared);
        for (int i = 0; i < deep / 4; ++i) {
            a = make_minimize(std::move(a));
            b = make_cmp(std::move(b), leaf(), CmpType::Greater);
        }
        a.reset();
        const std::size_t length = constraint_string(b).size();
        EXPECT_EQ(length, 12u * (deep / 2) + 1 + 12u * (deep / 4));
        b.reset();
    });
    EXPECT_EQ(live(), before);
}

} // namespace
} // namespace brenk::core
