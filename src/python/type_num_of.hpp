#pragma once
// NumOf: how many of a list of constraints hold.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh NumOf class named `qualified_name`.
PyObject* create_num_of_class(const char* qualified_name);

} // namespace brenk::py
