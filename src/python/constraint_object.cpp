#include "constraint_object.hpp"

#include <algorithm>
#include <new>
#include <string>

#include "classes.hpp"
#include "core/comparison.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "option_value_conversion.hpp"
#include "text.hpp"
#include "thread_id.hpp"

namespace brenk::py {
namespace {

/// The conversion without its failure report.
std::optional<core::Constraint> convert(PyObject* obj)
{
    if (is_constraint_object(obj)) {
        if (auto node = copy_payload<ConstraintObject, checked_constraint>(obj)) return node;
    }
    if (auto value = try_extract_option_value(obj)) return core::make_value(std::move(*value));
    return std::nullopt;
}

std::string conversion_failure_message(PyObject* obj)
{
    return messages::constraint_conversion_head + render_object(reinterpret_cast<PyObject*>(Py_TYPE(obj))) +
           messages::constraint_conversion_tail;
}

/// Before an object's node is released: an IfThen dropped off its thread keeps its node.
void release_on_owner_thread(ConstraintObject* obj) noexcept
{
    if (obj->payload.kind() != core::ConstraintKind::IfThen) return;
    if (static_cast<IfThenObject*>(obj)->owner == current_thread_id()) return;
    // The payload belongs to its thread: leak it and say so.
    (void)obj->payload.detach();
    PyObject* pending = PyErr_GetRaisedException();
    PyErr_SetString(PyExc_RuntimeError, messages::if_then_dropped);
    // The hook runs Python code: it is not given this object, whose payload is detached.
    write_unraisable(nullptr);
    PyErr_SetRaisedException(pending);
}

/// One function for the eight classes, so that it identifies their objects.
constexpr destructor constraint_dealloc = &dealloc_object<ConstraintObject, release_on_owner_thread>;

} // namespace

bool is_constraint_object(PyObject* obj) noexcept
{
    return Py_TYPE(obj)->tp_dealloc == constraint_dealloc;
}

ConstraintObject* checked_constraint(PyObject* self)
{
    ConstraintObject* obj = constructed_object<ConstraintObject>(self);
    // IfThen objects exist only once their class does.
    if (Py_TYPE(self) != created_class_type(ClassId::IfThen)) return obj;
    const std::uint64_t current = current_thread_id();
    const std::uint64_t owner = static_cast<const IfThenObject*>(obj)->owner;
    if (current == owner) return obj;
    panic(std::string(messages::if_then_path) + messages::if_then_sent + messages::if_then_calling_thread +
              std::to_string(current) + messages::if_then_owning_thread + std::to_string(owner) + ")",
          messages::at_if_then);
}

PyObject* new_constraint_object(PyTypeObject* type, core::Constraint node)
{
    const bool thread_bound = node.kind() == core::ConstraintKind::IfThen;
    PyObject* obj = allocate_object<ConstraintObject>(type, std::move(node));
    // Not yet seen by any other code, so the owner may follow `constructed`.
    if (thread_bound) static_cast<IfThenObject*>(as_constraint(obj))->owner = current_thread_id();
    return obj;
}

PyObject* constraint_to_object(core::Constraint node)
{
    PyTypeObject* type = class_type(class_of(node.kind()));
    return new_constraint_object(type, std::move(node));
}

core::Constraint extract_constraint(PyObject* obj)
{
    if (auto node = convert(obj)) return std::move(*node);
    const std::string message = conversion_failure_message(obj);
    emit(constraint_conversion_site, message);
    raise(PyExc_TypeError, message);
}

std::optional<core::Constraint> try_extract_constraint(PyObject* obj)
{
    if (auto node = convert(obj)) return node;
    // The message is only built when someone reads it: here, the log.
    if (log_enabled(constraint_conversion_site.level))
        emit(constraint_conversion_site, conversion_failure_message(obj));
    return std::nullopt;
}

namespace {

/// The room to reserve for a sequence's items. A list's or tuple's size is exact; any other
/// length comes from __len__, Python code that may claim anything, so it is only a hint, and
/// one no larger than a guess may cost. A failed __len__ reserves nothing (unless its error is
/// fatal, which propagates).
std::size_t length_hint(PyObject* obj)
{
    if (PyList_CheckExact(obj)) return static_cast<std::size_t>(PyList_GET_SIZE(obj));
    if (PyTuple_CheckExact(obj)) return static_cast<std::size_t>(PyTuple_GET_SIZE(obj));
    constexpr Py_ssize_t most_trusted = 4096;
    const Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        discard_error();
        return 0;
    }
    return static_cast<std::size_t>(std::min(length, most_trusted));
}

} // namespace

std::vector<core::Constraint> extract_constraint_list(PyObject* obj)
{
    if (PyUnicode_Check(obj)) raise(PyExc_TypeError, messages::str_is_not_a_list);
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    // __len__, __iter__, __next__, the conversions and each item's release run Python code: the
    // sequence is held by the caller, the iterator and the item here, and `list` is private.
    std::vector<core::Constraint> list;
    list.reserve(length_hint(obj));
    Ref iterator = check(PyObject_GetIter(obj));
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        list.push_back(extract_constraint(item.get()));
    }
    if (PyErr_Occurred()) throw_error_set();
    return list;
}

PyObject* constraint_list_to_object(std::span<const core::Constraint> list)
{
    Ref result = check(PyList_New(static_cast<Py_ssize_t>(list.size())));
    for (std::size_t i = 0; i < list.size(); ++i) {
        PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), constraint_to_object(list[i]));
    }
    return result.release();
}

namespace {

PyObject* richcompare(PyObject* self, PyObject* other, int op) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        if (!is_constraint_object(self)) Py_RETURN_NOTIMPLEMENTED;
        // Converting `other` may run Python code that drops the caller's references to both
        // operands (operator.eq through a functools.partial whose arguments it replaces).
        Ref held_self = Ref::borrow(self), held_other = Ref::borrow(other);
        ConstraintObject* obj = checked_constraint(self);
        // Held while the conversion runs Python code (and while a log write waits detached), so
        // a setter of self called meanwhile is refused instead of replacing the node read below.
        SharedBorrow borrow(obj->borrow);
        if (!borrow.held()) Py_RETURN_NOTIMPLEMENTED;
        std::optional<core::Constraint> rhs = try_extract_constraint(other);
        if (!rhs) Py_RETURN_NOTIMPLEMENTED;
        static constexpr core::CmpType by_opcode[] = {core::CmpType::Less,    core::CmpType::LessOrEqual,
                                                      core::CmpType::Equal,   core::CmpType::NotEqual,
                                                      core::CmpType::Greater, core::CmpType::GreaterOrEqual};
        if (op < 0 || op > 5) Py_RETURN_NOTIMPLEMENTED;
        std::string refusal;
        std::optional<core::Constraint> cmp =
            core::check_comparison(obj->payload, std::move(*rhs), by_opcode[op], refusal);
        if (!cmp) raise(PyExc_NotImplementedError, refusal);
        return constraint_to_object(std::move(*cmp));
    });
}

} // namespace

std::string text_argument(PyObject* obj)
{
    if (!PyUnicode_Check(obj)) raise_cast_error(obj, "str");
    return std::string(str_utf8(obj));
}

PyObject* create_constraint_class(const char* qualified_name, const char* doc, PyGetSetDef* getset,
                                  const Constructor* constructor, PyMethodDef* methods, std::size_t basic_size)
{
    std::vector<PyType_Slot> slots = {
        {Py_tp_richcompare, reinterpret_cast<void*>(&richcompare)},
        {Py_tp_getset, getset},
    };
    if (methods != nullptr) slots.push_back({Py_tp_methods, methods});
    return create_class(qualified_name, {basic_size, constraint_dealloc, doc, constructor, slots});
}

} // namespace brenk::py
