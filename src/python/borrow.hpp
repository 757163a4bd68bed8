#pragma once
// The per-object borrow flag: any number of readers or one writer, refused at once on
// conflict, never waited for.
#include "errors.hpp"
#include "messages.hpp"

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace brenk::py {

/// 0 free, n > 0 n shared borrows, -1 one exclusive borrow. Changed only by atomic
/// read-modify-write, so free-threaded callers see a refusal instead of a torn payload.
class BorrowFlag {
public:
    bool try_shared() noexcept
    {
        std::int32_t current = state_.load(std::memory_order_relaxed);
        do {
            if (current < 0 || current == std::numeric_limits<std::int32_t>::max()) return false;
        } while (
            !state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    }
    void release_shared() noexcept { state_.fetch_sub(1, std::memory_order_release); }
    bool try_exclusive() noexcept
    {
        std::int32_t expected = 0;
        return state_.compare_exchange_strong(expected, -1, std::memory_order_acquire, std::memory_order_relaxed);
    }
    void release_exclusive() noexcept { state_.store(0, std::memory_order_release); }

private:
    std::atomic<std::int32_t> state_{0};
    static_assert(std::atomic<std::int32_t>::is_always_lock_free);
};

/// A shared borrow held for the guard's lifetime; check held() after construction.
class SharedBorrow {
public:
    explicit SharedBorrow(BorrowFlag& flag) noexcept : flag_(flag), held_(flag.try_shared()) {}
    ~SharedBorrow()
    {
        if (held_) flag_.release_shared();
    }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    bool held() const noexcept { return held_; }
    /// Raises RuntimeError "Already mutably borrowed" when the borrow was refused.
    void require() const
    {
        if (!held_) raise(PyExc_RuntimeError, messages::already_mutably_borrowed);
    }

private:
    BorrowFlag& flag_;
    bool held_;
};

/// The exclusive borrow, raising RuntimeError "Already borrowed" when refused.
class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag)
    {
        if (!flag.try_exclusive()) raise(PyExc_RuntimeError, messages::already_borrowed);
    }
    ~ExclusiveBorrow() { flag_.release_exclusive(); }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

private:
    BorrowFlag& flag_;
};

} // namespace brenk::py
