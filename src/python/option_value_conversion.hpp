#pragma once
// Conversions between Python objects and option values.
#include <Python.h>

#include <optional>

#include "core/option_value.hpp"

namespace brenk::py {

/// Tries, in order: bool (and NumPy booleans), 64-bit integer, float, str, Version. Returns
/// nothing with no exception pending when none applies; an internal failure raised by
/// Python code it calls, and the refusal of a Version made without its constructor, still
/// propagate.
std::optional<core::OptionValue> try_extract_option_value(PyObject* obj);

/// try_extract_option_value, or TypeError "cannot cast Python type '{}' to SpecOptionValue"
/// (written to the log first).
core::OptionValue extract_option_value(PyObject* obj);

/// A new Python object for the value: bool, int, float, str or a new Version.
PyObject* option_value_to_object(const core::OptionValue& value);

} // namespace brenk::py
