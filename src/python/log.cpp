#include "log.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "errors.hpp"
#include "messages.hpp"
#include "output.hpp"

namespace brenk::py {
namespace detail {
std::atomic<int> min_enabled_level{static_cast<int>(Level::Off)};
}

namespace {

constexpr LogSite activation_site{Level::Warn, messages::target_top, messages::at_lib, 100};

/// Installation goes not_installed -> installing -> installed, once per process.
enum InstallState : int { not_installed = 0, installing = 1, installed = 2 };
std::atomic<int> install_state{not_installed};
std::atomic<bool> use_colour{true};

const char* level_label(Level level)
{
    static_assert(std::size(messages::level_labels) == static_cast<std::size_t>(Level::Off));
    return messages::level_labels[static_cast<int>(level)];
}

const char* level_colour(Level level)
{
    static_assert(std::size(messages::level_colours) == static_cast<std::size_t>(Level::Off));
    return messages::level_colours[static_cast<int>(level)];
}

void format_line(std::string& line, const LogSite& site, std::string_view message)
{
    constexpr std::string_view reset = messages::colour_reset, dim = messages::colour_dim;
    if (use_colour.load(std::memory_order_relaxed)) {
        line += level_colour(site.level);
        line += level_label(site.level);
        line += reset;
        line += ' ';
        line += dim;
        line += site.target;
        line += reset;
        line += dim;
        line += ':';
        line += reset;
    }
    else {
        line += level_label(site.level);
        line += ' ';
        line += site.target;
        line += ':';
    }
    line += ' ';
    line += message;
    line += '\n';
}

/// Colour is off only for a set, non-empty, valid UTF-8 NO_COLOR.
bool colour_from_environment()
{
    const char* value = std::getenv("NO_COLOR");
    if (value == nullptr || *value == '\0') return true;
    Ref decoded = Ref::steal(PyUnicode_DecodeUTF8(value, static_cast<Py_ssize_t>(std::strlen(value)), "strict"));
    if (!decoded) {
        discard_error(); // not valid UTF-8 (a MemoryError propagates)
        return true;
    }
    return false;
}

} // namespace

namespace {

/// Writes a note to standard error about a record, formatted into a fixed buffer: the note must
/// get out when memory is exhausted, which is when it is most likely needed.
template <class... Args> void note(const char* format, Args... args) noexcept
{
    char text[512];
    const int length = std::snprintf(text, sizeof text, format, args...);
    if (length > 0)
        (void)write_whole(Stream::err, std::string_view(text, std::min<std::size_t>(length, sizeof text - 1)));
}

/// The line written in place of a record that could not be formatted; needs no allocation.
int write_unformattable(const LogSite& site) noexcept
{
    char text[512];
    const int length = std::snprintf(text, sizeof text, messages::unformattable_record, site.file, site.line,
                                     level_label(site.level), site.target);
    if (length <= 0) return 0;
    return write_whole(Stream::out, std::string_view(text, std::min<std::size_t>(length, sizeof text - 1)));
}

} // namespace

void emit(const LogSite& site, std::string_view message)
{
    if (!log_enabled(site.level)) return;
    thread_local std::string line;
    int error = 0;
    try {
        line.clear();
        format_line(line, site, message);
    }
    catch (...) {
        line.clear();
        error = write_unformattable(site);
    }
    if (!line.empty()) {
        error = write_whole(Stream::out, line);
        line.clear();
    }
    // The buffer is reused for the thread's next record; one huge record must not pin its size.
    constexpr std::size_t kept_capacity = 4096;
    if (line.capacity() > kept_capacity) std::string().swap(line);
    if (error == write_interrupted) throw_error_set();
    if (error != 0) note(messages::unwritable_record, std::strerror(error));
}

void raise_logged(const LogSite& site, PyObject* type, const std::string& message)
{
    emit(site, message);
    raise(type, message);
}

PyObject* init_tracing(PyObject*, PyObject*) noexcept
{
    return guard<PyObject*>(nullptr, []() -> PyObject* {
        const bool colour = colour_from_environment();
        int expected = not_installed;
        if (!install_state.compare_exchange_strong(expected, installing, std::memory_order_acq_rel)) {
            panic(messages::subscriber_already_set, messages::at_lib);
        }
        use_colour.store(colour, std::memory_order_relaxed);
        detail::min_enabled_level.store(static_cast<int>(Level::Info), std::memory_order_release);
        install_state.store(installed, std::memory_order_release);
        emit(activation_site, messages::tracing_activated);
        Py_RETURN_NONE;
    });
}

} // namespace brenk::py
