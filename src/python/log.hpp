#pragma once
// The diagnostic log: off until init_tracing(), then one line per record on fd 1.
#include <Python.h>

#include <atomic>
#include <string>
#include <string_view>

#include "messages.hpp"

namespace brenk::py {

enum class Level : int { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4, Off = 5 };

/// Where a record comes from: carried with it, not printed.
struct LogSite {
    Level level;
    const char* target; // messages::target_outline
    const char* file;   // messages::at_outline
    int line;
};

namespace detail {
extern std::atomic<int> min_enabled_level;
}

/// True when records of `level` are written; always false before init_tracing().
inline bool log_enabled(Level level) noexcept
{
    return static_cast<int>(level) >= detail::min_enabled_level.load(std::memory_order_relaxed);
}

/// Formats and writes one record. A record that cannot be formatted is replaced by a fixed line,
/// one that cannot be written is dropped with a note on standard error; neither fails the
/// caller. Only a signal handler that raised while the write waited ends the caller: ErrorSet,
/// with the handler's exception pending.
void emit(const LogSite& site, std::string_view message);

/// A failure that is also logged: the record at `site`, then `type` raised with the same message.
[[noreturn, gnu::cold]] void raise_logged(const LogSite& site, PyObject* type, const std::string& message);

/// The module function init_tracing(): installs the log, once per process.
PyObject* init_tracing(PyObject* module, PyObject* unused) noexcept;

inline constexpr LogSite constraint_conversion_site{Level::Error, messages::target_constraint, messages::at_constraint,
                                                    324};
inline constexpr LogSite option_value_conversion_site{Level::Error, messages::target_option, messages::at_option, 237};
inline constexpr LogSite outline_keyword_site{Level::Error, messages::target_outline, messages::at_outline, 542};

} // namespace brenk::py
