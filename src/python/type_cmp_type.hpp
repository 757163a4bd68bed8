#pragma once
// CmpType: the operator of a comparison as a Python object, and its conversions.
#include <Python.h>

#include "core/constraint.hpp"

namespace brenk::py {

/// The operator an argument stands for; it must be a CmpType object.
core::CmpType cmp_type_argument(PyObject* obj);
/// A fresh CmpType object for `op`.
PyObject* new_cmp_type_object(core::CmpType op);

} // namespace brenk::py
