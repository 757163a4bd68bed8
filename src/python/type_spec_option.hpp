#pragma once
// SpecOption: a reference to one option of one package.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh SpecOption class named `qualified_name`.
PyObject* create_spec_option_class(const char* qualified_name);

} // namespace brenk::py
