#pragma once
// IfThen: an implication; its objects belong to the thread that created them.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh IfThen class named `qualified_name`.
PyObject* create_if_then_class(const char* qualified_name);

} // namespace brenk::py
