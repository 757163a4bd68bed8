#pragma once
// Version: a parsed version text with repr() and str(), and the conversions other classes use.
#include <Python.h>

#include <optional>

#include "core/version.hpp"

namespace brenk::py {

bool is_version_object(PyObject* obj) noexcept;
/// The value of a Version object (shared), or nothing when `obj` is not one (or is being
/// written, which never happens).
std::optional<core::Version> read_version(PyObject* obj);
/// A new Version object holding `value`.
PyObject* new_version_object(core::Version value);

/// A new reference to a fresh Version class named `qualified_name`.
PyObject* create_version_class(const char* qualified_name);

} // namespace brenk::py
