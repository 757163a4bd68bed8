#pragma once
// Maximize and Minimize: objectives preferring larger or smaller values of their item.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Maximize class named `qualified_name`.
PyObject* create_maximize_class(const char* qualified_name);
/// A new reference to a fresh Minimize class named `qualified_name`.
PyObject* create_minimize_class(const char* qualified_name);

} // namespace brenk::py
