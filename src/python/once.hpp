#pragma once
// Process-wide values initialised once, whose waiters detach from the interpreter.
#include <Python.h>

#include <atomic>
#include <cstdint>

#include "errors.hpp"
#include "messages.hpp"
#include "thread_exit.hpp"
#include "thread_id.hpp"

namespace brenk::py {

/// A once-initialised slot holding one strong reference for the life of the process.
/// One thread runs the initialiser; threads arriving meanwhile detach from the interpreter
/// (so the initialiser can run Python code) and wait. A failed initialiser leaves the slot
/// empty and one waiter retries.
class OnceObject {
public:
    PyObject* get() const noexcept { return state_.load(std::memory_order_acquire) == ready ? value_ : nullptr; }

    /// Returns the value (borrowed), running `init` (returning a new reference or throwing
    /// ErrorSet) if nobody has yet.
    template <class Init> PyObject* get_or_init(Init&& init)
    {
        for (;;) {
            int s = state_.load(std::memory_order_acquire);
            if (s == ready) return value_;
            if (s == empty) {
                if (!state_.compare_exchange_strong(s, running, std::memory_order_acquire)) continue;
                owner_.store(current_thread_id(), std::memory_order_relaxed);
                try {
                    value_ = init();
                }
                catch (...) {
                    state_.store(empty, std::memory_order_release);
                    state_.notify_all();
                    throw;
                }
                state_.store(ready, std::memory_order_release);
                state_.notify_all();
                return value_;
            }
            if (owner_.load(std::memory_order_relaxed) == current_thread_id()) {
                raise(PyExc_RuntimeError, messages::recursive_initialisation);
            }
            // Other threads run Python code while this one waits; borrows it holds meanwhile only
            // make them refuse (never wait), so no cycle of waits can form.
            PyThreadState* detached = PyEval_SaveThread();
            state_.wait(running, std::memory_order_acquire);
            reattach(detached);
        }
    }

private:
    static constexpr int empty = 0, running = 1, ready = 2;
    std::atomic<int> state_{empty};
    std::atomic<std::uint64_t> owner_{0};
    PyObject* value_ = nullptr;
};

} // namespace brenk::py
