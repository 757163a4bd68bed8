#pragma once
// What Maximize and Minimize share: one `item` property and a node made by their core
// function, so each class file is its name, its signature and its table line.
#include <Python.h>

#include "constraint_object.hpp"

namespace brenk::py {

using MakeObjective = core::Constraint (*)(core::Constraint);

inline constexpr const char* objective_parameters[] = {"item"};

template <MakeObjective Make> core::Constraint build_objective(PyObject* const* args)
{
    return Make(convert_argument("item", [&] { return extract_constraint(args[0]); }));
}

inline PyObject* get_objective_item(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(c.as<core::ItemNode>().item); });
}

template <MakeObjective Make> int set_objective_item(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "item", extract_constraint,
                      [](const core::Constraint&, core::Constraint item) { return Make(std::move(item)); });
}

template <MakeObjective Make>
inline PyGetSetDef objective_getset[] = {
    {"item", get_objective_item, set_objective_item<Make>, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

/// A Maximize or Minimize class: `Sig` names the class, `Make` builds its nodes.
template <const Signature& Sig, MakeObjective Make>
PyObject* create_objective_class(const char* qualified_name, const char* doc)
{
    return create_constraint_class(qualified_name, doc, objective_getset<Make>,
                                   constraint_constructor<Sig, build_objective<Make>>);
}

} // namespace brenk::py
