#pragma once
// Lists of constraints: from any sequence of convertible objects, and back to a list.
#include <Python.h>

#include <span>
#include <vector>

#include "core/constraint.hpp"

namespace brenk::py {

/// A sequence (not a str) of convertible objects, in iteration order.
std::vector<core::Constraint> extract_constraint_list(PyObject* obj);
/// A new list with one new object per constraint.
PyObject* constraint_list_to_object(std::span<const core::Constraint> list);

} // namespace brenk::py
