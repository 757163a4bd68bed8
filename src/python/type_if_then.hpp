#pragma once
// IfThen: an implication; its objects belong to the thread that created them.
#include <Python.h>

#include "classes.hpp"

namespace brenk::py {

/// A new reference to a fresh IfThen class named `qualified_name`.
PyObject* create_if_then_class(const char* qualified_name);

/// The thread confinement of IfThen objects, for the class table.
extern const ClassHooks if_then_hooks;

/// Cmp's method if_then(then): cond.if_then(then) is IfThen(cond, then), owned by the caller.
extern const PyMethodDef if_then_method;

} // namespace brenk::py
