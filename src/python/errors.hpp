#pragma once
// Error handling of the binding layer.
//
// Inside the binding, a failure is a pending Python exception plus a thrown ErrorSet. Every
// entry point from Python goes through guard(), the one place where C++ exceptions stop.
#include <Python.h>

#include <new>
#include <string>
#include <string_view>

#include "messages.hpp"
#include "ref.hpp"
#include "thread_exit.hpp"

namespace brenk::py {

/// Throws ErrorSet; sets SystemError messages::no_exception_set when
/// no exception is pending.
[[noreturn]] void throw_error_set();

/// Thrown when a Python exception is pending and the operation must unwind. Only
/// throw_error_set() makes one, so no throw skips its check that an exception is set.
class ErrorSet {
    ErrorSet() = default;
    friend void throw_error_set();
};

/// Wraps a new reference, throwing ErrorSet when it is null.
inline Ref check(PyObject* p)
{
    if (p == nullptr) throw_error_set();
    return Ref::steal(p);
}
inline void check_status(int status)
{
    if (status < 0) throw_error_set();
}

/// Sets `type` with a UTF-8 message and throws ErrorSet.
[[noreturn]] void raise(PyObject* type, std::string_view message);

/// The internal-failure exception class (derived from BaseException), created on first use;
/// null with the creation's error pending when it cannot be created.
PyObject* panic_type();

/// Reports an internal failure to standard error and raises PanicException(message); an
/// exception pending before becomes its __context__. When the class cannot be created, the
/// error of that creation (normally MemoryError) is raised instead.
[[noreturn]] void panic(std::string_view message, const char* location);

/// True when the pending exception must end the call whatever the caller meant to do with a
/// failure: every BaseException that is not an Exception (KeyboardInterrupt, SystemExit,
/// GeneratorExit, PanicException), MemoryError and RecursionError. They say nothing about the
/// value being converted, so no conversion step may take them for "not this kind of value".
bool fatal_error_pending() noexcept;

/// Clears a pending exception that a failed conversion step produced. A fatal one (see
/// fatal_error_pending) is never swallowed: it is kept pending and ErrorSet is thrown.
void discard_error();

/// The qualified name of a type for messages, or messages::unknown_type_name.
std::string type_qualname(PyTypeObject* type);

/// Raises TypeError "'{type}' object cannot be cast as '{target}'".
[[noreturn]] void raise_cast_error(PyObject* obj, const char* target);

/// The str() of `obj` as UTF-8, cut at message_text_cap. When str() fails, the exception goes
/// to the unraisable hook and "<unprintable {type name} object>" is used instead. Never raises
/// (but a pending PanicException from str() propagates as ErrorSet).
std::string render_object(PyObject* obj);

/// Rewrites a pending exact TypeError as "argument '{name}': {message}", keeping its cause,
/// then throws ErrorSet. Any other exception is left as it is.
[[noreturn]] void reraise_attributed(const char* name);

/// Runs `convert`, attributing a TypeError it raises to the argument `name`.
template <class F> auto convert_argument(const char* name, F&& convert) -> decltype(convert())
{
    try {
        return convert();
    }
    catch (const ErrorSet&) {
        reraise_attributed(name);
    }
}

/// Converts a C++ exception escaping an entry point into a pending Python exception.
void set_error_from_current_exception() noexcept;

/// Runs an entry point body; any failure leaves a Python exception set and returns `failed`.
template <class R, class F> R guard(R failed, F&& body) noexcept
{
    try {
        return body();
    }
    catch (abi::__forced_unwind&) {
        park_thread(); // the interpreter ended this thread inside the body
    }
    catch (...) {
        set_error_from_current_exception();
        return failed;
    }
}

/// Reports an exception (already pending) through sys.unraisablehook, with `context`.
void write_unraisable(PyObject* context) noexcept;

} // namespace brenk::py
