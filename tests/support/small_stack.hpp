#pragma once
// Runs a callable on a thread with a small stack: deep trees must not need a deep native one.
#include <pthread.h>

#include <cstddef>

namespace brenk::testing {

inline constexpr std::size_t small_stack_bytes = 256 * 1024;

/// Runs `body()` to completion on a new thread with a 256 KiB stack; false when no thread started.
template <class F> bool on_small_stack(F& body)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, small_stack_bytes);
    pthread_t thread;
    const int started =
        pthread_create(&thread, &attr, [](void* f) -> void* { return (*static_cast<F*>(f))(), nullptr; }, &body);
    pthread_attr_destroy(&attr);
    if (started != 0) return false;
    pthread_join(thread, nullptr);
    return true;
}

} // namespace brenk::testing
