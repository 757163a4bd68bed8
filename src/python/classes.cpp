#include "classes.hpp"

#include <string>

#include "errors.hpp"
#include "messages.hpp"
#include "once.hpp"

namespace brenk::py {
namespace {

struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};

constexpr ClassEntry entries[class_count] = {
    {"PackageOutline", create_package_outline_type},
    {"Cmp", create_cmp_type},
    {"CmpType", create_cmp_type_type},
    {"Depends", create_depends_type},
    {"IfThen", create_if_then_type},
    {"Maximize", create_maximize_type},
    {"Minimize", create_minimize_type},
    {"NumOf", create_num_of_type},
    {"SpecOption", create_spec_option_type},
    {"Value", create_value_type},
    {"Version", create_version_type},
};

OnceObject cells[class_count];

} // namespace

PyObject* create_class(const char* qualified_name, std::size_t basicsize, PyType_Slot* slots, bool no_constructor,
                       vectorcallfunc vectorcall)
{
    unsigned int flags = Py_TPFLAGS_DEFAULT;
    if (no_constructor) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    PyType_Spec spec = {qualified_name, static_cast<int>(basicsize), 0, flags, slots};
    PyObject* type = PyType_FromSpec(&spec);
    if (type != nullptr && vectorcall != nullptr) reinterpret_cast<PyTypeObject*>(type)->tp_vectorcall = vectorcall;
    return type;
}

const char* class_name(ClassId id)
{
    return entries[static_cast<int>(id)].name;
}

PyTypeObject* class_type(ClassId id)
{
    const int index = static_cast<int>(id);
    if (PyObject* ready = cells[index].get()) return reinterpret_cast<PyTypeObject*>(ready);
    PyObject* type = cells[index].get_or_init([&]() -> PyObject* {
        try {
            return check(entries[index].create()).release();
        }
        catch (const ErrorSet&) {
            Ref cause = Ref::steal(PyErr_GetRaisedException());
            PyErr_Format(PyExc_RuntimeError, messages::class_init_failed, entries[index].name);
            Ref error = Ref::steal(PyErr_GetRaisedException());
            PyException_SetCause(error.get(), cause.release());
            PyErr_SetRaisedException(error.release());
            throw;
        }
    });
    return reinterpret_cast<PyTypeObject*>(type);
}

} // namespace brenk::py
