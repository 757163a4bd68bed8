#include "type_cmp.hpp"

#include "constraint_object.hpp"
#include "type_cmp_type.hpp"

namespace brenk::py {
namespace {

constexpr const char* cmp_parameters[] = {"lhs", "rhs", "op"};
constexpr Signature cmp_signature{"Cmp.__new__()", cmp_parameters, 3, 3, false};
constexpr const char* if_then_parameters[] = {"then"};
constexpr Signature if_then_signature{"Cmp.if_then()", if_then_parameters, 1, 1, false};

core::Constraint build(PyObject* const* args)
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

/// cond.if_then(then): an IfThen owned by the calling thread.
PyObject* if_then(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<1> bound;
        bound.bind(if_then_signature, args, static_cast<std::size_t>(nargsf), kwnames);
        // Held like the argument: converting `then` may run Python code that drops the caller's
        // reference to self.
        Ref held_self = Ref::borrow(self);
        ConstraintObject* obj = checked_constraint(self);
        SharedBorrow borrow(obj->borrow);
        borrow.require();
        core::Constraint then = convert_argument("then", [&] { return extract_constraint(bound[0]); });
        return constraint_to_object(core::make_if_then(obj->payload, std::move(then)));
    });
}

PyGetSetDef getset[] = {
    {"lhs", get_lhs, set_lhs, nullptr, nullptr},
    {"rhs", get_rhs, set_rhs, nullptr, nullptr},
    {"op", get_op, set_op, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"if_then", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&if_then)), METH_FASTCALL | METH_KEYWORDS,
     "if_then($self, then)\n--\n\nWrap this condition in an IfThen constraint.\n\ncond.if_then(then) => If ( cond ) "
     "Then ( then )"},
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

PyObject* create_cmp_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "Cmp(lhs, rhs, op)\n--\n\n", getset,
                                   constraint_constructor<cmp_signature, build>, methods);
}

} // namespace brenk::py
