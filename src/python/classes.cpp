#include "classes.hpp"

#include "errors.hpp"
#include "messages.hpp"
#include "once.hpp"

namespace brenk::py {
namespace {

OnceObject cells[class_count];

} // namespace

PyTypeObject* created_class_type(ClassId id) noexcept
{
    return reinterpret_cast<PyTypeObject*>(cells[static_cast<int>(id)].get());
}

PyTypeObject* class_type(ClassId id)
{
    const int index = static_cast<int>(id);
    if (PyObject* ready = cells[index].get()) return reinterpret_cast<PyTypeObject*>(ready);
    const ClassEntry& entry = class_table[index];
    PyObject* type = cells[index].get_or_init([&]() -> PyObject* {
        try {
            return check(entry.create(entry.qualified_name)).release();
        }
        catch (const ErrorSet&) {
            Ref cause = Ref::steal(PyErr_GetRaisedException());
            PyErr_Format(PyExc_RuntimeError, messages::class_init_failed, entry.name);
            Ref error = Ref::steal(PyErr_GetRaisedException());
            PyException_SetCause(error.get(), cause.release());
            PyErr_SetRaisedException(error.release());
            throw;
        }
    });
    return reinterpret_cast<PyTypeObject*>(type);
}

} // namespace brenk::py
