#include "pool.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <mutex>
#include <new>

#include <pthread.h>
#include <sys/mman.h>

#include "pool_checks.hpp"

namespace brenk::core::pool {

namespace {

constexpr std::size_t step = 16;
constexpr int class_count = max_pooled / step;
constexpr std::uint32_t batch = 32; // blocks moved between a thread and the shared lists at once
constexpr std::size_t slab_size = 16 * 1024;
constexpr std::size_t header_size = 64;      // Slab, rounded up; blocks start after it
constexpr std::uint32_t slabs_per_arena = 16; // an arena is what the pool asks operator new for
constexpr std::uint32_t all_slabs = (std::uint32_t{1} << slabs_per_arena) - 1;
// One slab more than the arena needs, so that its slabs can start on a slab_size boundary.
constexpr std::size_t arena_bytes = (slabs_per_arena + 1) * slab_size;

struct FreeBlock {
    FreeBlock* next;
};

/// The link of a free block, which the memory checkers see as poisoned.
FreeBlock* next_of(FreeBlock* b) noexcept
{
    checks::open(b, sizeof(FreeBlock));
    FreeBlock* next = b->next;
    checks::hide(b, sizeof(FreeBlock));
    return next;
}
void set_next(FreeBlock* b, FreeBlock* next) noexcept
{
    checks::open(b, sizeof(FreeBlock));
    b->next = next;
    checks::hide(b, sizeof(FreeBlock));
}

struct Arena;

/// The header at the start of every slab_size-aligned slab, so a block finds its slab by
/// rounding its address down. A slab serves one class at a time. `out` counts its blocks that
/// are in a thread's cache or with a caller; at zero the slab is empty and leaves its class.
/// Guarded by its class's lock while it serves a class, by the slab lock while it is empty.
struct Slab {
    Slab* next; // in its class's list of slabs with room, or in the empty reserve
    Slab* prev;
    Arena* arena;
    FreeBlock* free; // blocks given back
    char* bump;      // start of the never-carved rest
    std::uint32_t out;
    std::uint8_t cls;
    bool listed; // in its class's list of slabs with room
};
static_assert(sizeof(Slab) <= header_size);

Slab* slab_of(void* p) noexcept
{
    return reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(p) & ~(slab_size - 1));
}

/// A run of slabs from one operator new block. `released` marks the slabs without pages:
/// never used, or given back to the system; when every slab is, the arena itself goes.
struct Arena {
    void* raw;
    char* base;
    Arena* next; // in the list of all arenas, which also keeps them reachable to leak checkers
    Arena* prev;
    Arena* next_spare; // in the list of arenas with released slabs
    Arena* prev_spare;
    std::uint32_t released;
};

std::size_t class_size(int cls) noexcept
{
    return static_cast<std::size_t>(cls + 1) * step;
}

const char* slab_end(const Slab* s) noexcept
{
    return reinterpret_cast<const char*>(s) + slab_size;
}

bool has_room(const Slab* s) noexcept
{
    return s->free != nullptr || static_cast<std::size_t>(slab_end(s) - s->bump) >= class_size(s->cls);
}

/// One class's shared state, guarded by `lock`: its slabs that have a free or uncarved block,
/// and how many of its blocks are out of the slabs.
struct Shared {
    std::mutex lock;
    Slab* with_room = nullptr;
    std::size_t out = 0;
};
Shared shared[class_count];

/// Slabs between classes, guarded by `lock`: the reserve of empty slabs (with pages) and every
/// arena. Taken after a class's lock, never before.
struct Slabs {
    std::mutex lock;
    Slab* empty = nullptr;
    std::size_t empty_count = 0;
    std::size_t resident = 0;
    Arena* arenas = nullptr;
    Arena* spare = nullptr; // arenas with released slabs
    std::size_t arena_count = 0;
};
Slabs slabs;

[[maybe_unused]] const bool checks_started = (checks::start(), true);

// A fork while another thread holds one of the locks would leave it locked in the child, so
// all are taken around fork().
void lock_all() noexcept
{
    for (Shared& s : shared) s.lock.lock();
    slabs.lock.lock();
}
void unlock_all() noexcept
{
    slabs.lock.unlock();
    for (Shared& s : shared) s.lock.unlock();
}
[[maybe_unused]] const int fork_handlers = pthread_atfork(lock_all, unlock_all, unlock_all);

void link_room(Shared& sh, Slab* s) noexcept
{
    s->prev = nullptr;
    s->next = sh.with_room;
    if (sh.with_room != nullptr) sh.with_room->prev = s;
    sh.with_room = s;
    s->listed = true;
}
void unlink_room(Shared& sh, Slab* s) noexcept
{
    if (s->prev != nullptr) s->prev->next = s->next;
    else sh.with_room = s->next;
    if (s->next != nullptr) s->next->prev = s->prev;
    s->listed = false;
}

template <Arena* Arena::*Next, Arena* Arena::*Prev> void link_arena(Arena*& head, Arena* a) noexcept
{
    a->*Prev = nullptr;
    a->*Next = head;
    if (head != nullptr) head->*Prev = a;
    head = a;
}
template <Arena* Arena::*Next, Arena* Arena::*Prev> void unlink_arena(Arena*& head, Arena* a) noexcept
{
    if (a->*Prev != nullptr) a->*Prev->*Next = a->*Next;
    else head = a->*Next;
    if (a->*Next != nullptr) a->*Next->*Prev = a->*Prev;
}

std::uint32_t index_in(const Arena* a, const Slab* s) noexcept
{
    return static_cast<std::uint32_t>((reinterpret_cast<const char*>(s) - a->base) / slab_size);
}

/// A slab whose pages are gone joins its arena's released ones; the arena goes too once it has
/// no others. Holds the slab lock.
void mark_released(Slab* s, Arena* a) noexcept
{
    --slabs.resident;
    if (a->released == 0) link_arena<&Arena::next_spare, &Arena::prev_spare>(slabs.spare, a);
    a->released |= std::uint32_t{1} << index_in(a, s);
    if (a->released != all_slabs) return;
    unlink_arena<&Arena::next_spare, &Arena::prev_spare>(slabs.spare, a);
    unlink_arena<&Arena::next, &Arena::prev>(slabs.arenas, a);
    --slabs.arena_count;
    checks::open(a->raw, arena_bytes);
    ::operator delete(a->raw);
    delete a;
}

/// Empty slabs taken out of the reserve at once, so that their pages go back in few calls.
struct ReleaseBatch {
    Slab* slabs[release_batch];
    std::size_t count = 0;
};

/// An empty slab joins the reserve. Once the reserve is a batch over its size, that batch
/// leaves it, for the caller to release after dropping its locks. Holds the slab lock.
void retire(Slab* s, ReleaseBatch& out) noexcept
{
    s->next = slabs.empty;
    slabs.empty = s;
    if (++slabs.empty_count < reserve_slabs + release_batch) return;
    for (; out.count < release_batch; ++out.count) {
        out.slabs[out.count] = slabs.empty;
        slabs.empty = slabs.empty->next;
        --slabs.empty_count;
    }
}

/// Gives the batch's pages back to the system, one call per run of adjacent slabs (slabs
/// empty in the order they filled, so most of an arena is one run), without holding a lock:
/// no list holds these slabs meanwhile.
void release(ReleaseBatch& batch) noexcept
{
    if (batch.count == 0) return;
    Slab** const first = batch.slabs;
    Slab** const end = first + batch.count;
    std::sort(first, end);
    Arena* arenas[release_batch];
    for (std::size_t i = 0; i < batch.count; ++i) arenas[i] = first[i]->arena; // before the pages go
    for (Slab** run = first; run != end;) {
        Slab** next = run + 1;
        while (next != end && reinterpret_cast<char*>(*next) == reinterpret_cast<char*>(next[-1]) + slab_size) ++next;
        ::madvise(*run, static_cast<std::size_t>(next - run) * slab_size, MADV_DONTNEED);
        run = next;
    }
    std::lock_guard guard(slabs.lock);
    for (std::size_t i = 0; i < batch.count; ++i) mark_released(first[i], arenas[i]);
}

/// A slab for class `cls`: from the reserve, else one with no pages (which the first touch
/// brings back), else from a new arena. Holds the slab lock.
Slab* take_slab(int cls)
{
    Slab* s = slabs.empty;
    if (s != nullptr) {
        slabs.empty = s->next;
        --slabs.empty_count;
    }
    else {
        Arena* a = slabs.spare;
        if (a == nullptr) {
            auto* fresh = new Arena{};
            try {
                fresh->raw = ::operator new(arena_bytes);
            }
            catch (...) {
                delete fresh;
                throw;
            }
            const auto raw = reinterpret_cast<std::uintptr_t>(fresh->raw);
            fresh->base = reinterpret_cast<char*>((raw + slab_size - 1) & ~(slab_size - 1));
            fresh->released = all_slabs;
            checks::hide(fresh->raw, arena_bytes);
            link_arena<&Arena::next, &Arena::prev>(slabs.arenas, fresh);
            link_arena<&Arena::next_spare, &Arena::prev_spare>(slabs.spare, fresh);
            ++slabs.arena_count;
            a = fresh;
        }
        const int index = std::countr_zero(a->released);
        a->released &= ~(std::uint32_t{1} << index);
        if (a->released == 0) unlink_arena<&Arena::next_spare, &Arena::prev_spare>(slabs.spare, a);
        s = reinterpret_cast<Slab*>(a->base + static_cast<std::size_t>(index) * slab_size);
        checks::open(s, header_size);
        s->arena = a;
        ++slabs.resident;
    }
    s->free = nullptr;
    s->bump = reinterpret_cast<char*>(s) + header_size;
    s->out = 0;
    s->cls = static_cast<std::uint8_t>(cls);
    s->listed = false;
    return s;
}

/// Takes first..last (chained, poisoned) back into their slabs; slabs left empty retire.
void give_back(int cls, FreeBlock* first, FreeBlock* last) noexcept
{
    ReleaseBatch batch;
    {
        Shared& sh = shared[cls];
        std::lock_guard guard(sh.lock);
        Slab* emptied = nullptr;
        for (FreeBlock* b = first;;) {
            FreeBlock* const next = b == last ? nullptr : next_of(b);
            --sh.out;
            Slab* s = slab_of(b);
            set_next(b, s->free);
            s->free = b;
            if (--s->out == 0) {
                if (s->listed) unlink_room(sh, s);
                s->next = emptied;
                emptied = s;
            }
            else if (!s->listed) {
                link_room(sh, s);
            }
            if (next == nullptr) break;
            b = next;
        }
        if (emptied == nullptr) return;
        std::lock_guard slab_guard(slabs.lock);
        while (emptied != nullptr) {
            Slab* s = emptied;
            emptied = s->next;
            retire(s, batch);
        }
    }
    release(batch);
}

/// A thread's own free blocks per class, used without locking. A thread keeps at most
/// 2 * batch per class and hands a batch to the shared lists beyond that, so blocks freed on
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

/// Returns the calling thread's blocks to the shared lists when the thread ends.
struct Closer {
    ~Closer()
    {
        for (int cls = 0; cls < class_count; ++cls) {
            FreeBlock* first = cache.head[cls];
            if (first == nullptr) continue;
            FreeBlock* last = first;
            for (FreeBlock* n = next_of(last); n != nullptr; n = next_of(last)) last = n;
            cache.head[cls] = nullptr;
            cache.count[cls] = 0;
            give_back(cls, first, last);
        }
        cache.closed = true;
    }
};
thread_local Closer closer;

/// Whether the thread's cache may take blocks; its first use constructs the thread's Closer,
/// which registers the hand-back at thread exit.
bool usable(Cache& c) noexcept
{
    if (!c.registered && !c.closed) {
        [[maybe_unused]] Closer& constructed = closer;
        c.registered = true;
    }
    return !c.closed;
}

/// The slow path of allocate: one block for the caller, and up to a batch more for the
/// thread's cache, from the class's slabs with room or else from a slab taken for it.
void* refill(int cls)
{
    Cache& c = cache;
    const bool cached = usable(c);
    Shared& sh = shared[cls];
    const std::size_t size = class_size(cls);
    std::lock_guard guard(sh.lock);
    const std::uint32_t wanted = cached ? batch : 1;
    FreeBlock* taken = nullptr;
    std::uint32_t n = 0;
    while (n < wanted) {
        Slab* s = sh.with_room;
        if (s == nullptr) {
            if (n > 0) break; // never takes a second slab for the same refill
            std::lock_guard slab_guard(slabs.lock);
            s = take_slab(cls);
            link_room(sh, s);
        }
        for (; n < wanted; ++n) {
            FreeBlock* b = s->free;
            if (b != nullptr) {
                s->free = next_of(b);
            }
            else if (static_cast<std::size_t>(slab_end(s) - s->bump) >= size) {
                b = reinterpret_cast<FreeBlock*>(s->bump);
                s->bump += size;
            }
            else {
                break;
            }
            ++s->out;
            set_next(b, taken);
            taken = b;
        }
        if (!has_room(s)) unlink_room(sh, s);
    }
    sh.out += n;
    FreeBlock* const rest = next_of(taken);
    if (cached) {
        c.head[cls] = rest;
        c.count[cls] += n - 1;
    }
    checks::hand_out(taken, size);
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
        c.head[cls] = next_of(b);
        --c.count[cls];
        checks::hand_out(b, class_size(cls));
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
    checks::take_back(b, class_size(cls));
    Cache& c = cache;
    if (!usable(c)) {
        give_back(cls, b, b);
        return;
    }
    set_next(b, c.head[cls]);
    c.head[cls] = b;
    if (++c.count[cls] <= 2 * batch) return;
    FreeBlock* last = b;
    for (std::uint32_t n = 1; n < batch; ++n) last = next_of(last);
    c.head[cls] = next_of(last);
    c.count[cls] -= batch;
    give_back(cls, b, last);
}

Usage usage() noexcept
{
    lock_all();
    Usage u{slabs.arena_count * 2, slabs.resident, slabs.empty_count, 0};
    for (const Shared& sh : shared) u.blocks_in_use += sh.out;
    unlock_all();
    for (std::uint32_t n : cache.count) u.blocks_in_use -= n;
    return u;
}

} // namespace brenk::core::pool
