#include "output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace brenk::eval {
namespace {

std::string directory_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Output::Output(const std::string& path, std::uint64_t max_bytes) : max_bytes_(max_bytes), path_(path)
{
    std::string pattern = directory_of(path) + "/." + base_of(path) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return;
    }
    temporary_ = name.data();
}

Output::~Output()
{
    if (!temporary_.empty()) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

Refused Output::write(std::string_view lines)
{
    if (lines.size() > max_bytes_ - written_) {
        error_ = "the output would pass " + std::to_string(max_bytes_) + " bytes (--max-bytes)";
        return Refused::limit;
    }
    written_ += lines.size();
    while (!lines.empty()) {
        const ssize_t n = ::write(fd_, lines.data(), lines.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = std::string("cannot write the output: ") + std::strerror(n < 0 ? errno : EIO);
            return Refused::write_failed;
        }
        lines.remove_prefix(static_cast<std::size_t>(n));
    }
    return Refused::nothing;
}

bool Output::commit()
{
    if (temporary_.empty()) return true;
    // The mode a plain new file gets, rather than mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0 || ::fsync(fd_) != 0) {
        error_ = std::string("cannot write ") + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error_ = std::string("cannot rename the output to ") + path_ + ": " + std::strerror(errno);
        return false;
    }
    temporary_.clear();
    const int failed_close = ::close(fd_);
    fd_ = -1;
    // The rename itself reaches the disk with the directory.
    const int dir = ::open(directory_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    if (failed_close != 0) {
        error_ = std::string("cannot write ") + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace brenk::eval
