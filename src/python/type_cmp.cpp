#include "type_cmp.hpp"

#include "constraint_conversion.hpp"
#include "constraint_object.hpp"
#include "type_cmp_type.hpp"
#include "type_if_then.hpp"

namespace brenk::py {
namespace {

constexpr const char* cmp_parameters[] = {"lhs", "rhs", "op"};
constexpr Signature cmp_signature{.full_name = "Cmp.__new__()", .names = cmp_parameters, .required = 3};

core::Constraint build(BoundArgs args)
{
    core::Constraint lhs = convert_argument("lhs", [&] { return extract_constraint(args[0]); });
    core::Constraint rhs = convert_argument("rhs", [&] { return extract_constraint(args[1]); });
    const core::CmpType op = convert_argument("op", [&] { return cmp_type_argument(args[2]); });
    return core::make_cmp(std::move(lhs), std::move(rhs), op);
}

const core::CmpNode& cmp(const core::Constraint& c)
{
    return c.as<core::CmpNode>();
}

PyObject* get_lhs(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(cmp(c).lhs); });
}
PyObject* get_rhs(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return constraint_to_object(cmp(c).rhs); });
}
PyObject* get_op(PyObject* self, void*) noexcept
{
    return read_node(self, [](const core::Constraint& c) { return new_cmp_type_object(cmp(c).op); });
}
int set_lhs(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "lhs", extract_constraint, [](const core::Constraint& old, core::Constraint lhs) {
        return core::make_cmp(std::move(lhs), cmp(old).rhs, cmp(old).op);
    });
}
int set_rhs(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "rhs", extract_constraint, [](const core::Constraint& old, core::Constraint rhs) {
        return core::make_cmp(cmp(old).lhs, std::move(rhs), cmp(old).op);
    });
}
int set_op(PyObject* self, PyObject* value, void*) noexcept
{
    return write_node(self, value, "op", cmp_type_argument, [](const core::Constraint& old, core::CmpType op) {
        return core::make_cmp(cmp(old).lhs, cmp(old).rhs, op);
    });
}

PyGetSetDef getset[] = {
    {"lhs", get_lhs, set_lhs, nullptr, nullptr},
    {"rhs", get_rhs, set_rhs, nullptr, nullptr},
    {"op", get_op, set_op, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    if_then_method,
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

PyObject* create_cmp_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "Cmp(lhs, rhs, op)\n--\n\n", getset,
                                   constraint_constructor<cmp_signature, build>, methods);
}

} // namespace brenk::py
