#include "type_if_then.hpp"

#include <cstdint>
#include <format>
#include <string>

#include "constraint_conversion.hpp"
#include "constraint_object.hpp"
#include "log.hpp"
#include "thread_id.hpp"

// IfThen objects belong to the thread that created them: used on another thread they raise an
// internal failure, dropped on another they keep (leak) their node and say so. Everything
// that makes that so is here, run through the class's hooks.
namespace brenk::py {
namespace {

/// Only IfThen objects carry their creating thread's id.
struct IfThenObject : ConstraintObject {
    std::uint64_t owner;
};
IfThenObject* as_if_then(PyObject* obj) noexcept
{
    return static_cast<IfThenObject*>(as_constraint(obj));
}

void record_owner(PyObject* self) noexcept
{
    as_if_then(self)->owner = current_thread_id();
}

bool on_owner_thread(PyObject* self) noexcept
{
    return as_if_then(self)->owner == current_thread_id();
}

void require_owner_thread(PyObject* self)
{
    const std::uint64_t current = current_thread_id();
    const std::uint64_t owner = as_if_then(self)->owner;
    if (current == owner) return;
    panic(std::format(messages::if_then_sent, current, owner), messages::at_if_then);
}

/// Dropped off its thread, the node is leaked: it belongs to its thread.
void release_on_owner_thread(PyObject* self) noexcept
{
    IfThenObject* obj = as_if_then(self);
    if (obj->owner == current_thread_id()) return;
    (void)obj->payload.detach();
    PyObject* pending = PyErr_GetRaisedException();
    PyErr_SetString(PyExc_RuntimeError, messages::if_then_dropped);
    // The hook runs Python code: it is not given this object, whose payload is detached.
    write_unraisable(nullptr);
    PyErr_SetRaisedException(pending);
}

constexpr const char* parameters[] = {"cond", "then"};
constexpr Signature signature{.full_name = "IfThen.__new__()", .names = parameters, .required = 2};
constexpr const char* if_then_parameters[] = {"then"};
constexpr Signature if_then_signature{.full_name = "Cmp.if_then()", .names = if_then_parameters, .required = 1};

core::Constraint build(BoundArgs args)
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

/// cond.if_then(then): an IfThen owned by the calling thread.
PyObject* if_then(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<if_then_signature.count()> bound;
        bound.bind(if_then_signature, args, static_cast<std::size_t>(nargsf), kwnames);
        // Held like the argument: converting `then` runs Python code (ref.hpp's first rule).
        Ref held_self = Ref::borrow(self);
        ConstraintObject* obj = checked_constraint(self);
        SharedBorrow borrow(obj->borrow);
        borrow.require();
        core::Constraint then = convert_argument("then", [&] { return extract_constraint(bound[0]); });
        return constraint_to_object(core::make_if_then(obj->payload, std::move(then)));
    });
}

} // namespace

const ClassHooks if_then_hooks = {
    .after_allocation = record_owner,
    .check_use = require_owner_thread,
    .may_use = on_owner_thread,
    .before_release = release_on_owner_thread,
};

const PyMethodDef if_then_method = {
    "if_then", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&if_then)), METH_FASTCALL | METH_KEYWORDS,
    "if_then($self, then)\n--\n\nWrap this condition in an IfThen constraint.\n\ncond.if_then(then) => If ( cond ) "
    "Then ( then )"};

PyObject* create_if_then_class(const char* qualified_name)
{
    return create_constraint_class(qualified_name, "IfThen(cond, then)\n--\n\n", getset,
                                   constraint_constructor<signature, build>, nullptr, sizeof(IfThenObject));
}

} // namespace brenk::py
