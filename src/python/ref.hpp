#pragma once
// The one owning handle for Python references. Every incref is visible at the call site.
//
// Rules of use, which the rest of the binding refers to as "ref.hpp's rules":
// 1. Python code may drop the caller's reference while we run. Any call that can run Python
//    code (a conversion hook, __len__ or __iter__, str(), __del__ run by a release, an import or
//    audit hook) may drop references the caller passed us, e.g. through a functools.partial
//    whose arguments it replaces or a keyword dict it clears. What is used after such a call is
//    held by a Ref first; a borrowed pointer is used only before it or while a Ref holds it.
// 2. Every owned reference is a Ref: arrays of owned references are arrays of Ref, and a
//    new reference handed to the interpreter leaves through release(). No bare incref or
//    decref outside this file and deallocators (the lint checks it).
// 3. A Ref's release may run Python code (rule 1): drop one only where that is safe, outside
//    critical sections and after borrows that Python code must not see are given back.
#include <Python.h>

#include <utility>

#include "thread_exit.hpp"

namespace brenk::py {

/// Move-only owner of one strong reference (or none).
class Ref {
public:
    Ref() noexcept = default;
    /// Takes over a new reference (may be null).
    static Ref steal(PyObject* p) noexcept
    {
        Ref r;
        r.p_ = p;
        return r;
    }
    /// Adds a reference to a borrowed pointer (may be null).
    static Ref borrow(PyObject* p) noexcept
    {
        Py_XINCREF(p);
        return steal(p);
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept
    {
        Ref old(std::move(*this));
        p_ = std::exchange(o.p_, nullptr);
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref()
    {
        if (p_ == nullptr) return;
#if PY_VERSION_HEX < 0x030E0000
        // No thread state: this is the forced unwind of a thread ended at exit (thread_exit.hpp).
        // Refs are never static or thread-local, so nothing else destroys one detached. (3.14
        // parks such threads itself, before they could unwind.)
        if (PyThreadState_GetUnchecked() == nullptr) park_thread();
#endif
        try {
            Py_DECREF(p_);
        }
        catch (abi::__forced_unwind&) { // a finaliser run by this decref was ended there
            park_thread();
        }
    }

    PyObject* get() const noexcept { return p_; }
    /// Hands the reference to the caller.
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

} // namespace brenk::py
