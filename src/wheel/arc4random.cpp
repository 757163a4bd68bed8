// glibc 2.36 added arc4random; the static C++ runtime seeds the table behind atomic waits with
// it (and std::random_device can ask for it). Older systems lack it: the same kernel randomness
// comes from getrandom(2) (Linux 3.17, called by number: glibc's wrapper is 2.25) or else
// /dev/urandom. Like glibc's, it never returns without random bytes.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

/// Fills the buffer from getrandom(2); false when the kernel has no such call.
bool from_getrandom(unsigned char* out, std::size_t size) noexcept
{
    while (size > 0) {
        const long got = ::syscall(SYS_getrandom, out, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool from_urandom(unsigned char* out, std::size_t size) noexcept
{
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (size > 0) {
        const ssize_t got = ::read(fd, out, size);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    ::close(fd);
    return true;
}

} // namespace

extern "C" std::uint32_t arc4random() noexcept
{
    const int saved = errno;
    std::uint32_t value;
    auto* out = reinterpret_cast<unsigned char*>(&value);
    if (!from_getrandom(out, sizeof value) && !from_urandom(out, sizeof value)) {
        std::fputs("brenk: no randomness from the kernel (getrandom, /dev/urandom)\n", stderr);
        std::abort();
    }
    errno = saved;
    return value;
}
