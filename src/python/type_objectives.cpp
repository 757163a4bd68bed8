// Maximize and Minimize: optimisation objectives over one item.
#include "classes.hpp"
#include "constraint_object.hpp"

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"item"};
constexpr Signature maximize_signature{"Maximize.__new__()", parameters, 1, 1, false};
constexpr Signature minimize_signature{"Minimize.__new__()", parameters, 1, 1, false};

template <core::Constraint (*Make)(core::Constraint)> core::Constraint build(PyObject* const* args)
{
    return Make(convert_argument("item", [&] { return extract_constraint(args[0]); }));
}

PyObject* get_item(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(c.as<core::ItemNode>().item); });
}

template <core::Constraint (*Make)(core::Constraint)> int set_item(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "item", extract_constraint,
                      [](const core::Constraint&, core::Constraint item) { return Make(std::move(item)); });
}

PyGetSetDef maximize_getset[] = {
    {"item", get_item, set_item<core::make_maximize>, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef minimize_getset[] = {
    {"item", get_item, set_item<core::make_minimize>, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_maximize_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "Maximize(item)\n--\n\n", maximize_getset, nullptr,
                                   constraint_new<maximize_signature, build<core::make_maximize>>,
                                   constraint_vectorcall<maximize_signature, build<core::make_maximize>>);
}

PyObject* create_minimize_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "Minimize(item)\n--\n\n", minimize_getset, nullptr,
                                   constraint_new<minimize_signature, build<core::make_minimize>>,
                                   constraint_vectorcall<minimize_signature, build<core::make_minimize>>);
}

} // namespace brenk::py
