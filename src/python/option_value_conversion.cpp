#include "option_value_conversion.hpp"

#include <cstring>
#include <format>
#include <string>

#include "errors.hpp"
#include "log.hpp"
#include "messages.hpp"
#include "text.hpp"
#include "type_version.hpp"

namespace brenk::py {
namespace {

/// True when `obj` is a str equal to the ASCII `text`. A heap type's __module__ is whatever its
/// class dict holds (an int, None, a tuple), so a name read from a type is checked first.
bool is_text(PyObject* obj, const char* text)
{
    return PyUnicode_Check(obj) && PyUnicode_CompareWithASCIIString(obj, text) == 0;
}

/// NumPy's boolean scalar, recognised by its type's name and module without importing NumPy.
bool is_numpy_bool_type(PyTypeObject* type)
{
    if (!(type->tp_flags & Py_TPFLAGS_HEAPTYPE)) {
        // Static types carry "module.name" in tp_name.
        const char* name = type->tp_name;
        return std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0;
    }
    Ref name = Ref::steal(PyType_GetName(type));
    // A class dict with a str-subclass key compares it by its __eq__: Python code, with
    // nothing borrowed but the type, which the object being converted holds.
    Ref module = Ref::steal(PyType_GetModuleName(type));
    if (!name || !module) {
        discard_error();
        return false;
    }
    return is_text(module.get(), "numpy") && (is_text(name.get(), "bool_") || is_text(name.get(), "bool"));
}

std::optional<core::OptionValue> try_bool(PyObject* obj)
{
    if (obj == Py_True) return core::OptionValue{true};
    if (obj == Py_False) return core::OptionValue{false};
    PyTypeObject* type = Py_TYPE(obj);
    if (!is_numpy_bool_type(type)) return std::nullopt;
    if (type->tp_as_number == nullptr || type->tp_as_number->nb_bool == nullptr) return std::nullopt;
    // Runs Python code (a look-alike class's __bool__); every caller holds `obj` (ref.hpp's rules).
    const int truth = type->tp_as_number->nb_bool(obj);
    if (truth < 0) {
        discard_error();
        return std::nullopt;
    }
    return core::OptionValue{truth != 0};
}

/// The integer an object stands for: an int (or subclass) itself, else the result of its
/// __index__, called once: the float step reuses it rather than call the hook again, so a hook
/// that fails (or re-enters the module) costs one call, not one per step. Null when the object
/// has no integer; a failed __index__ leaves nothing pending unless its error is fatal.
Ref integer_of(PyObject* obj)
{
    if (PyLong_Check(obj)) return Ref::borrow(obj);
    if (!PyIndex_Check(obj)) return {};
    // Runs Python code (__index__); every caller holds `obj` (ref.hpp's rules).
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) discard_error();
    return index;
}

std::optional<core::OptionValue> try_int(PyObject* integer)
{
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(integer, &overflow);
    if (overflow != 0) return std::nullopt;
    if (value == -1 && PyErr_Occurred()) {
        discard_error();
        return std::nullopt;
    }
    return core::OptionValue{static_cast<std::int64_t>(value)};
}

/// `integer` is what integer_of gave: an int whose value did not fit, or null.
std::optional<core::OptionValue> try_float(PyObject* obj, PyObject* integer)
{
    if (PyFloat_Check(obj)) return core::OptionValue{PyFloat_AS_DOUBLE(obj)};
    PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
    double value = 0;
    if (number != nullptr && number->nb_float != nullptr) {
        // Runs Python code (__float__); every caller holds `obj` (ref.hpp's rules).
        value = PyFloat_AsDouble(obj);
    }
    else if (integer != nullptr) {
        value = PyLong_AsDouble(integer); // the nearest double, or OverflowError past the double range
    }
    else {
        return std::nullopt;
    }
    if (value == -1.0 && PyErr_Occurred()) {
        discard_error();
        return std::nullopt;
    }
    return core::OptionValue{value};
}

std::optional<core::OptionValue> try_str(PyObject* obj)
{
    if (!PyUnicode_Check(obj)) return std::nullopt;
    const std::optional<std::string_view> text = try_str_utf8(obj);
    if (!text) {
        discard_error();
        return std::nullopt;
    }
    return core::OptionValue{std::string(*text)};
}

} // namespace

std::optional<core::OptionValue> try_extract_option_value(PyObject* obj)
{
    // Exact builtins go straight to their own step; the earlier steps cannot accept them.
    if (PyLong_CheckExact(obj)) {
        if (auto v = try_int(obj)) return v;
        return try_float(obj, obj);
    }
    if (PyFloat_CheckExact(obj)) return core::OptionValue{PyFloat_AS_DOUBLE(obj)};
    if (PyUnicode_CheckExact(obj)) return try_str(obj);
    if (auto v = try_bool(obj)) return v;
    const Ref integer = integer_of(obj);
    if (integer) {
        if (auto v = try_int(integer.get())) return v;
    }
    if (auto v = try_float(obj, integer.get())) return v;
    if (auto v = try_str(obj)) return v;
    if (auto version = read_version(obj)) return core::OptionValue{std::move(*version)};
    return std::nullopt;
}

core::OptionValue extract_option_value(PyObject* obj)
{
    if (auto value = try_extract_option_value(obj)) return std::move(*value);
    raise_logged(option_value_conversion_site, PyExc_TypeError,
                 std::format(messages::option_conversion, render_object(reinterpret_cast<PyObject*>(Py_TYPE(obj)))));
}

PyObject* option_value_to_object(const core::OptionValue& value)
{
    switch (core::kind_of(value)) {
    case core::OptionKind::Bool:
        return PyBool_FromLong(std::get<bool>(value.v));
    case core::OptionKind::Int:
        return check(PyLong_FromLongLong(std::get<std::int64_t>(value.v))).release();
    case core::OptionKind::Float:
        return check(PyFloat_FromDouble(std::get<double>(value.v))).release();
    case core::OptionKind::Str:
        return check(utf8_to_str(std::get<std::string>(value.v))).release();
    case core::OptionKind::Version:
        return new_version_object(std::get<core::Version>(value.v));
    }
    raise(PyExc_SystemError, messages::unknown_option_kind);
}

} // namespace brenk::py
