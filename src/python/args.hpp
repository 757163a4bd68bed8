#pragma once
// Table-driven argument binding with the module's TypeError messages.
#include <Python.h>

#include <cassert>
#include <cstddef>
#include <span>

#include "errors.hpp"

namespace brenk::py {

/// How a callable takes its arguments: positional-or-keyword parameters, the first
/// `required` of them required, and whether unknown keywords are collected.
/// Written with designated initializers; the parameter count is the names array's.
struct Signature {
    const char* full_name; // "Cmp.__new__()"
    std::span<const char* const> names;
    int required;
    bool collects_extra = false;

    constexpr int count() const noexcept { return static_cast<int>(names.size()); }
};

/// The most parameters a signature has.
inline constexpr int max_parameters = 8;

/// Binds a vectorcall-style call into `out` (strong references, null for absent) and, for
/// callables that collect them, the first unknown keyword's name into `extra`. Raises
/// TypeError with the binding messages, leaving `out` and `extra` untouched.
void bind_call(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames, Ref* out,
               Ref& extra);
/// The same for a tp_new-style call (tuple and dict).
void bind_call(const Signature& sig, PyObject* args, PyObject* kwargs, Ref* out, Ref& extra);

/// The bound arguments as a constructor's builder reads them: borrowed, held by their Bound.
class BoundArgs {
public:
    explicit BoundArgs(const Ref* values) noexcept : values_(values) {}
    PyObject* operator[](std::size_t i) const noexcept { return values_[i].get(); }

private:
    const Ref* values_;
};

/// The arguments of one call bound to a signature's parameters (null when absent) and the first
/// extra keyword's name: strong references, held until the call ends (ref.hpp's first rule)
/// and released after it, when __del__ may run.
template <std::size_t N> class Bound {
public:
    Bound() noexcept = default;
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;

    void bind(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames)
    {
        assert(sig.count() <= static_cast<int>(N));
        bind_call(sig, args, nargsf, kwnames, values_, extra_);
    }
    void bind(const Signature& sig, PyObject* args, PyObject* kwargs)
    {
        assert(sig.count() <= static_cast<int>(N));
        bind_call(sig, args, kwargs, values_, extra_);
    }

    PyObject* operator[](std::size_t i) const noexcept { return values_[i].get(); }
    BoundArgs args() const noexcept { return BoundArgs(values_); }
    /// The first extra keyword's name, or null.
    PyObject* extra_keyword() const noexcept { return extra_.get(); }

private:
    Ref values_[N];
    Ref extra_;
};

} // namespace brenk::py
