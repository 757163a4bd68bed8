#pragma once
// The Python object shared by the eight constraint classes: its layout, node access and
// creation. Conversions live in constraint_conversion.hpp and constraint_list.hpp, the
// comparison slot in comparison_slot.hpp; what is special about one class (IfThen's thread
// confinement) in its own file, through its ClassHooks (classes.hpp).
//
// Each object holds one constraint node of its class's kind. Nodes are immutable: a read
// shares the node (or a child), a property write builds a new node and swaps it in under the
// exclusive borrow. The node is read only under a shared borrow and replaced only under the
// exclusive one, always by a node of the same kind, so the header's `kind`, written before the
// object is seen, names the kind without reading the node.
#include <Python.h>

#include <cstddef>
#include <utility>

#include "args.hpp"
#include "borrow.hpp"
#include "core/constraint.hpp"
#include "errors.hpp"
#include "messages.hpp"
#include "object.hpp"

namespace brenk::py {

/// The payload is the object's node.
using ConstraintObject = Object<core::Constraint>;

/// True for instances of the eight constraint classes.
bool is_constraint_object(PyObject* obj) noexcept;
inline ConstraintObject* as_constraint(PyObject* obj) noexcept
{
    return reinterpret_cast<ConstraintObject*>(obj);
}
inline core::ConstraintKind constraint_kind(const ConstraintObject* obj) noexcept
{
    return static_cast<core::ConstraintKind>(obj->kind);
}

/// The object behind `self`, checked before its node is used: TypeError for an object made
/// without its constructor, then its class's check_use hook.
ConstraintObject* checked_constraint(PyObject* self);

/// A new object of the class matching the node's kind, owning `node`.
PyObject* constraint_to_object(core::Constraint node);
/// A new object of `type` (the class of the node's kind) owning `node`.
PyObject* new_constraint_object(PyTypeObject* type, core::Constraint node);

/// Getter body: checks, shared borrow, then `read(node)`.
template <class Read> PyObject* read_node(PyObject* self, Read&& read) noexcept
{
    return read_payload<ConstraintObject, checked_constraint>(self, std::forward<Read>(read));
}

/// Setter body: refuse deletion, convert (attributed to `name`), checks, then swap in
/// `rebuild(old node, converted value)` under the exclusive borrow.
template <class Convert, class Rebuild>
int write_node(PyObject* self, PyObject* value, const char* name, Convert&& convert, Rebuild&& rebuild) noexcept
{
    return guard<int>(-1, [&]() -> int {
        if (value == nullptr) raise(PyExc_AttributeError, messages::cannot_delete);
        // The conversion runs Python code (ref.hpp's first rule): hold both.
        Ref held_self = Ref::borrow(self), held_value = Ref::borrow(value);
        auto converted = convert_argument(name, [&] { return convert(value); });
        ConstraintObject* obj = checked_constraint(self);
        core::Constraint old;
        {
            ExclusiveBorrow borrow(obj->borrow);
            core::Constraint updated = rebuild(obj->payload, std::move(converted));
            old = std::exchange(obj->payload, std::move(updated));
        }
        return 0; // `old` is released here, after the borrow
    });
}

/// The constructor of a class that binds `Sig` and turns the bound arguments into the new
/// object's node with `Build`.
template <core::Constraint (*Build)(BoundArgs), std::size_t N>
PyObject* construct_constraint(PyTypeObject* type, const Bound<N>& bound)
{
    return new_constraint_object(type, Build(bound.args()));
}
template <const Signature& Sig, core::Constraint (*Build)(BoundArgs)>
inline constexpr const Constructor* constraint_constructor =
    &constructor<Sig, construct_constraint<Build, Sig.count()>>;

/// Creates one of the eight classes: the shared layout and slots plus the class's own.
/// `basic_size` is larger only for a class whose objects carry more (IfThen, its owner).
PyObject* create_constraint_class(const char* qualified_name, const char* doc, PyGetSetDef* getset,
                                  const Constructor* constructor, PyMethodDef* methods = nullptr,
                                  std::size_t basic_size = sizeof(ConstraintObject));

} // namespace brenk::py
