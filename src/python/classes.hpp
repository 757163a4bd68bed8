#pragma once
// The registry of the eleven classes: one type object each, created on first need from the
// class's own file and kept for the process.
#include <Python.h>

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
/// The class's type object if it has been created, else null; never creates it.
PyTypeObject* created_class_type(ClassId id) noexcept;
const char* class_name(ClassId id);

/// The submodule of brenk.package that holds a class.
enum class Placement : int { Outline, Constraint, Version };
Placement class_placement(ClassId id);

/// The class whose objects hold nodes of `kind`.
ClassId class_of(core::ConstraintKind kind);

} // namespace brenk::py
