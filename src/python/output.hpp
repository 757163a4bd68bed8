#pragma once
// Whole writes to the process's standard output and standard error.
#include <Python.h>

#include <string_view>

namespace brenk::py {

enum class Stream { out, err };

/// Writes all of `text` to file descriptor 1 (out) or 2 (err), detached from the interpreter
/// like os.write(), under a process-wide lock per stream so that texts never interleave.
/// Continues partial writes, waits while the descriptor would block, retries interrupted
/// calls. Returns 0, or the errno of the failure that dropped the rest of the text.
int write_whole(Stream stream, std::string_view text) noexcept;

} // namespace brenk::py
