#include "text.hpp"

#include <cstring>

#include "errors.hpp"

namespace brenk::py {

PyObject* ascii_to_str(std::string_view text)
{
    PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
    if (s != nullptr && !text.empty()) std::memcpy(PyUnicode_DATA(s), text.data(), text.size());
    return s;
}

PyObject* utf8_to_str(std::string_view text)
{
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

PyObject* utf8_to_str_lossy(std::string_view text)
{
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

std::optional<std::string_view> try_str_utf8(PyObject* str) noexcept
{
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
    if (utf8 == nullptr) return std::nullopt;
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

std::string_view str_utf8(PyObject* str)
{
    if (auto text = try_str_utf8(str)) return *text;
    throw_error_set();
}

std::string text_of_str(PyObject* obj)
{
    if (!PyUnicode_Check(obj)) raise_cast_error(obj, "str");
    return std::string(str_utf8(obj));
}

} // namespace brenk::py
