// A global operator new for the allocation-failure tests, preloaded into a test interpreter
// (LD_PRELOAD) so that it replaces the C++ runtime's for the module. Until armed it only
// counts; once armed, the calls numbered [from, to) since arming throw std::bad_alloc (to < 0:
// every call from `from` on). Tests drive it through ctypes.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#define BRENK_EXPORT __attribute__((visibility("default")))

namespace {

std::atomic<long> calls{0};
std::atomic<long> fail_from{-1};
std::atomic<long> fail_to{-1};

bool fails_now() noexcept
{
    const long from = fail_from.load(std::memory_order_relaxed);
    const long n = calls.fetch_add(1, std::memory_order_relaxed);
    if (from < 0 || n < from) return false;
    const long to = fail_to.load(std::memory_order_relaxed);
    return to < 0 || n < to;
}

void* allocate(std::size_t size, std::size_t alignment)
{
    if (fails_now()) throw std::bad_alloc();
    if (size == 0) size = 1;
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* allocate_nothrow(std::size_t size, std::size_t alignment) noexcept
{
    try {
        return allocate(size, alignment);
    }
    catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

extern "C" {
/// Arms the failures: calls [from, to) counted from now, or every call from `from` on (to < 0).
BRENK_EXPORT void brenk_fail_new(long from, long to)
{
    fail_from.store(-1);
    calls.store(0);
    fail_to.store(to);
    fail_from.store(from);
}
/// Disarms; returns how many calls were made since arming.
BRENK_EXPORT long brenk_fail_new_off()
{
    fail_from.store(-1);
    return calls.load();
}
}

BRENK_EXPORT void* operator new(std::size_t size)
{
    return allocate(size, 0);
}
BRENK_EXPORT void* operator new[](std::size_t size)
{
    return allocate(size, 0);
}
BRENK_EXPORT void* operator new(std::size_t size, std::align_val_t alignment)
{
    return allocate(size, static_cast<std::size_t>(alignment));
}
BRENK_EXPORT void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocate(size, static_cast<std::size_t>(alignment));
}
BRENK_EXPORT void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate_nothrow(size, 0);
}
BRENK_EXPORT void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate_nothrow(size, 0);
}
BRENK_EXPORT void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocate_nothrow(size, static_cast<std::size_t>(alignment));
}
BRENK_EXPORT void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocate_nothrow(size, static_cast<std::size_t>(alignment));
}

BRENK_EXPORT void operator delete(void* p) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete[](void* p) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
BRENK_EXPORT void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
