#pragma once
// Depends: a dependency on another package, by name.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh Depends class named `qualified_name`.
PyObject* create_depends_class(const char* qualified_name);

} // namespace brenk::py
