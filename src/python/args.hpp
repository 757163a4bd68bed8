#pragma once
// Table-driven argument binding with the module's TypeError messages.
#include <Python.h>

#include <array>
#include <cstddef>

#include "errors.hpp"

namespace brenk::py {

/// How a callable takes its arguments: positional-or-keyword parameters, the first
/// `required` of them required, and whether unknown keywords are collected.
struct Signature {
    const char* full_name;  // "Cmp.__new__()"
    const char* const* names;
    int count;
    int required;
    bool collects_extra;
};

/// The first unknown keyword of a call (borrowed), for callables that collect them.
struct ExtraKeyword {
    PyObject* name = nullptr;
    PyObject* value = nullptr;
};

/// Binds a vectorcall-style call into `out` (borrowed references, null for absent).
/// Raises TypeError with the binding messages.
void bind(const Signature& sig, PyObject* const* args, std::size_t nargsf, PyObject* kwnames, PyObject** out,
          ExtraKeyword* extra = nullptr);

/// Binds a tp_new-style call (tuple and dict).
void bind(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out, ExtraKeyword* extra = nullptr);

template <std::size_t N>
struct Bound {
    std::array<PyObject*, N> values{};
    PyObject* operator[](std::size_t i) const noexcept { return values[i]; }
};

}  // namespace brenk::py
