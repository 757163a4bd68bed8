#include "type_objective.hpp"

#include "constraint_conversion.hpp"
#include "constraint_object.hpp"

// The two objectives differ only in their name and the core function that builds their nodes:
// one definition, instantiated once for each.
namespace brenk::py {
namespace {

using MakeObjective = core::Constraint (*)(core::Constraint);

constexpr const char* parameters[] = {"item"};
constexpr Signature maximize_signature{.full_name = "Maximize.__new__()", .names = parameters, .required = 1};
constexpr Signature minimize_signature{.full_name = "Minimize.__new__()", .names = parameters, .required = 1};

template <MakeObjective Make> core::Constraint build(BoundArgs args)
{
    return Make(convert_argument("item", [&] { return extract_constraint(args[0]); }));
}

PyObject* get_item(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(c.as<core::ItemNode>().item); });
}

template <MakeObjective Make> int set_item(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "item", extract_constraint,
                      [](const core::Constraint&, core::Constraint item) { return Make(std::move(item)); });
}

template <MakeObjective Make>
PyGetSetDef getset[] = {
    {"item", get_item, set_item<Make>, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

template <const Signature& Sig, MakeObjective Make>
PyObject* create_objective_class(const char* qualified_name, const char* doc)
{
    return create_constraint_class(qualified_name, doc, getset<Make>, constraint_constructor<Sig, build<Make>>);
}

} // namespace

PyObject* create_maximize_class(const char* qualified_name)
{
    return create_objective_class<maximize_signature, core::make_maximize>(qualified_name, "Maximize(item)\n--\n\n");
}

PyObject* create_minimize_class(const char* qualified_name)
{
    return create_objective_class<minimize_signature, core::make_minimize>(qualified_name, "Minimize(item)\n--\n\n");
}

} // namespace brenk::py
