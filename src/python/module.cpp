// The module's entry point and the module tree under brenk.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <format>
#include <string>

#include "classes.hpp"
#include "errors.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "once.hpp"
#include "output.hpp"

namespace brenk::py {
namespace {

/// The interpreter that first imported the module; set once, -1 before.
std::atomic<std::int64_t> recorded_interpreter{-1};
OnceObject module_cell;

/// Single-phase: the module keeps process-wide state (the class types, the log subscriber).
/// Its code is thread-safe, yet on a free-threaded build it declares that it needs the GIL
/// (create_module): that is the module's declared contract, which importers may check, so it
/// stays until the contract changes.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "brenk", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

/// main_entry(): prints the entry line on standard output, whole, under the output lock.
PyObject* main_entry(PyObject*, PyObject*) noexcept
{
    return guard<PyObject*>(nullptr, []() -> PyObject* {
        const int error = write_whole(Stream::out, messages::entry_line);
        if (error == write_interrupted) throw_error_set();
        if (error != 0) panic(std::format(messages::failed_printing, std::strerror(error)), messages::at_lib);
        Py_RETURN_NONE;
    });
}

PyMethodDef init_tracing_def = {"init_tracing", init_tracing, METH_NOARGS, "init_tracing()\n--\n\n"};
PyMethodDef main_entry_def = {"main_entry", main_entry, METH_NOARGS, "main_entry()\n--\n\n"};

/// Appends `name` to the module's __all__ (creating it) and sets the attribute.
void add_to_module(PyObject* module, PyObject* name, PyObject* value)
{
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
        PyErr_Clear();
        all = check(PyList_New(0));
        check_status(PyObject_SetAttrString(module, "__all__", all.get()));
    }
    else if (!PyList_Check(all.get())) {
        raise_cast_error(all.get(), "PyList");
    }
    if (PyList_Append(all.get(), name) < 0) {
        if (fatal_error_pending()) throw_error_set(); // out of memory: the import fails with it
        panic(messages::all_append_failed, messages::at_lib);
    }
    check_status(PyObject_SetAttr(module, name, value));
}

void add_class(PyObject* module, ClassId id)
{
    PyObject* type = reinterpret_cast<PyObject*>(class_type(id));
    Ref name = check(PyUnicode_FromString(class_name(id)));
    add_to_module(module, name.get(), type);
}

void add_function(PyObject* module, PyMethodDef* def)
{
    Ref module_name = check(PyModule_GetNameObject(module));
    Ref function = check(PyCMethod_New(def, module, module_name.get(), nullptr));
    Ref name = check(PyObject_GetAttrString(function.get(), "__name__"));
    if (!PyUnicode_Check(name.get())) raise_cast_error(name.get(), "PyString");
    add_to_module(module, name.get(), function.get());
}

/// Makes `child` reachable as an attribute of `parent` and as sys.modules[dotted_name].
void register_submodule(PyObject* parent, PyObject* child, const char* dotted_name)
{
    Ref name = check(PyModule_GetNameObject(child));
    add_to_module(parent, name.get(), child);
    // Import and audit hooks and a replaced sys.modules run Python code: everything here is held,
    // other threads' imports wait in the module cell, and a nested import on this one is refused.
    Ref sys_name = check(PyUnicode_FromString("sys"));
    Ref sys = check(PyImport_Import(sys_name.get()));
    Ref modules = check(PyObject_GetAttrString(sys.get(), "modules"));
    Ref key = check(PyUnicode_FromString(dotted_name));
    check_status(PyObject_SetItem(modules.get(), key.get(), child));
}

Ref new_submodule(const char* name)
{
    Ref text = check(PyUnicode_FromString(name));
    return check(PyModule_NewObject(text.get()));
}

/// Adds every class placed in `placement` to `module`, in table order.
void add_classes(PyObject* module, Placement placement)
{
    for (int i = 0; i < class_count; ++i) {
        const auto id = static_cast<ClassId>(i);
        if (class_placement(id) == placement) add_class(module, id);
    }
}

void build_module_tree(PyObject* top)
{
    Ref package = new_submodule("package");
    Ref outline = new_submodule("outline");
    add_classes(outline.get(), Placement::Outline);
    register_submodule(package.get(), outline.get(), "brenk.package.outline");
    Ref constraint = new_submodule("constraint");
    add_classes(constraint.get(), Placement::Constraint);
    register_submodule(package.get(), constraint.get(), "brenk.package.constraint");
    Ref version = new_submodule("version");
    add_classes(version.get(), Placement::Version);
    register_submodule(package.get(), version.get(), "brenk.package.version");
    register_submodule(top, package.get(), "brenk.package");
    add_function(top, &init_tracing_def);
    add_function(top, &main_entry_def);
}

PyObject* create_module()
{
    Ref module = check(PyModule_Create2(&module_def, PYTHON_API_VERSION));
#ifdef Py_GIL_DISABLED
    check_status(PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_USED));
#endif
    build_module_tree(module.get());
    return module.release();
}

PyObject* init_module() noexcept
{
    return guard<PyObject*>(nullptr, []() -> PyObject* {
        const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
        if (id == -1) throw_error_set();
        std::int64_t expected = -1;
        if (!recorded_interpreter.compare_exchange_strong(expected, id) && expected != id) {
            raise(PyExc_ImportError, messages::subinterpreter_refused);
        }
        return Ref::borrow(module_cell.get_or_init(create_module)).release();
    });
}

} // namespace
} // namespace brenk::py

PyMODINIT_FUNC PyInit_brenk(void)
{
    return brenk::py::init_module();
}
