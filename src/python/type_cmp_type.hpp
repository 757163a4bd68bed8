#pragma once
// CmpType: the operator of a comparison as a Python object, and its conversions. The six
// members are class attributes; the op getter makes a fresh object each time, so members
// compare by identity only.
#include <Python.h>

#include "core/constraint.hpp"

namespace brenk::py {

/// The operator an argument stands for; it must be a CmpType object.
core::CmpType cmp_type_argument(PyObject* obj);
/// A fresh CmpType object for `op`.
PyObject* new_cmp_type_object(core::CmpType op);

/// A new reference to a fresh CmpType class named `qualified_name`, with its six members.
PyObject* create_cmp_type_class(const char* qualified_name);

} // namespace brenk::py
