#pragma once
// The Python object shared by the eight constraint classes and the conversions between
// Python objects and constraints.
//
// Each object holds one constraint node of its class's kind. Nodes are immutable: a read
// shares the node (or a child), a property write builds a new node and swaps it in under the
// exclusive borrow. The node is read only under a shared borrow and replaced only under the
// exclusive one, always by a node of the same kind; an IfThen's `owner` never changes.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "args.hpp"
#include "borrow.hpp"
#include "core/constraint.hpp"
#include "errors.hpp"
#include "messages.hpp"
#include "object.hpp"

namespace brenk::py {

/// The payload is the object's node.
using ConstraintObject = Object<core::Constraint>;
/// IfThen objects belong to the thread that created them; only they carry its id.
struct IfThenObject : ConstraintObject {
    std::uint64_t owner;
};

/// True for instances of the eight constraint classes.
bool is_constraint_object(PyObject* obj) noexcept;
inline ConstraintObject* as_constraint(PyObject* obj) noexcept
{
    return reinterpret_cast<ConstraintObject*>(obj);
}

/// The object behind `self`, checked before its node is used: TypeError for an object made
/// without its constructor, an internal failure for an IfThen used off its creating thread.
ConstraintObject* checked_constraint(PyObject* self);

/// A new object of the class matching the node's kind, owning `node`.
PyObject* constraint_to_object(core::Constraint node);
/// A new object of `type` (one of the eight classes) owning `node`.
PyObject* new_constraint_object(PyTypeObject* type, core::Constraint node);

/// The constraint a Python object stands for, or TypeError "cannot convert '{}' to Constraint".
core::Constraint extract_constraint(PyObject* obj);
/// Like extract_constraint, but a failure returns nothing and leaves no exception pending
/// (its log record is still written). Internal failures, and the refusal of an object made
/// without its constructor, still raise.
std::optional<core::Constraint> try_extract_constraint(PyObject* obj);
/// A sequence (not a str) of convertible objects, in iteration order.
std::vector<core::Constraint> extract_constraint_list(PyObject* obj);
/// A new list with one new object per constraint.
PyObject* constraint_list_to_object(std::span<const core::Constraint> list);

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
        // The conversion may run Python code that drops the caller's references (setattr
        // called through a functools.partial whose arguments it replaces): hold both.
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
template <core::Constraint (*Build)(PyObject* const*), std::size_t N>
PyObject* construct_constraint(PyTypeObject* type, const Bound<N>& bound)
{
    return new_constraint_object(type, Build(bound.data()));
}
template <const Signature& Sig, core::Constraint (*Build)(PyObject* const*)>
inline constexpr const Constructor* constraint_constructor = &constructor<Sig, construct_constraint<Build, Sig.count>>;

/// Creates one of the eight classes: the shared layout and slots plus the class's own.
/// `basic_size` is larger only for IfThen, whose objects carry their owner.
PyObject* create_constraint_class(const char* qualified_name, const char* doc, PyGetSetDef* getset,
                                  const Constructor* constructor, PyMethodDef* methods = nullptr,
                                  std::size_t basic_size = sizeof(ConstraintObject));

/// The text of an argument that must be a str.
std::string text_argument(PyObject* obj);

} // namespace brenk::py
