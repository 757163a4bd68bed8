#pragma once
// Table-driven argument binding with the module's TypeError messages.
#include <Python.h>

#include <cassert>
#include <cstddef>

#include "errors.hpp"

namespace brenk::py {

/// How a callable takes its arguments: positional-or-keyword parameters, the first
/// `required` of them required, and whether unknown keywords are collected.
struct Signature {
    const char* full_name; // "Cmp.__new__()"
    const char* const* names;
    int count;
    int required;
    bool collects_extra;
};

/// The most parameters a signature has.
inline constexpr int max_parameters = 8;

/// Binds a vectorcall-style call into `out` (new references, null for absent) and, for
/// callables that collect them, the first unknown keyword's name into `extra`. Raises
/// TypeError with the binding messages, leaving `out` and `extra` untouched.
void bind_call(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames, PyObject** out,
               Ref& extra);
/// The same for a tp_new-style call (tuple and dict).
void bind_call(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out, Ref& extra);

/// The arguments of one call bound to a signature's parameters (null when absent) and the first
/// extra keyword's name: strong references, held until the call ends. Python code that a
/// conversion runs may drop the caller's references to the other arguments (clear the call's
/// keyword dict, replace a functools.partial's arguments), so nothing bound is borrowed.
template <std::size_t N> class Bound {
public:
    Bound() noexcept = default;
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;
    ~Bound()
    {
        // A release may run __del__ (Python code); the call is over by then.
        for (PyObject* value : values_) Ref::steal(value);
    }

    void bind(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames)
    {
        assert(sig.count <= static_cast<int>(N));
        bind_call(sig, args, nargsf, kwnames, values_, extra_);
    }
    void bind(const Signature& sig, PyObject* args, PyObject* kwargs)
    {
        assert(sig.count <= static_cast<int>(N));
        bind_call(sig, args, kwargs, values_, extra_);
    }

    PyObject* operator[](std::size_t i) const noexcept { return values_[i]; }
    PyObject* const* data() const noexcept { return values_; }
    /// The first extra keyword's name, or null.
    PyObject* extra_keyword() const noexcept { return extra_.get(); }

private:
    PyObject* values_[N] = {};
    Ref extra_;
};

} // namespace brenk::py
