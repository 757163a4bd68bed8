#pragma once
// PackageOutline: a package's name, constraints and option settings, validated at construction.
#include <Python.h>

namespace brenk::py {

/// A new reference to a fresh PackageOutline class named `qualified_name`.
PyObject* create_package_outline_class(const char* qualified_name);

} // namespace brenk::py
