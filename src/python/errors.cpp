#include "errors.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <format>

#include "core/sink.hpp"
#include "messages.hpp"
#include "once.hpp"
#include "output.hpp"
#include "text.hpp"
#include "thread_id.hpp"

namespace brenk::py {
namespace {

OnceObject panic_cell;

constexpr const char* panic_doc =
    "The exception raised when native code called from Python fails unrecoverably.\n\n"
    "Like SystemExit, it derives from BaseException, so that it normally propagates through\n"
    "the whole stack and ends the interpreter instead of being caught by 'except Exception'.";

/// Writes `head` and then `text` as one line, allocating nothing: a report must get out under any
/// memory pressure (a long text goes out in pieces). True when a signal handler raised while the
/// write waited: its exception is then pending and the rest is not written.
bool write_stderr(std::string_view head, std::string_view text = {}) noexcept
{
    char line[1024];
    std::size_t used = std::min(head.size(), sizeof line);
    std::memcpy(line, head.data(), used);
    if (text.size() < sizeof line - used) {
        // An empty view may hold a null pointer, which memcpy must never see.
        if (!text.empty()) {
            std::memcpy(line + used, text.data(), text.size());
            used += text.size();
            line[used++] = '\n';
        }
        return write_whole(Stream::err, std::string_view(line, used)) == write_interrupted;
    }
    for (std::string_view piece : {std::string_view(line, used), text, std::string_view("\n")}) {
        if (write_whole(Stream::err, piece) == write_interrupted) return true;
    }
    return false;
}

} // namespace

void throw_error_set()
{
    if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, messages::no_exception_set);
    }
    throw ErrorSet();
}

void raise(PyObject* type, std::string_view message)
{
    Ref text = Ref::steal(utf8_to_str_lossy(message));
    if (text) PyErr_SetObject(type, text.get());
    throw_error_set();
}

PyObject* panic_type()
{
    try {
        return panic_cell.get_or_init([]() {
            return check(PyErr_NewExceptionWithDoc(messages::panic_type_name, panic_doc, PyExc_BaseException, nullptr))
                .release();
        });
    }
    catch (const ErrorSet&) {
        return nullptr; // the creation's error is pending; a later panic tries again
    }
}

void panic(std::string_view message, const char* location)
{
    // The report needs no allocation that can fail, so it is written whatever the memory pressure.
    char head[160];
    std::snprintf(head, sizeof head, messages::panic_report_format,
                  static_cast<unsigned long long>(current_thread_id()), location);
    if (write_stderr(head, message)) throw_error_set(); // interrupted: the handler's exception wins
    Ref pending = Ref::steal(PyErr_GetRaisedException());
    PyObject* type = panic_type();
    if (type == nullptr) throw_error_set();
    Ref text = Ref::steal(utf8_to_str_lossy(message));
    // PanicException is a mutable class, so making the instance may run a replaced __new__ or
    // __init__: every caller panics outside critical sections, with nothing borrowed.
    if (text) PyErr_SetObject(type, text.get());
    if (pending) {
        Ref raised = Ref::steal(PyErr_GetRaisedException());
        if (raised && PyExceptionInstance_Check(raised.get())) PyException_SetContext(raised.get(), pending.release());
        PyErr_SetRaisedException(raised.release());
    }
    throw_error_set();
}

namespace {

/// True when the pending exception is a PanicException. The class is not created here: if
/// it does not exist yet, no PanicException can be pending.
bool panic_pending() noexcept
{
    PyObject* type = panic_cell.get();
    return type != nullptr && PyErr_ExceptionMatches(type);
}

} // namespace

bool fatal_error_pending() noexcept
{
    if (!PyErr_Occurred()) return false;
    return !PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError) ||
           PyErr_ExceptionMatches(PyExc_RecursionError);
}

void discard_error()
{
    if (!PyErr_Occurred()) return;
    if (fatal_error_pending()) {
        if (panic_pending()) (void)write_stderr(messages::panic_propagated);
        throw_error_set();
    }
    // Dropping the exception may run __del__ of what its traceback kept alive: callers hold
    // what they use afterwards and are in no critical section.
    PyErr_Clear();
}

std::string type_qualname(PyTypeObject* type)
{
    Ref name = Ref::steal(PyType_GetQualName(type));
    if (name) {
        if (auto text = try_str_utf8(name.get())) return std::string(*text);
    }
    discard_error();
    return messages::unknown_type_name;
}

void raise_cast_error(PyObject* obj, const char* target)
{
    raise(PyExc_TypeError, std::format(messages::cannot_be_cast, type_qualname(Py_TYPE(obj)), target));
}

std::string render_object(PyObject* obj)
{
    // str() and the unraisable hook run Python code; every caller holds `obj` (ref.hpp's rules).
    Ref text = Ref::steal(PyObject_Str(obj));
    if (text) {
        if (auto utf8 = try_str_utf8(text.get())) {
            std::string out;
            core::BoundedSink(out).write(*utf8);
            return out;
        }
    }
    if (fatal_error_pending()) discard_error(); // propagates it
    write_unraisable(obj);
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
    if (name) {
        if (auto utf8 = try_str_utf8(name.get())) {
            return std::format(messages::unprintable_named, *utf8);
        }
    }
    discard_error();
    return messages::unprintable;
}

void reraise_attributed(const char* name)
{
    Ref exc = Ref::steal(PyErr_GetRaisedException());
    if (!exc) throw_error_set();
    if (Py_TYPE(exc.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(exc.release());
        throw_error_set();
    }
    const std::string message = std::format(messages::argument_failed, name, render_object(exc.get()));
    Ref cause = Ref::steal(PyException_GetCause(exc.get()));
    Ref text = check(utf8_to_str_lossy(message));
    Ref replacement = check(PyObject_CallOneArg(PyExc_TypeError, text.get()));
    PyException_SetCause(replacement.get(), cause.release());
    PyErr_SetRaisedException(replacement.release());
    throw_error_set();
}

void set_error_from_current_exception() noexcept
{
    try {
        throw;
    }
    catch (const ErrorSet&) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, messages::no_exception_set);
        }
    }
    catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
    catch (const std::exception& e) {
        try {
            panic(std::string(messages::unexpected_native) + ": " + e.what(), messages::at_lib);
        }
        catch (...) {
        }
    }
    catch (...) {
        try {
            panic(messages::unexpected_native, messages::at_lib);
        }
        catch (...) {
        }
    }
}

void write_unraisable(PyObject* context) noexcept
{
    if (!PyErr_Occurred()) return;
    try {
        PyErr_WriteUnraisable(context);
    }
    catch (abi::__forced_unwind&) { // the hook is Python code: see thread_exit.hpp
        park_thread();
    }
}

} // namespace brenk::py
