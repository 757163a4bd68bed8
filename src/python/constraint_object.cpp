#include "constraint_object.hpp"

#include <cstdint>
#include <vector>

#include "classes.hpp"
#include "comparison_slot.hpp"

namespace brenk::py {
namespace {

/// Before an object's node is released: its class's before_release hook.
void before_release(ConstraintObject* obj) noexcept
{
    const ClassHooks* hooks = hooks_of(constraint_kind(obj));
    if (hooks != nullptr && hooks->before_release != nullptr) hooks->before_release(reinterpret_cast<PyObject*>(obj));
}

/// One function for the eight classes, so that it identifies their objects.
constexpr destructor constraint_dealloc = &dealloc_object<ConstraintObject, before_release>;

} // namespace

bool is_constraint_object(PyObject* obj) noexcept
{
    return Py_TYPE(obj)->tp_dealloc == constraint_dealloc;
}

ConstraintObject* checked_constraint(PyObject* self)
{
    ConstraintObject* obj = constructed_object<ConstraintObject>(self);
    const ClassHooks* hooks = hooks_of(constraint_kind(obj));
    if (hooks != nullptr && hooks->check_use != nullptr) hooks->check_use(self);
    return obj;
}

PyObject* new_constraint_object(PyTypeObject* type, core::Constraint node)
{
    const core::ConstraintKind kind = node.kind();
    PyObject* obj = allocate_object<ConstraintObject>(type, std::move(node));
    as_constraint(obj)->kind = static_cast<std::uint8_t>(kind);
    // Not yet seen by any other code, so what the hook adds may follow `constructed`.
    const ClassHooks* hooks = hooks_of(kind);
    if (hooks != nullptr && hooks->after_allocation != nullptr) hooks->after_allocation(obj);
    return obj;
}

PyObject* constraint_to_object(core::Constraint node)
{
    PyTypeObject* type = class_type(class_of(node.kind()));
    return new_constraint_object(type, std::move(node));
}

PyObject* create_constraint_class(const char* qualified_name, const char* doc, PyGetSetDef* getset,
                                  const Constructor* constructor, PyMethodDef* methods, std::size_t basic_size)
{
    std::vector<PyType_Slot> slots = {
        {Py_tp_richcompare, reinterpret_cast<void*>(&constraint_richcompare)},
        {Py_tp_getset, getset},
    };
    if (methods != nullptr) slots.push_back({Py_tp_methods, methods});
    return create_class(qualified_name, {basic_size, constraint_dealloc, doc, constructor, slots});
}

} // namespace brenk::py
