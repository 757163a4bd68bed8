#include "constraint_list.hpp"

#include <algorithm>

#include "constraint_conversion.hpp"
#include "constraint_object.hpp"
#include "errors.hpp"
#include "messages.hpp"

namespace brenk::py {
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

} // namespace brenk::py
