#pragma once
// The eleven classes: one type object each, created on first need and kept for the process.
#include <Python.h>

#include <cstddef>

#include "core/constraint.hpp"

namespace brenk::py {

enum class ClassId : int {
    PackageOutline,
    Cmp,
    CmpType,
    Depends,
    IfThen,
    Maximize,
    Minimize,
    NumOf,
    SpecOption,
    Value,
    Version,
};
inline constexpr int class_count = 11;

/// The class's type object (borrowed), creating it on first need. A failed creation raises
/// RuntimeError "An error occurred while initializing class {name}" with the cause.
PyTypeObject* class_type(ClassId id);
const char* class_name(ClassId id);

/// The submodule of brenk.package that holds a class.
enum class Placement : int { Outline, Constraint, Version };
Placement class_placement(ClassId id);

/// The class whose objects hold nodes of `kind`.
ClassId class_of(core::ConstraintKind kind);

/// Creates a class from its slots: no subclassing, no __dict__, no weak references, no GC,
/// a mutable type; `no_constructor` adds the disallow-instantiation flag. A non-null
/// `vectorcall` makes calls of the class skip tuple and dict building.
PyObject* create_class(const char* qualified_name, std::size_t basicsize, PyType_Slot* slots, bool no_constructor,
                       vectorcallfunc vectorcall = nullptr);

/// Creators, one per class file, given the class's qualified name from the table. Each returns
/// a new reference to a fresh type object.
PyObject* create_package_outline_class(const char* qualified_name);
PyObject* create_cmp_class(const char* qualified_name);
PyObject* create_cmp_type_class(const char* qualified_name);
PyObject* create_depends_class(const char* qualified_name);
PyObject* create_if_then_class(const char* qualified_name);
PyObject* create_maximize_class(const char* qualified_name);
PyObject* create_minimize_class(const char* qualified_name);
PyObject* create_num_of_class(const char* qualified_name);
PyObject* create_spec_option_class(const char* qualified_name);
PyObject* create_value_class(const char* qualified_name);
PyObject* create_version_class(const char* qualified_name);

} // namespace brenk::py
