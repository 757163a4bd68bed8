#pragma once
// Cmp: lhs op rhs, the comparison built by the operators of constraints.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Cmp class named `qualified_name`.
PyObject* create_cmp_class(const char* qualified_name);

} // namespace brenk::py
