#pragma once
// Where brenk-eval's lines go: standard output, or a file that appears only when complete.
#include <cstdint>
#include <string>
#include <string_view>

namespace brenk::eval {

/// What the output refused.
enum class Refused : unsigned char { nothing, write_failed, limit };

/// An output of at most `max_bytes`. With a path, the lines go to a temporary file in the
/// same directory, made the file at `path` by commit() (fsync, rename) and removed by the
/// destructor if commit() never ran; so a failed or interrupted run leaves the old file or
/// none, never a part of the new one.
class Output {
public:
    /// Standard output: the descriptor to write to (a copy of fd 1 made before the scripts
    /// could touch fd 1).
    Output(int fd, std::uint64_t max_bytes) noexcept : fd_(fd), max_bytes_(max_bytes) {}
    /// A file; check open_error() before writing.
    Output(const std::string& path, std::uint64_t max_bytes);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    /// The reason the file could not be created, or empty.
    const std::string& open_error() const noexcept { return error_; }
    /// Writes whole lines; nothing is written when they would pass the limit.
    Refused write(std::string_view lines);
    /// Flushes to disk and renames into place (a file), or nothing (standard output).
    bool commit();
    /// Why the last write or commit failed.
    const std::string& error() const noexcept { return error_; }

private:
    int fd_ = -1;
    std::uint64_t max_bytes_;
    std::uint64_t written_ = 0;
    std::string path_, temporary_;
    std::string error_;
};

} // namespace brenk::eval
