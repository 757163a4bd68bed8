#pragma once
// What runs thread_local destructors where glibc cannot (before 2.18): a list per thread, newest
// first, run by a pthread key's destructor when the thread ends and by atexit() for the thread
// that calls exit(). A destructor that constructs another thread_local registers it on a fresh
// list, which runs in the same way.

namespace brenk::wheel {

/// Runs destructor(object) when the calling thread ends; 0, or -1 when out of memory or keys.
int run_at_thread_exit(void (*destructor)(void*), void* object) noexcept;

} // namespace brenk::wheel
