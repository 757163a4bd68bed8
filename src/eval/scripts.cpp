#include "scripts.hpp"

#include <Python.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>

#include "brenk/embed.hpp"
#include "brenk/json.hpp"
#include "ref.hpp"

namespace brenk::eval {
namespace {

using py::Ref;

bool checked(PyStatus status, std::string& error)
{
    if (!PyStatus_Exception(status)) return true;
    error = status.err_msg != nullptr ? status.err_msg : "the interpreter did not start";
    return false;
}

/// The pending exception's outcome, reported: KeyboardInterrupt interrupts the run,
/// SystemExit(0 or None) is a normal end, anything else is printed with its traceback.
Outcome pending_outcome()
{
    Ref exc = Ref::steal(PyErr_GetRaisedException());
    if (PyErr_GivenExceptionMatches(exc.get(), PyExc_KeyboardInterrupt)) return Outcome::interrupted;
    if (PyErr_GivenExceptionMatches(exc.get(), PyExc_SystemExit)) {
        Ref code = Ref::steal(PyObject_GetAttrString(exc.get(), "code"));
        PyErr_Clear();
        if (!code || code.get() == Py_None || (PyLong_Check(code.get()) && PyLong_AsLong(code.get()) == 0)) {
            PyErr_Clear();
            return Outcome::ok;
        }
    }
    PyErr_DisplayException(exc.get());
    return Outcome::failed;
}

/// The script's text, or nothing with the reason on standard error.
std::optional<std::string> read_script(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string text;
    bool failed = file == nullptr;
    while (!failed) {
        char chunk[65536];
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        text.append(chunk, n);
        if (n < sizeof chunk) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    const int error = errno;
    if (file != nullptr) std::fclose(file);
    if (failed) {
        std::cerr << "brenk-eval: cannot read " << path << ": " << std::strerror(error) << "\n";
        return std::nullopt;
    }
    return text;
}

/// A fresh namespace for one script: it runs as __main__ of its own.
Ref new_namespace(const std::string& path)
{
    Ref globals = Ref::steal(PyDict_New());
    if (!globals) return {};
    Ref name = Ref::steal(PyUnicode_FromString("__main__"));
    Ref file = Ref::steal(PyUnicode_DecodeFSDefault(path.c_str()));
    if (!name || !file || PyDict_SetItemString(globals.get(), "__name__", name.get()) < 0 ||
        PyDict_SetItemString(globals.get(), "__file__", file.get()) < 0 ||
        PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) < 0) {
        return {};
    }
    return globals;
}

/// Appends the line of one outline; false when it cannot be rendered.
bool append_line(PyObject* obj, const std::string& script, std::string& lines)
{
    const embed::Handle<OutlineView> outline = embed::outline(obj);
    if (!outline) return false;
    const std::string_view path = script;
    if (write_json(*outline, lines, &path) != JsonStatus::ok) {
        std::cerr << "brenk-eval: " << script << ": an outline holds a text that is not UTF-8\n";
        return false;
    }
    lines += '\n';
    return true;
}

/// Every global bound to an outline, in the order the script bound them.
Outcome collect_globals(PyObject* globals, const std::string& script, std::string& lines)
{
    Outcome outcome = Outcome::ok;
    // Threads the script started may still change its globals; nothing below runs Python code.
    Py_BEGIN_CRITICAL_SECTION(globals);
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (outcome == Outcome::ok && PyDict_Next(globals, &pos, &key, &value)) {
        if (embed::outline(value) && !append_line(value, script, lines)) outcome = Outcome::internal;
    }
    Py_END_CRITICAL_SECTION();
    return outcome;
}

/// NAME()'s result: an outline, or an iterable of outlines.
Outcome collect_call(PyObject* globals, const std::string& name, const std::string& script, std::string& lines)
{
    Ref function = Ref::borrow(PyDict_GetItemString(globals, name.c_str()));
    if (!function) {
        PyErr_Format(PyExc_NameError, "the script defines no %s to call (--call)", name.c_str());
        return pending_outcome();
    }
    Ref result = Ref::steal(PyObject_CallNoArgs(function.get()));
    if (!result) return pending_outcome();
    if (embed::outline(result.get())) return append_line(result.get(), script, lines) ? Outcome::ok : Outcome::internal;
    Ref iterator = Ref::steal(PyObject_GetIter(result.get()));
    if (!iterator) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() returned a %s, not a PackageOutline or an iterable of them", name.c_str(),
                     Py_TYPE(result.get())->tp_name);
        return pending_outcome();
    }
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        if (!embed::outline(item.get())) {
            PyErr_Format(PyExc_TypeError, "%s() yielded a %s, not a PackageOutline", name.c_str(),
                         Py_TYPE(item.get())->tp_name);
            return pending_outcome();
        }
        if (!append_line(item.get(), script, lines)) return Outcome::internal;
    }
    return PyErr_Occurred() ? pending_outcome() : Outcome::ok;
}

} // namespace

bool start_interpreter(bool quiet_stdout, std::string& error)
{
    if (!embed::register_module()) {
        error = "cannot register the brenk module";
        return false;
    }
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    config.install_signal_handlers = 1; // SIGINT becomes KeyboardInterrupt inside the scripts
    const bool started = checked(Py_InitializeFromConfig(&config), error);
    PyConfig_Clear(&config);
    if (!started) return false;
    // SIGTERM interrupts like SIGINT, so that -o cleans up after either.
    Ref signal = Ref::steal(PyImport_ImportModule("signal"));
    Ref handler = signal ? Ref::steal(PyObject_GetAttrString(signal.get(), "default_int_handler")) : Ref();
    Ref installed =
        handler ? Ref::steal(PyObject_CallMethod(signal.get(), "signal", "iO", SIGTERM, handler.get())) : Ref();
    if (!installed) {
        PyErr_Clear();
        error = "cannot install the SIGTERM handler";
        return false;
    }
    if (quiet_stdout) {
        // Scripts' prints go where diagnostics go; fd 1 already points there too (main).
        Ref err = Ref::borrow(PySys_GetObject("stderr"));
        if (!err || PySys_SetObject("stdout", err.get()) < 0) {
            PyErr_Clear();
            error = "cannot redirect sys.stdout";
            return false;
        }
    }
    return true;
}

bool stop_interpreter()
{
    return Py_FinalizeEx() == 0;
}

bool interrupted()
{
    if (PyErr_CheckSignals() == 0) return false;
    const bool keyboard = PyErr_ExceptionMatches(PyExc_KeyboardInterrupt);
    PyErr_Clear();
    return keyboard;
}

Outcome run_script(const std::string& path, const std::optional<std::string>& call, std::string& lines)
{
    const std::optional<std::string> text = read_script(path);
    if (!text) return Outcome::failed;
    Ref globals = new_namespace(path);
    if (!globals) return pending_outcome();
    Ref code = Ref::steal(Py_CompileStringExFlags(text->c_str(), path.c_str(), Py_file_input, nullptr, -1));
    if (!code) return pending_outcome();
    Ref result = Ref::steal(PyEval_EvalCode(code.get(), globals.get(), globals.get()));
    if (!result) {
        const Outcome ended = pending_outcome();
        if (ended != Outcome::ok) return ended;
    }
    const std::size_t before = lines.size();
    const Outcome collected =
        call ? collect_call(globals.get(), *call, path, lines) : collect_globals(globals.get(), path, lines);
    if (collected != Outcome::ok) lines.resize(before); // a failed script contributes nothing
    // The namespace may hold cycles (functions refer to it): collect them between scripts.
    PyDict_Clear(globals.get());
    return collected;
}

} // namespace brenk::eval
