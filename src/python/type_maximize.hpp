#pragma once
// Maximize: an objective preferring larger values of its item.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Maximize class named `qualified_name`.
PyObject* create_maximize_class(const char* qualified_name);

} // namespace brenk::py
