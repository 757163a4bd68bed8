#include "output.hpp"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "ref.hpp"
#include "thread_exit.hpp"
#include "thread_id.hpp"

namespace brenk::py {
namespace {

/// Held while one text is written to one stream. Threads take it detached, so a waiter never
/// holds a thread state that the holder (or a stop-the-world) waits for. The holder re-attaches
/// only to run signal handlers; a handler that writes on the same thread re-enters the lock
/// instead of waiting for itself. Built on atomics rather than std::mutex so that a fork child
/// can release it when the parent's writer held it at the fork.
class StreamLock {
public:
    void lock() noexcept
    {
        const std::uint64_t me = current_thread_id();
        if (owner_.load(std::memory_order_relaxed) == me) {
            ++depth_;
            return;
        }
        while (held_.exchange(1, std::memory_order_acquire) != 0) held_.wait(1, std::memory_order_relaxed);
        owner_.store(me, std::memory_order_relaxed);
    }
    void unlock() noexcept
    {
        if (depth_ > 0) {
            --depth_;
            return;
        }
        owner_.store(0, std::memory_order_relaxed);
        held_.store(0, std::memory_order_release);
        held_.notify_one();
    }
    void reset() noexcept
    {
        depth_ = 0;
        owner_.store(0, std::memory_order_relaxed);
        held_.store(0, std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint32_t> held_{0};
    std::atomic<std::uint64_t> owner_{0}; // written only by the holder; read by any thread
    unsigned depth_ = 0;                  // re-entries of the holder, touched only by it
};

StreamLock out_lock, err_lock;

void release_locks_in_child() noexcept
{
    out_lock.reset();
    err_lock.reset();
}

[[maybe_unused]] const int at_fork_registered = pthread_atfork(nullptr, nullptr, release_locks_in_child);

/// Runs the due signal handlers, attached; true when one raised (its exception is then pending).
/// An exception pending before is set aside meanwhile: it comes back, or becomes the context of
/// the handler's. Only the main thread runs handlers, so elsewhere this returns false.
bool signal_handler_raised(PyThreadState* detached) noexcept
{
    reattach(detached);
    Ref pending = Ref::steal(PyErr_GetRaisedException());
    const bool raised = PyErr_CheckSignals() < 0;
    if (raised && pending) {
        Ref exc = Ref::steal(PyErr_GetRaisedException());
        PyException_SetContext(exc.get(), pending.release());
        PyErr_SetRaisedException(exc.release());
    }
    else if (pending) {
        PyErr_SetRaisedException(pending.release());
    }
    // Detached again: the state is the same one, so the pointer stays valid.
    (void)PyEval_SaveThread();
    return raised;
}

/// The write loop; `detached` is the caller's saved thread state, or null without one (then an
/// interrupted call is simply retried).
int write_fd(int fd, std::string_view text, PyThreadState* detached) noexcept
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return EIO; // no progress and no reason: give up rather than spin
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        if (errno != EINTR) {
            // A non-blocking descriptor is full: wait until the reader makes room.
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) >= 0) continue;
            if (errno != EINTR) return errno;
        }
        if (detached != nullptr && signal_handler_raised(detached)) return write_interrupted;
    }
    return 0;
}

} // namespace

int write_whole(Stream stream, std::string_view text) noexcept
{
    const int fd = stream == Stream::out ? STDOUT_FILENO : STDERR_FILENO;
    StreamLock& lock = stream == Stream::out ? out_lock : err_lock;
    PyThreadState* state = PyThreadState_GetUnchecked() != nullptr ? PyEval_SaveThread() : nullptr;
    lock.lock();
    const int error = write_fd(fd, text, state);
    lock.unlock();
    if (state != nullptr) reattach(state);
    return error;
}

} // namespace brenk::py
