#pragma once
// What the objects of every class share: the header, allocation, deallocation, the constructor
// entry points built from a signature, and the creation of a class from its slots.
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "args.hpp"
#include "borrow.hpp"
#include "errors.hpp"

namespace brenk::py {

/// The fields every object starts with. `constructed` is set by the constructor: an object
/// made without it (by `object.__new__` on a class whose `__new__` was replaced) is all zero,
/// has no payload, and is refused before any read (raise_not_constructed). `borrow` guards the
/// payload: any number of readers or one writer. Classes whose payload nobody reads after
/// construction (an outline) never take it; it sits in padding the header has anyway, as does
/// `kind`: a constraint object's core::ConstraintKind, written before any other code sees the
/// object and never changed, so it is read without a borrow (zero for other classes).
struct ObjectHeader {
    PyObject_HEAD BorrowFlag borrow;
    bool constructed;
    std::uint8_t kind;
};

/// An object of a class whose payload is a `Payload`.
template <class Payload> struct Object : ObjectHeader {
    Payload payload;
};

/// A new object of `type` (a class whose objects are `T`s) with its payload built from `args`.
template <class T, class... Args> PyObject* allocate_object(PyTypeObject* type, Args&&... args)
{
    using Payload = decltype(T::payload);
    // Nothing can fail once the block is allocated, so a half-built object is never freed.
    static_assert(std::is_nothrow_constructible_v<Payload, Args&&...>);
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) throw_error_set();
    T* object = reinterpret_cast<T*>(obj);
    new (&object->borrow) BorrowFlag();
    new (&object->payload) Payload(std::forward<Args>(args)...);
    object->constructed = true;
    return obj;
}

/// Raises TypeError "'{type}' object was not created by its constructor".
[[noreturn, gnu::cold, gnu::noinline]] void raise_not_constructed(PyObject* obj);

/// The object behind `self`, or TypeError when it was made without its constructor.
template <class T> T* constructed_object(PyObject* self)
{
    T* object = reinterpret_cast<T*>(self);
    if (!object->constructed) raise_not_constructed(self);
    return object;
}

/// Body of a slot that reads the payload: `Check`, a shared borrow, then `read(payload)`.
template <class T, T* (*Check)(PyObject*) = constructed_object<T>, class Read>
PyObject* read_payload(PyObject* self, Read&& read) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        T* object = Check(self);
        SharedBorrow borrow(object->borrow);
        borrow.require();
        return read(object->payload);
    });
}

/// A copy of the payload after `Check`, or nothing while a writer holds the object.
template <class T, T* (*Check)(PyObject*) = constructed_object<T>>
std::optional<decltype(T::payload)> copy_payload(PyObject* self)
{
    T* object = Check(self);
    SharedBorrow borrow(object->borrow);
    if (!borrow.held()) return std::nullopt;
    return object->payload;
}

/// tp_dealloc of a class whose objects are `T`s. `BeforeRelease`, when given, is a
/// `void(T*) noexcept` that sees a constructed object before its payload is destroyed. Each
/// (T, BeforeRelease) pair is one function, so a type's dealloc slot tells which objects it holds.
template <class T, auto BeforeRelease = nullptr> void dealloc_object(PyObject* self) noexcept
{
    T* object = reinterpret_cast<T*>(self);
    PyTypeObject* type = Py_TYPE(self);
    if (object->constructed) {
        if constexpr (!std::is_same_v<decltype(BeforeRelease), std::nullptr_t>) BeforeRelease(object);
        std::destroy_at(&object->payload);
    }
    type->tp_free(self);
    Py_DECREF(type);
}

/// A class's constructor: its tp_new and its vectorcall, both binding the same signature.
struct Constructor {
    newfunc tp_new;
    vectorcallfunc vectorcall;
};

/// The constructor entry points of a class whose constructor binds `Sig` and returns
/// `Construct(type, bound)`. The bound arguments are strong references held for the whole call.
template <const Signature& Sig, auto Construct>
PyObject* construct_vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<Sig.count()> bound;
        bound.bind(Sig, args, nargsf, kwnames);
        return Construct(reinterpret_cast<PyTypeObject*>(type), bound);
    });
}
template <const Signature& Sig, auto Construct>
PyObject* construct_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept
{
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
        Bound<Sig.count()> bound;
        bound.bind(Sig, args, kwargs);
        return Construct(type, bound);
    });
}
template <const Signature& Sig, auto Construct>
inline constexpr Constructor constructor = {&construct_new<Sig, Construct>, &construct_vectorcall<Sig, Construct>};

/// Everything a class is made of besides its name.
struct ClassSpec {
    std::size_t basic_size;
    destructor dealloc;
    const char* doc;                      // null: none
    const Constructor* constructor;       // null: objects come only from the module itself
    std::span<const PyType_Slot> slots{}; // the class's own, without a terminator
};

/// A new class: no subclassing, no __dict__, no weak references, no GC, a mutable type. A
/// class without a constructor gets the disallow-instantiation flag; a class with one is
/// also called through its vectorcall, which skips tuple and dict building.
PyObject* create_class(const char* qualified_name, const ClassSpec& spec);

} // namespace brenk::py
