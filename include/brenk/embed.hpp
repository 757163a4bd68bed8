#pragma once
// Embedding brenk: built into an interpreter that the host starts, and read handles for the
// objects its scripts return.
//
// Lifetime and threading. Records never change after construction:
// - outline(obj) gives a view into the PackageOutline's own record. It stays valid while the
//   host holds a strong reference to `obj`; holding one, the host may read the view from any
//   thread, attached to the interpreter or not, and from many threads at once.
// - constraint(obj) and version(obj) copy a reference to the immutable node or value (a
//   constraint object's property write swaps in a new node and never changes the old one).
//   The Shared* handle keeps it alive by itself: no Python reference is needed, and the handle
//   may be read, copied and dropped on any thread, attached or not.
// Taking a handle reads a Python object: call these from a thread attached to the interpreter
// (holding the GIL where there is one). They never raise and leave no Python exception set.
//
// Exact classes only: an object of another class is refused. brenk's classes cannot be
// subclassed, so no subclass object exists to be refused; should one ever appear, it is
// refused too, since a subclass may carry state the record does not describe.
#include <Python.h>

#include <optional>

#include "read.hpp"

namespace brenk::embed {

/// Adds brenk to the interpreter's built-in modules, so that `import brenk` finds it without
/// an installed wheel. Call once, before Py_Initialize() or Py_InitializeFromConfig(); false
/// when the table could not grow (out of memory).
bool register_module() noexcept;

enum class Refusal : unsigned char {
    none,
    wrong_class,     // not an object of the class asked for (subclasses included)
    not_constructed, // made by object.__new__ without the class's constructor: it holds nothing
    busy,            // a property write of this very object is under way on another thread
    wrong_thread,    // an IfThen, read off the thread that created it (IfThen objects are bound to it)
};
/// A sentence for the refusal ("not a brenk PackageOutline", ...).
const char* describe(Refusal refusal) noexcept;

/// A handle or the reason there is none.
template <class T> struct Handle {
    std::optional<T> value;
    Refusal refusal = Refusal::none;

    explicit operator bool() const noexcept { return value.has_value(); }
    const T& operator*() const noexcept { return *value; }
    const T* operator->() const noexcept { return &*value; }
};

/// The record of a PackageOutline object (see the lifetime rule above).
Handle<OutlineView> outline(PyObject* obj) noexcept;
/// The node of a Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption or Value object.
Handle<SharedConstraint> constraint(PyObject* obj) noexcept;
/// The value of a Version object.
Handle<SharedVersion> version(PyObject* obj) noexcept;

} // namespace brenk::embed
