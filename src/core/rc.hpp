#pragma once
// Intrusive atomic reference counting for immutable shared values (versions).
#include <atomic>
#include <cstdint>
#include <utility>

namespace brenk::core {

/// Base of a shared immutable value. The count is atomic so copies may be made and
/// dropped from any thread; the value itself never changes after construction.
struct Counted {
    mutable std::atomic<std::uint32_t> refs{1};
};

/// Owning handle to a Counted T; copying shares, destruction deletes at zero.
template <class T> class Rc {
public:
    Rc() = default;
    static Rc adopt(T* p) noexcept
    {
        Rc r;
        r.p_ = p;
        return r;
    }
    Rc(const Rc& o) noexcept : p_(o.p_)
    {
        if (p_) p_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    Rc(Rc&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Rc& operator=(Rc o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Rc()
    {
        // acq_rel, not release plus a fence: ThreadSanitizer does not model standalone fences.
        if (p_ && p_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete p_;
    }
    const T* get() const noexcept { return p_; }
    const T& operator*() const noexcept { return *p_; }
    const T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

} // namespace brenk::core
