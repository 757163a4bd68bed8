#pragma once
// Intrusive atomic reference counting for immutable shared values (versions, constraint nodes).
#include <atomic>
#include <cstdint>
#include <utility>

namespace brenk::core {

/// Base of a shared immutable value. The count is atomic so copies may be made and
/// dropped from any thread; the value itself never changes after construction.
struct Counted {
    mutable std::atomic<std::uint32_t> refs{1};

    void retain() const noexcept { refs.fetch_add(1, std::memory_order_relaxed); }
    /// Drops one reference; true when it was the last, and the value may be destroyed.
    bool release() const noexcept
    {
        // acq_rel, not release plus an acquire fence on the last drop: ThreadSanitizer does not
        // model standalone fences, and on x86 both are the same instruction.
        return refs.fetch_sub(1, std::memory_order_acq_rel) == 1;
    }
};

template <class T> void delete_counted(T* p) noexcept
{
    delete p;
}

/// Owning handle to a Counted T; copying shares, and the last handle dropped passes the value
/// to `Destroy`.
template <class T, void (*Destroy)(T*) noexcept = delete_counted<T>> class Rc {
public:
    Rc() noexcept = default;
    static Rc adopt(T* p) noexcept
    {
        Rc r;
        r.p_ = p;
        return r;
    }
    Rc(const Rc& o) noexcept : p_(o.p_)
    {
        if (p_) p_->retain();
    }
    Rc(Rc&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Rc& operator=(Rc o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Rc() { reset(); }

    void reset() noexcept
    {
        if (T* p = std::exchange(p_, nullptr); p && p->release()) Destroy(p);
    }
    /// Gives up ownership without touching the count.
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    const T* get() const noexcept { return p_; }
    const T& operator*() const noexcept { return *p_; }
    const T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

} // namespace brenk::core
