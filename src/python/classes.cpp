#include "classes.hpp"

#include <array>
#include <string>

#include "errors.hpp"
#include "messages.hpp"
#include "once.hpp"
#include "type_cmp.hpp"
#include "type_cmp_type.hpp"
#include "type_depends.hpp"
#include "type_if_then.hpp"
#include "type_maximize.hpp"
#include "type_minimize.hpp"
#include "type_num_of.hpp"
#include "type_package_outline.hpp"
#include "type_spec_option.hpp"
#include "type_value.hpp"
#include "type_version.hpp"

namespace brenk::py {
namespace {

/// One line per class: everything the module needs to know about a class beside its own file.
struct ClassEntry {
    ClassId id;
    const char* name;           // attribute name in its submodule
    const char* qualified_name; // the type's __module__ and name
    Placement placement;
    int kind; // the core::ConstraintKind its objects hold, or -1
    PyObject* (*create)(const char* qualified_name);
};

constexpr int no_kind = -1;
constexpr int kind(core::ConstraintKind k)
{
    return static_cast<int>(k);
}
using K = core::ConstraintKind;
using P = Placement;

constexpr ClassEntry entries[class_count] = {
    {ClassId::PackageOutline, "PackageOutline", "builtins.PackageOutline", P::Outline, no_kind,
     create_package_outline_class},
    {ClassId::Cmp, "Cmp", "builtins.Cmp", P::Constraint, kind(K::Cmp), create_cmp_class},
    {ClassId::CmpType, "CmpType", "builtins.CmpType", P::Constraint, no_kind, create_cmp_type_class},
    {ClassId::Depends, "Depends", "builtins.Depends", P::Constraint, kind(K::Depends), create_depends_class},
    {ClassId::IfThen, "IfThen", "builtins.IfThen", P::Constraint, kind(K::IfThen), create_if_then_class},
    {ClassId::Maximize, "Maximize", "builtins.Maximize", P::Constraint, kind(K::Maximize), create_maximize_class},
    {ClassId::Minimize, "Minimize", "builtins.Minimize", P::Constraint, kind(K::Minimize), create_minimize_class},
    {ClassId::NumOf, "NumOf", "builtins.NumOf", P::Constraint, kind(K::NumOf), create_num_of_class},
    {ClassId::SpecOption, "SpecOption", "builtins.SpecOption", P::Constraint, kind(K::SpecOption),
     create_spec_option_class},
    {ClassId::Value, "Value", "builtins.Value", P::Constraint, kind(K::Value), create_value_class},
    {ClassId::Version, "Version", "builtins.Version", P::Version, no_kind, create_version_class},
};

constexpr bool table_is_in_id_order()
{
    for (int i = 0; i < class_count; ++i) {
        if (static_cast<int>(entries[i].id) != i) return false;
    }
    return true;
}
static_assert(table_is_in_id_order(), "entries[] is indexed by ClassId");

/// kind -> class, derived from the table.
constexpr auto class_by_kind = [] {
    std::array<ClassId, core::constraint_kind_count> ids{};
    for (const ClassEntry& entry : entries) {
        if (entry.kind != no_kind) ids[static_cast<std::size_t>(entry.kind)] = entry.id;
    }
    return ids;
}();

OnceObject cells[class_count];

} // namespace

const char* class_name(ClassId id)
{
    return entries[static_cast<int>(id)].name;
}

Placement class_placement(ClassId id)
{
    return entries[static_cast<int>(id)].placement;
}

ClassId class_of(core::ConstraintKind kind)
{
    return class_by_kind[static_cast<std::size_t>(kind)];
}

PyTypeObject* created_class_type(ClassId id) noexcept
{
    return reinterpret_cast<PyTypeObject*>(cells[static_cast<int>(id)].get());
}

PyTypeObject* class_type(ClassId id)
{
    const int index = static_cast<int>(id);
    if (PyObject* ready = cells[index].get()) return reinterpret_cast<PyTypeObject*>(ready);
    PyObject* type = cells[index].get_or_init([&]() -> PyObject* {
        try {
            return check(entries[index].create(entries[index].qualified_name)).release();
        }
        catch (const ErrorSet&) {
            Ref cause = Ref::steal(PyErr_GetRaisedException());
            PyErr_Format(PyExc_RuntimeError, messages::class_init_failed, entries[index].name);
            Ref error = Ref::steal(PyErr_GetRaisedException());
            PyException_SetCause(error.get(), cause.release());
            PyErr_SetRaisedException(error.release());
            throw;
        }
    });
    return reinterpret_cast<PyTypeObject*>(type);
}

} // namespace brenk::py
