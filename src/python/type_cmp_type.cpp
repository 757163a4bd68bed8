#include "type_cmp_type.hpp"

#include <string>

#include "classes.hpp"
#include "object.hpp"
#include "text.hpp"

namespace brenk::py {
namespace {

using CmpTypeObject = Object<core::CmpType>;

core::CmpType read(PyObject* self)
{
    CmpTypeObject* obj = constructed_object<CmpTypeObject>(self);
    SharedBorrow borrow(obj->borrow);
    borrow.require();
    return obj->payload;
}

PyObject* repr(PyObject* self) noexcept
{
    return read_payload<CmpTypeObject>(self, [](core::CmpType op) {
        return check(ascii_to_str(std::string("CmpType.") + core::cmp_type_name(op))).release();
    });
}

PyObject* to_int(PyObject* self) noexcept
{
    return read_payload<CmpTypeObject>(self, [](core::CmpType op) { return PyLong_FromLong(static_cast<long>(op)); });
}

const PyType_Slot slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(&repr)},
    {Py_nb_int, reinterpret_cast<void*>(&to_int)},
};

} // namespace

PyObject* create_cmp_type_class(const char* qualified_name)
{
    Ref type = check(
        create_class(qualified_name, {sizeof(CmpTypeObject), dealloc_object<CmpTypeObject>, nullptr, nullptr, slots}));
    auto* tp = reinterpret_cast<PyTypeObject*>(type.get());
    for (int i = 0; i < core::cmp_type_count; ++i) {
        const auto op = static_cast<core::CmpType>(i);
        Ref member = Ref::steal(allocate_object<CmpTypeObject>(tp, op));
        // Setting a class attribute raises an audit event; its hooks run Python code, and the
        // type and the member are held.
        check_status(PyObject_SetAttrString(type.get(), core::cmp_type_name(op), member.get()));
    }
    return type.release();
}

PyObject* new_cmp_type_object(core::CmpType op)
{
    return allocate_object<CmpTypeObject>(class_type(ClassId::CmpType), op);
}

core::CmpType cmp_type_argument(PyObject* obj)
{
    if (Py_TYPE(obj) != class_type(ClassId::CmpType)) raise_cast_error(obj, "CmpType");
    return read(obj);
}

} // namespace brenk::py
