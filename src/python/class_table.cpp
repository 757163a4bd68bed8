// The table of the eleven classes: the one file that includes every class, at the top of the
// include graph beside module.cpp; everything else reaches a class through classes.hpp.
#include "classes.hpp"

#include <array>

#include "type_cmp.hpp"
#include "type_cmp_type.hpp"
#include "type_depends.hpp"
#include "type_if_then.hpp"
#include "type_num_of.hpp"
#include "type_objective.hpp"
#include "type_package_outline.hpp"
#include "type_spec_option.hpp"
#include "type_value.hpp"
#include "type_version.hpp"

namespace brenk::py {
namespace {

constexpr int no_kind = -1;
constexpr int kind(core::ConstraintKind k)
{
    return static_cast<int>(k);
}
using K = core::ConstraintKind;
using P = Placement;

} // namespace

constexpr ClassEntry class_table[class_count] = {
    {ClassId::PackageOutline, "PackageOutline", "builtins.PackageOutline", P::Outline, no_kind,
     create_package_outline_class},
    {ClassId::Cmp, "Cmp", "builtins.Cmp", P::Constraint, kind(K::Cmp), create_cmp_class},
    {ClassId::CmpType, "CmpType", "builtins.CmpType", P::Constraint, no_kind, create_cmp_type_class},
    {ClassId::Depends, "Depends", "builtins.Depends", P::Constraint, kind(K::Depends), create_depends_class},
    {ClassId::IfThen, "IfThen", "builtins.IfThen", P::Constraint, kind(K::IfThen), create_if_then_class,
     &if_then_hooks},
    {ClassId::Maximize, "Maximize", "builtins.Maximize", P::Constraint, kind(K::Maximize), create_maximize_class},
    {ClassId::Minimize, "Minimize", "builtins.Minimize", P::Constraint, kind(K::Minimize), create_minimize_class},
    {ClassId::NumOf, "NumOf", "builtins.NumOf", P::Constraint, kind(K::NumOf), create_num_of_class},
    {ClassId::SpecOption, "SpecOption", "builtins.SpecOption", P::Constraint, kind(K::SpecOption),
     create_spec_option_class},
    {ClassId::Value, "Value", "builtins.Value", P::Constraint, kind(K::Value), create_value_class},
    {ClassId::Version, "Version", "builtins.Version", P::Version, no_kind, create_version_class},
};

namespace {

constexpr bool table_is_in_id_order()
{
    for (int i = 0; i < class_count; ++i) {
        if (static_cast<int>(class_table[i].id) != i) return false;
    }
    return true;
}
static_assert(table_is_in_id_order(), "class_table[] is indexed by ClassId");

} // namespace

/// kind -> class and kind -> hooks, derived from the table.
constexpr std::array<ClassId, core::constraint_kind_count> class_by_kind = [] {
    std::array<ClassId, core::constraint_kind_count> ids{};
    for (const ClassEntry& entry : class_table) {
        if (entry.kind != no_kind) ids[static_cast<std::size_t>(entry.kind)] = entry.id;
    }
    return ids;
}();
constexpr std::array<const ClassHooks*, core::constraint_kind_count> hooks_by_kind = [] {
    std::array<const ClassHooks*, core::constraint_kind_count> hooks{};
    for (const ClassEntry& entry : class_table) {
        if (entry.kind != no_kind) hooks[static_cast<std::size_t>(entry.kind)] = entry.hooks;
    }
    return hooks;
}();

} // namespace brenk::py
