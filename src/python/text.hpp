#pragma once
// str objects from UTF-8 (or ASCII) bytes and back.
#include <Python.h>

#include <optional>
#include <string>
#include <string_view>

namespace brenk::py {

/// Builds a str from ASCII bytes without UTF-8 decoding.
PyObject* ascii_to_str(std::string_view text);
/// Builds a str from UTF-8 bytes.
PyObject* utf8_to_str(std::string_view text);
/// Builds a str from UTF-8 bytes, invalid sequences replaced by U+FFFD (message texts).
PyObject* utf8_to_str_lossy(std::string_view text);
/// The UTF-8 text of a str object; the encoding error propagates (lone surrogates).
std::string_view str_utf8(PyObject* str);
/// The same, or nothing with the encoding error left pending for the caller to handle.
std::optional<std::string_view> try_str_utf8(PyObject* str) noexcept;
/// A copy of the text of an object that must be a str (an argument, a dict key), or TypeError
/// "'{type}' object cannot be cast as 'str'".
std::string text_of_str(PyObject* obj);

} // namespace brenk::py
