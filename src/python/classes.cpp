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
    {"PackageOutline", create_package_outline_class},
    {"Cmp", create_cmp_class},
    {"CmpType", create_cmp_type_class},
    {"Depends", create_depends_class},
    {"IfThen", create_if_then_class},
    {"Maximize", create_maximize_class},
    {"Minimize", create_minimize_class},
    {"NumOf", create_num_of_class},
    {"SpecOption", create_spec_option_class},
    {"Value", create_value_class},
    {"Version", create_version_class},
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
