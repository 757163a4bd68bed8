#pragma once
// The rich comparison of the constraint classes: `a < b` and the others build a Cmp, checked
// by the core's comparison rules.
#include <Python.h>

namespace brenk::py {

/// tp_richcompare: a new Cmp, NotImplemented when `other` converts to no constraint (or `self`
/// is being written), NotImplementedError with the core's refusal when the types do not compare.
PyObject* constraint_richcompare(PyObject* self, PyObject* other, int op) noexcept;

} // namespace brenk::py
