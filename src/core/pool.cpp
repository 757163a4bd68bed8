#include "pool.hpp"

#include <cstdint>
#include <mutex>
#include <new>

#include <pthread.h>

// Under AddressSanitizer every block goes to operator new, so that use after free and leaks
// of single nodes stay visible to it.
#if defined(__SANITIZE_ADDRESS__)
#define BRENK_POOL_PASS_THROUGH 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRENK_POOL_PASS_THROUGH 1
#endif
#endif

namespace brenk::core::pool {

#ifdef BRENK_POOL_PASS_THROUGH

void* allocate(std::size_t size)
{
    return ::operator new(size);
}
void deallocate(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}

#else

namespace {

constexpr std::size_t step = 16;
constexpr int class_count = max_pooled / step;
constexpr std::uint32_t batch = 32; // blocks moved between a thread and the shared list at once
constexpr std::size_t slab_size = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

/// One class's shared state, guarded by `lock`: blocks handed back by threads, and the
/// uncarved end of the newest slab. Slabs are never returned.
struct Shared {
    std::mutex lock;
    FreeBlock* head = nullptr;
    char* bump = nullptr;
    char* bump_end = nullptr;
};
Shared shared[class_count];

// A fork while another thread holds a class's lock would leave it locked in the child, so
// the locks are taken around fork().
void lock_all() noexcept
{
    for (Shared& s : shared) s.lock.lock();
}
void unlock_all() noexcept
{
    for (Shared& s : shared) s.lock.unlock();
}
[[maybe_unused]] const int fork_handlers = pthread_atfork(lock_all, unlock_all, unlock_all);

/// A thread's own free blocks per class, used without locking. A thread keeps at most
/// 2 * batch per class and hands a batch to the shared list beyond that, so blocks freed on
/// one thread and allocated on another circulate instead of piling up. Trivially
/// destructible, so it stays usable while other thread-local destructors run; `closed`
/// marks that its blocks went back to the shared lists at thread exit.
struct Cache {
    FreeBlock* head[class_count];
    std::uint32_t count[class_count];
    bool registered;
    bool closed;
};
thread_local Cache cache;

std::size_t class_size(int cls) noexcept
{
    return static_cast<std::size_t>(cls + 1) * step;
}

/// Links first..last (already chained) in front of the shared list.
void give_back(int cls, FreeBlock* first, FreeBlock* last) noexcept
{
    std::lock_guard guard(shared[cls].lock);
    last->next = shared[cls].head;
    shared[cls].head = first;
}

/// Returns the calling thread's blocks to the shared lists when the thread ends.
struct Closer {
    bool armed = false;
    ~Closer()
    {
        for (int cls = 0; cls < class_count; ++cls) {
            FreeBlock* first = cache.head[cls];
            if (first == nullptr) continue;
            FreeBlock* last = first;
            while (last->next != nullptr) last = last->next;
            cache.head[cls] = nullptr;
            cache.count[cls] = 0;
            give_back(cls, first, last);
        }
        cache.closed = true;
    }
};
thread_local Closer closer;

/// One fresh block from the newest slab, starting a slab when it is used up. Holds the lock.
FreeBlock* carve(int cls, Shared& s)
{
    const std::size_t size = class_size(cls);
    if (static_cast<std::size_t>(s.bump_end - s.bump) < size) {
        s.bump = static_cast<char*>(::operator new(slab_size));
        s.bump_end = s.bump + slab_size;
    }
    auto* b = reinterpret_cast<FreeBlock*>(s.bump);
    s.bump += size;
    return b;
}

/// Whether the thread's cache may take blocks; its first use registers the hand-back at
/// thread exit.
bool usable(Cache& c) noexcept
{
    if (!c.registered && !c.closed) {
        closer.armed = true;
        c.registered = true;
    }
    return !c.closed;
}

/// The slow path of allocate: one block for the caller, and up to a batch more for the
/// thread's cache, from the shared list or else fresh from a slab.
void* refill(int cls)
{
    Cache& c = cache;
    const bool cached = usable(c);
    Shared& s = shared[cls];
    std::lock_guard guard(s.lock);
    const std::uint32_t wanted = cached ? batch : 1;
    FreeBlock* taken = nullptr;
    for (std::uint32_t n = 0; n < wanted; ++n) {
        FreeBlock* b = s.head;
        if (b != nullptr) {
            s.head = b->next;
        }
        else if (n == 0 || static_cast<std::size_t>(s.bump_end - s.bump) >= class_size(cls)) {
            b = carve(cls, s); // never starts a second slab for the same refill
        }
        else {
            break;
        }
        b->next = taken;
        taken = b;
    }
    if (cached) {
        c.head[cls] = taken->next;
        for (FreeBlock* b = taken->next; b != nullptr; b = b->next) ++c.count[cls];
    }
    return taken;
}

int class_of(std::size_t size) noexcept
{
    return size == 0 ? 0 : static_cast<int>((size - 1) / step);
}

} // namespace

void* allocate(std::size_t size)
{
    if (size > max_pooled) return ::operator new(size);
    const int cls = class_of(size);
    Cache& c = cache;
    if (FreeBlock* b = c.head[cls]) {
        c.head[cls] = b->next;
        --c.count[cls];
        return b;
    }
    return refill(cls);
}

void deallocate(void* p, std::size_t size) noexcept
{
    if (size > max_pooled) {
        ::operator delete(p);
        return;
    }
    const int cls = class_of(size);
    auto* b = static_cast<FreeBlock*>(p);
    Cache& c = cache;
    if (!usable(c)) {
        b->next = nullptr;
        give_back(cls, b, b);
        return;
    }
    b->next = c.head[cls];
    c.head[cls] = b;
    if (++c.count[cls] <= 2 * batch) return;
    FreeBlock* last = b;
    for (std::uint32_t n = 1; n < batch; ++n) last = last->next;
    c.head[cls] = last->next;
    c.count[cls] -= batch;
    give_back(cls, b, last);
}

#endif

} // namespace brenk::core::pool
