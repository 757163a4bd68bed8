#pragma once
// Python objects to one constraint: a constraint object's node, or a Value of an option value.
#include <Python.h>

#include <optional>

#include "core/constraint.hpp"

namespace brenk::py {

/// The constraint a Python object stands for, or TypeError "cannot convert '{}' to Constraint".
core::Constraint extract_constraint(PyObject* obj);
/// Like extract_constraint, but a failure returns nothing and leaves no exception pending
/// (its log record is still written). Internal failures, and the refusal of an object made
/// without its constructor, still raise.
std::optional<core::Constraint> try_extract_constraint(PyObject* obj);

} // namespace brenk::py
