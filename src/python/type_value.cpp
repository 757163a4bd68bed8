#include "type_value.hpp"

#include "constraint_object.hpp"
#include "option_value_conversion.hpp"

namespace brenk::py {
namespace {

PyObject* get_value(PyObject* self, void*) noexcept
{
    return read_node(self,
                     [](const core::Constraint& c) { return option_value_to_object(c.as<core::ValueNode>().value()); });
}
int set_value(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "value", extract_option_value,
                      [](const core::Constraint&, core::OptionValue v) { return core::make_value(std::move(v)); });
}

PyGetSetDef getset[] = {
    {"value", get_value, set_value, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_value_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, nullptr, getset, nullptr);
}

} // namespace brenk::py
