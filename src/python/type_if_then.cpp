#include "type_if_then.hpp"

#include "constraint_object.hpp"

namespace brenk::py {
namespace {

constexpr const char* parameters[] = {"cond", "then"};
constexpr Signature signature{"IfThen.__new__()", parameters, 2, 2, false};

core::Constraint build(PyObject* const* args)
{
    core::Constraint cond = convert_argument("cond", [&] { return extract_constraint(args[0]); });
    core::Constraint then = convert_argument("then", [&] { return extract_constraint(args[1]); });
    return core::make_if_then(std::move(cond), std::move(then));
}

const core::IfThenNode& node(const core::Constraint& c)
{
    return c.as<core::IfThenNode>();
}

PyObject* get_cond(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(node(c).cond); });
}
PyObject* get_then(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(node(c).then); });
}
int set_cond(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "cond", extract_constraint, [](const core::Constraint& old, core::Constraint cond) {
        return core::make_if_then(std::move(cond), node(old).then);
    });
}
int set_then(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "then", extract_constraint, [](const core::Constraint& old, core::Constraint then) {
        return core::make_if_then(node(old).cond, std::move(then));
    });
}

PyGetSetDef getset[] = {
    {"cond", get_cond, set_cond, nullptr, nullptr},
    {"then", get_then, set_then, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

PyObject* create_if_then_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "IfThen(cond, then)\n--\n\n", getset,
                                   constraint_constructor<signature, build>, nullptr, sizeof(IfThenObject));
}

} // namespace brenk::py
