#pragma once
// Whole writes to the process's standard output and standard error.
#include <Python.h>

#include <string_view>

namespace brenk::py {

enum class Stream { out, err };

/// What write_whole returns when a signal handler raised while the write waited: the handler's
/// exception is pending and the rest of the text was not written.
inline constexpr int write_interrupted = -1;

/// Writes all of `text` to file descriptor 1 (out) or 2 (err), detached from the interpreter
/// like os.write(), under a process-wide lock per stream so that texts of different threads
/// never interleave. Continues partial writes and waits while the descriptor would block. An
/// interrupted call runs the signal handlers that are due (attached, as the interpreter does for
/// its own writes) and goes on unless one raised. Returns 0, write_interrupted, or the errno of
/// the failure that dropped the rest of the text.
int write_whole(Stream stream, std::string_view text) noexcept;

} // namespace brenk::py
