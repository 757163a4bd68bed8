#pragma once
// The Version class's object layout and the conversions other classes use.
#include <Python.h>

#include <optional>

#include "borrow.hpp"
#include "core/version.hpp"

namespace brenk::py {

/// A Version object: the parsed value, never changed after construction. Reads take a
/// shared borrow; nothing ever takes the exclusive one. `constructed` is false (and `value`
/// unbuilt) in an object made without the constructor.
struct VersionObject {
    PyObject_HEAD BorrowFlag borrow;
    bool constructed;
    core::Version value;
};

bool is_version_object(PyObject* obj) noexcept;
/// The value of a Version object (shared), or nothing when `obj` is not one (or is being
/// written, which never happens).
std::optional<core::Version> read_version(PyObject* obj);
/// A new Version object holding `value`.
PyObject* new_version_object(core::Version value);

} // namespace brenk::py
