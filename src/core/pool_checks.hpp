#pragma once
// What the memory checkers are told about the pool's memory, so that to AddressSanitizer and
// to valgrind's memcheck a pooled block is what a heap block is: usable from allocate() to
// deallocate(), and a fault to touch before or after. Free blocks and uncarved slab space are
// poisoned; the pool opens a free block's link word only for the instant it reads or writes
// it. Every call is empty in a build without the checker; outside valgrind the valgrind
// requests cost one predictable branch.
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

enum class Request { create, no_access, defined, alloc, free };

#ifdef BRENK_POOL_VALGRIND
/// The address valgrind knows the pool's blocks by.
inline char mempool_anchor;
inline bool running_on_valgrind() noexcept
{
    return RUNNING_ON_VALGRIND != 0;
}
/// Set at load, before any block exists.
inline const bool on_valgrind = running_on_valgrind();

/// Out of line: a request is a compiler barrier, which inline would slow the fast paths.
[[gnu::noinline, gnu::cold]] inline void tell_valgrind(Request r, void* p, std::size_t n) noexcept
{
    switch (r) {
    case Request::create:
        VALGRIND_CREATE_MEMPOOL(&mempool_anchor, 0, 0);
        break;
    case Request::no_access:
        VALGRIND_MAKE_MEM_NOACCESS(p, n);
        break;
    case Request::defined:
        VALGRIND_MAKE_MEM_DEFINED(p, n);
        break;
    case Request::alloc:
        VALGRIND_MEMPOOL_ALLOC(&mempool_anchor, p, n);
        break;
    case Request::free:
        VALGRIND_MEMPOOL_FREE(&mempool_anchor, p);
        break;
    }
}
#endif

inline void valgrind([[maybe_unused]] Request r, [[maybe_unused]] void* p, [[maybe_unused]] std::size_t n) noexcept
{
#ifdef BRENK_POOL_VALGRIND
    if (on_valgrind) [[unlikely]]
        tell_valgrind(r, p, n);
#endif
}

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
    valgrind(Request::create, nullptr, 0);
}

/// Memory the pool holds and nobody may touch: a fresh arena, a free block.
inline void hide(void* p, std::size_t n) noexcept
{
    asan_poison(true, p, n);
    valgrind(Request::no_access, p, n);
}

/// The pool's own bookkeeping inside hidden memory (a slab header, a free block's link), and
/// an arena about to go back to the general allocator, which expects it addressable.
inline void open(void* p, std::size_t n) noexcept
{
    asan_poison(false, p, n);
    valgrind(Request::defined, p, n);
}

/// A block handed to a caller: addressable, its contents undefined.
inline void hand_out(void* p, std::size_t n) noexcept
{
    asan_poison(false, p, n);
    valgrind(Request::alloc, p, n);
}

/// A block given back by its caller: a fault to touch from now on.
inline void take_back(void* p, std::size_t n) noexcept
{
    valgrind(Request::free, p, n);
    asan_poison(true, p, n);
}

} // namespace brenk::core::pool::checks
