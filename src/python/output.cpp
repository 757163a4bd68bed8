#include "output.hpp"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "thread_exit.hpp"

namespace brenk::py {
namespace {

/// Held while one text is written to one stream. Only detached threads take it, so a waiter
/// never holds a thread state that the holder (or a stop-the-world) waits for. Built on an
/// atomic rather than std::mutex so that a fork child can release it when the parent's
/// writer held it at the fork.
class StreamLock {
public:
    void lock() noexcept
    {
        while (held_.exchange(1, std::memory_order_acquire) != 0) held_.wait(1, std::memory_order_relaxed);
    }
    void unlock() noexcept
    {
        held_.store(0, std::memory_order_release);
        held_.notify_one();
    }
    void reset() noexcept { held_.store(0, std::memory_order_relaxed); }

private:
    std::atomic<std::uint32_t> held_{0};
};

StreamLock out_lock, err_lock;

void release_locks_in_child() noexcept
{
    out_lock.reset();
    err_lock.reset();
}

[[maybe_unused]] const int at_fork_registered = pthread_atfork(nullptr, nullptr, release_locks_in_child);

int write_fd(int fd, std::string_view text) noexcept
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return EIO; // no progress and no reason: give up rather than spin
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        // A non-blocking descriptor is full: wait until the reader makes room.
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return errno;
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
    const int error = write_fd(fd, text);
    lock.unlock();
    if (state != nullptr) reattach(state);
    return error;
}

} // namespace brenk::py
