#include "object.hpp"

#include <format>
#include <vector>

#include "messages.hpp"

namespace brenk::py {

void raise_not_constructed(PyObject* obj)
{
    raise(PyExc_TypeError, std::format(messages::not_constructed, type_qualname(Py_TYPE(obj))));
}

PyObject* create_class(const char* qualified_name, const ClassSpec& spec)
{
    std::vector<PyType_Slot> slots(spec.slots.begin(), spec.slots.end());
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(spec.dealloc)});
    if (spec.doc != nullptr) slots.push_back({Py_tp_doc, const_cast<char*>(spec.doc)});
    unsigned int flags = Py_TPFLAGS_DEFAULT;
    if (spec.constructor != nullptr) {
        slots.push_back({Py_tp_new, reinterpret_cast<void*>(spec.constructor->tp_new)});
    }
    else {
        flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    }
    slots.push_back({0, nullptr});
    PyType_Spec type_spec = {qualified_name, static_cast<int>(spec.basic_size), 0, flags, slots.data()};
    PyObject* type = PyType_FromSpec(&type_spec);
    if (type != nullptr && spec.constructor != nullptr) {
        reinterpret_cast<PyTypeObject*>(type)->tp_vectorcall = spec.constructor->vectorcall;
    }
    return type;
}

} // namespace brenk::py
