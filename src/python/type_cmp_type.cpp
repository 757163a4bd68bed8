// CmpType: the comparison operator enumeration. The six members are class attributes; the
// op getter makes a fresh object each time, so members compare by identity only.
#include "type_cmp_type.hpp"
#include "borrow.hpp"
#include "classes.hpp"
#include "constraint_object.hpp"
#include "text.hpp"

#include <string>

namespace brenk::py {
namespace {

struct CmpTypeObject {
    PyObject_HEAD BorrowFlag borrow;
    core::CmpType value;
    bool constructed;
};

core::CmpType read(PyObject* self)
{
    auto* obj = reinterpret_cast<CmpTypeObject*>(self);
    if (!obj->constructed) raise_not_constructed(self);
    SharedBorrow borrow(obj->borrow);
    borrow.require();
    return obj->value;
}

PyObject* repr(PyObject* self) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        return check(ascii_to_str(std::string("CmpType.") + core::cmp_type_name(read(self)))).release();
    });
}

PyObject* to_int(PyObject* self) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* { return PyLong_FromLong(static_cast<long>(read(self))); });
}

void dealloc(PyObject* self) noexcept
{
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* new_member(PyTypeObject* type, core::CmpType op)
{
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) throw_error_set();
    auto* member = reinterpret_cast<CmpTypeObject*>(obj);
    new (&member->borrow) BorrowFlag();
    member->value = op;
    member->constructed = true;
    return obj;
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(&repr)},
    {Py_nb_int, reinterpret_cast<void*>(&to_int)},
    {0, nullptr},
};

} // namespace

PyObject* create_cmp_type_class(const char* qualified_name)
{
    Ref type = check(create_class(qualified_name, sizeof(CmpTypeObject), slots, true));
    auto* tp = reinterpret_cast<PyTypeObject*>(type.get());
    for (int i = 0; i < core::cmp_type_count; ++i) {
        const auto op = static_cast<core::CmpType>(i);
        Ref member = Ref::steal(new_member(tp, op));
        // Setting a class attribute raises an audit event; its hooks run Python code, and the
        // type and the member are held.
        check_status(PyObject_SetAttrString(type.get(), core::cmp_type_name(op), member.get()));
    }
    return type.release();
}

PyObject* new_cmp_type_object(core::CmpType op)
{
    return new_member(class_type(ClassId::CmpType), op);
}

core::CmpType cmp_type_argument(PyObject* obj)
{
    if (Py_TYPE(obj) != class_type(ClassId::CmpType)) raise_cast_error(obj, "CmpType");
    return read(obj);
}

} // namespace brenk::py
