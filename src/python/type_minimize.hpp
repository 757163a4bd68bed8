#pragma once
// Minimize: an objective preferring smaller values of its item.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Minimize class named `qualified_name`.
PyObject* create_minimize_class(const char* qualified_name);

} // namespace brenk::py
