#include "args.hpp"

#include <cstring>
#include <string>

namespace brenk::py {
namespace {

[[noreturn]] void raise_too_many(const Signature& sig, Py_ssize_t given)
{
    const char* verb = given == 1 ? "was" : "were";
    if (sig.required == sig.count) {
        PyErr_Format(PyExc_TypeError, "%s takes %d positional arguments but %zd %s given", sig.full_name, sig.count,
                     given, verb);
    }
    else {
        PyErr_Format(PyExc_TypeError, "%s takes from %d to %d positional arguments but %zd %s given", sig.full_name,
                     sig.required, sig.count, given, verb);
    }
    throw ErrorSet{};
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
            if (missing == 2) list += " and ";
            else list += listed == missing - 1 ? ", and " : ", ";
        }
        list += '\'';
        list += sig.names[i];
        list += '\'';
        ++listed;
    }
    PyErr_Format(PyExc_TypeError, "%s missing %d required positional %s: %s", sig.full_name, missing,
                 missing == 1 ? "argument" : "arguments", list.c_str());
    throw ErrorSet{};
}

/// Index of the parameter named by `key`, or -1.
int find_parameter(const Signature& sig, PyObject* key)
{
    if (!PyUnicode_Check(key)) return -1;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(key, &size);
    if (text == nullptr) {
        discard_error();  // a name with a lone surrogate matches no parameter
        return -1;
    }
    for (int i = 0; i < sig.count; ++i) {
        if (std::strlen(sig.names[i]) == static_cast<std::size_t>(size) && std::memcmp(sig.names[i], text, size) == 0) {
            return i;
        }
    }
    return -1;
}

void bind_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out, ExtraKeyword* extra)
{
    const int index = find_parameter(sig, key);
    if (index >= 0) {
        if (out[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", sig.full_name, sig.names[index]);
            throw ErrorSet{};
        }
        out[index] = value;
        return;
    }
    if (!sig.collects_extra) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", sig.full_name, key);
        throw ErrorSet{};
    }
    if (extra != nullptr && extra->name == nullptr) {
        extra->name = key;
        extra->value = value;
    }
}

void bind_positional(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject** out)
{
    if (nargs > sig.count) raise_too_many(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
}

void check_required(const Signature& sig, PyObject** out)
{
    for (int i = 0; i < sig.required; ++i) {
        if (out[i] == nullptr) raise_missing(sig, out);
    }
}

}  // namespace

void bind(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames, PyObject** out,
          ExtraKeyword* extra)
{
    for (int i = 0; i < sig.count; ++i) out[i] = nullptr;
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    bind_positional(sig, args, nargs, out);
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out, extra);
        }
    }
    check_required(sig, out);
}

void bind(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out, ExtraKeyword* extra)
{
    for (int i = 0; i < sig.count; ++i) out[i] = nullptr;
    bind_positional(sig, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), out);
    if (kwargs != nullptr) {
        // The call's own keyword dictionary: private to this call, so no lock is needed.
        Py_ssize_t pos = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) bind_keyword(sig, key, value, out, extra);
    }
    check_required(sig, out);
}

}  // namespace brenk::py
