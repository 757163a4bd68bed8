#pragma once
// What the memory checkers are told about the pool's memory, so that to AddressSanitizer and
// to valgrind's memcheck a pooled block is what a heap block is: usable from allocate() to
// deallocate(), and a fault to touch before or after. Free blocks and uncarved slab space are
// poisoned; the pool opens a free block's link word only for the instant it reads or writes
// it. Every call is empty in a build without the checker; outside valgrind the valgrind
// requests cost one predictable branch (a request itself is cheap, but it is a compiler
// barrier, which slows the fast paths).
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define BRENK_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRENK_POOL_ASAN 1
#endif
#endif

#ifdef BRENK_POOL_ASAN
#include <sanitizer/asan_interface.h>
#endif
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define BRENK_POOL_VALGRIND 1
#endif

namespace brenk::core::pool::checks {

#ifdef BRENK_POOL_VALGRIND
/// The address valgrind knows the pool's blocks by.
inline char mempool_anchor;
inline bool running_on_valgrind() noexcept
{
    return RUNNING_ON_VALGRIND != 0;
}
/// Set at load, before any block exists.
inline const bool on_valgrind = running_on_valgrind();
#define BRENK_POOL_TELL_VALGRIND(request) \
    do {                                  \
        if (on_valgrind) request;         \
    } while (false)
#else
#define BRENK_POOL_TELL_VALGRIND(request) static_cast<void>(0)
#endif

inline void asan_poison([[maybe_unused]] bool poisoned, [[maybe_unused]] void* p, [[maybe_unused]] std::size_t n) noexcept
{
#ifdef BRENK_POOL_ASAN
    if (poisoned) ASAN_POISON_MEMORY_REGION(p, n);
    else ASAN_UNPOISON_MEMORY_REGION(p, n);
#endif
}

/// Called once, before the first block: registers the pool with valgrind.
inline void start() noexcept
{
    BRENK_POOL_TELL_VALGRIND(VALGRIND_CREATE_MEMPOOL(&mempool_anchor, 0, 0));
}

/// Memory the pool holds and nobody may touch: a fresh arena, a free block.
inline void hide(void* p, std::size_t n) noexcept
{
    asan_poison(true, p, n);
    BRENK_POOL_TELL_VALGRIND(VALGRIND_MAKE_MEM_NOACCESS(p, n));
}

/// The pool's own bookkeeping inside hidden memory (a slab header, a free block's link), and
/// an arena about to go back to the general allocator, which expects it addressable.
inline void open(void* p, std::size_t n) noexcept
{
    asan_poison(false, p, n);
    BRENK_POOL_TELL_VALGRIND(VALGRIND_MAKE_MEM_DEFINED(p, n));
}

/// A block handed to a caller: addressable, its contents undefined.
inline void hand_out(void* p, std::size_t n) noexcept
{
    asan_poison(false, p, n);
    BRENK_POOL_TELL_VALGRIND(VALGRIND_MEMPOOL_ALLOC(&mempool_anchor, p, n));
}

/// A block given back by its caller: a fault to touch from now on.
inline void take_back(void* p, std::size_t n) noexcept
{
    BRENK_POOL_TELL_VALGRIND(VALGRIND_MEMPOOL_FREE(&mempool_anchor, p));
    asan_poison(true, p, n);
}

} // namespace brenk::core::pool::checks
