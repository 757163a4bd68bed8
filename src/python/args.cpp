#include "args.hpp"

#include <string>

#include "dict_walk.hpp"
#include "messages.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

[[noreturn]] void raise_too_many(const Signature& sig, Py_ssize_t given)
{
    const char* verb = given == 1 ? "was" : "were";
    if (sig.required == sig.count()) {
        PyErr_Format(PyExc_TypeError, messages::too_many_positional, sig.full_name, sig.count(), given, verb);
    }
    else {
        PyErr_Format(PyExc_TypeError, messages::too_many_positional_range, sig.full_name, sig.required, sig.count(),
                     given, verb);
    }
    throw_error_set();
}

[[noreturn]] void raise_missing(const Signature& sig, PyObject* const* out)
{
    std::string list;
    int missing = 0;
    for (int i = 0; i < sig.required; ++i) missing += out[i] == nullptr;
    int listed = 0;
    for (int i = 0; i < sig.required; ++i) {
        if (out[i] != nullptr) continue;
        if (listed > 0) {
            if (missing == 2)
                list += " and ";
            else
                list += listed == missing - 1 ? ", and " : ", ";
        }
        list += '\'';
        list += sig.names[i];
        list += '\'';
        ++listed;
    }
    PyErr_Format(PyExc_TypeError, messages::missing_required, sig.full_name, missing,
                 missing == 1 ? "argument" : "arguments", list.c_str());
    throw_error_set();
}

/// Index of the parameter named by `key`, or -1.
int find_parameter(const Signature& sig, PyObject* key)
{
    if (!PyUnicode_Check(key)) return -1;
    const std::optional<std::string_view> text = try_str_utf8(key);
    if (!text) {
        discard_error(); // a name with a lone surrogate matches no parameter
        return -1;
    }
    for (int i = 0; i < sig.count(); ++i) {
        if (*text == sig.names[i]) return i;
    }
    return -1;
}

void bind_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out, PyObject** extra)
{
    const int index = find_parameter(sig, key);
    if (index >= 0) {
        if (out[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, messages::multiple_values, sig.full_name, sig.names[index]);
            throw_error_set();
        }
        out[index] = value;
        return;
    }
    if (!sig.collects_extra) {
        // %S runs the str() of a str subclass's key: Python code, after which only the throw follows.
        PyErr_Format(PyExc_TypeError, messages::unexpected_keyword, sig.full_name, key);
        throw_error_set();
    }
    if (*extra == nullptr) *extra = key;
}

void bind_positional(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject** out)
{
    if (nargs > sig.count()) raise_too_many(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
}

/// Checks that every required parameter is bound, then hands the caller a strong reference to
/// each bound argument. Binding reads only what the caller and a snapshot hold, runs no Python
/// code until it raises, so the borrowed pointers in `bound` are still alive here.
void finish(const Signature& sig, PyObject* const* bound, PyObject* extra_name, Ref* out, Ref& extra)
{
    for (int i = 0; i < sig.required; ++i) {
        if (bound[i] == nullptr) raise_missing(sig, bound);
    }
    for (int i = 0; i < sig.count(); ++i) out[i] = Ref::borrow(bound[i]);
    extra = Ref::borrow(extra_name);
}

} // namespace

void bind_call(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames, Ref* out, Ref& extra)
{
    PyObject* bound[max_parameters] = {};
    PyObject* extra_name = nullptr;
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    bind_positional(sig, args, nargs, bound);
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], bound, &extra_name);
        }
    }
    finish(sig, bound, extra_name, out, extra);
}

void bind_call(const Signature& sig, PyObject* args, PyObject* kwargs, Ref* out, Ref& extra)
{
    PyObject* bound[max_parameters] = {};
    PyObject* extra_name = nullptr;
    bind_positional(sig, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), bound);
    // Python code can reach the keyword dict (through gc.get_referrers) and change it, even from
    // another thread: bind from a snapshot of its items, whose references outlive the binding.
    if (kwargs == nullptr) return finish(sig, bound, extra_name, out, extra);
    const DictSnapshot items(kwargs, true);
    for (std::size_t i = 0; i < items.size(); i += 2) bind_keyword(sig, items[i], items[i + 1], bound, &extra_name);
    finish(sig, bound, extra_name, out, extra); // takes its references while the snapshot still holds them
}

} // namespace brenk::py
