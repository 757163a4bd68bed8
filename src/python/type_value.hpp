#pragma once
// Value: a literal option value inside a constraint, made only by conversions.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Value class named `qualified_name`.
PyObject* create_value_class(const char* qualified_name);

} // namespace brenk::py
