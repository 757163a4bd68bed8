#pragma once
// The lookup of the eleven classes, used by every class: ids, names, type objects and what is
// special about each class's objects. The table behind it is class_table.cpp, at the top
// beside the module's initialisation, the one file that knows every class.
#include <Python.h>

#include <array>

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
    End, // not a class: the count
};
inline constexpr int class_count = static_cast<int>(ClassId::End);

/// The submodule of brenk.package that holds a class.
enum class Placement : int { Outline, Constraint, Version };

/// What is special about a class's objects, said by the class's own file; a null hook does
/// nothing. Each is given a constructed object of the class.
struct ClassHooks {
    /// Right after allocation, before any other code can see the object.
    void (*after_allocation)(PyObject* self) noexcept = nullptr;
    /// Before every use of the payload: raises to refuse the use.
    void (*check_use)(PyObject* self) = nullptr;
    /// What check_use decides, without raising: for readers outside Python's error handling.
    bool (*may_use)(PyObject* self) noexcept = nullptr;
    /// Before the payload is destroyed; may take the payload away to keep it from being released.
    void (*before_release)(PyObject* self) noexcept = nullptr;
};

/// One line per class: everything the module needs to know about a class beside its own file.
struct ClassEntry {
    ClassId id;
    const char* name;           // attribute name in its submodule
    const char* qualified_name; // the type's __module__ and name
    Placement placement;
    int kind; // the core::ConstraintKind its objects hold, or -1
    PyObject* (*create)(const char* qualified_name);
    const ClassHooks* hooks = nullptr; // null: none
};

/// Defined by class_table.cpp: the table, indexed by ClassId, the class of each node kind and
/// that class's hooks (null for none: every read of a node looks here, so it is one load).
extern const ClassEntry class_table[class_count];
extern const std::array<ClassId, core::constraint_kind_count> class_by_kind;
extern const std::array<const ClassHooks*, core::constraint_kind_count> hooks_by_kind;

/// The class's type object (borrowed), creating it on first need. A failed creation raises
/// RuntimeError "An error occurred while initializing class {name}" with the cause.
PyTypeObject* class_type(ClassId id);
/// The class's type object if it has been created, else null; never creates it.
PyTypeObject* created_class_type(ClassId id) noexcept;

inline const char* class_name(ClassId id)
{
    return class_table[static_cast<int>(id)].name;
}
inline Placement class_placement(ClassId id)
{
    return class_table[static_cast<int>(id)].placement;
}
/// The class whose objects hold nodes of `kind`.
inline ClassId class_of(core::ConstraintKind kind)
{
    return class_by_kind[static_cast<std::size_t>(kind)];
}
/// The hooks of the class whose objects hold nodes of `kind`, or null when it has none.
inline const ClassHooks* hooks_of(core::ConstraintKind kind) noexcept
{
    return hooks_by_kind[static_cast<std::size_t>(kind)];
}

} // namespace brenk::py
