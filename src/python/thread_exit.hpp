#pragma once
// What a thread does when the interpreter ends it at exit.
//
// CPython 3.13 ends a daemon thread that tries to re-attach during interpreter shutdown with
// pthread_exit(), a forced unwind (abi::__forced_unwind) through whatever native frames the
// thread is in. Letting it run our cleanups would change reference counts with no thread
// state, and letting it reach a noexcept frame calls std::terminate. Such a thread parks
// instead, as 3.14 does on its own, until the process exits.
//
// The unwind can start wherever the thread re-attaches: our own detach points (reattach()
// below) and any Python code we call (conversion hooks, str(), finalisers run by a decref,
// the unraisable hook). It is caught by the nearest of: reattach(), Ref's destructor (which
// also refuses to decref without a thread state), write_unraisable() and guard().
#include <Python.h>
#include <unistd.h>

#include <cxxabi.h>

namespace brenk::py {

/// Sleeps until the process exits. Called from a forced-unwind handler, it must never return:
/// a handler that ends without rethrowing aborts the process.
[[noreturn]] inline void park_thread() noexcept
{
    for (;;) ::pause();
}

/// Re-attaches after PyEval_SaveThread(); a thread that the interpreter ends instead parks.
inline void reattach(PyThreadState* state) noexcept
{
    try {
        PyEval_RestoreThread(state);
    }
    catch (abi::__forced_unwind&) {
        park_thread();
    }
}

} // namespace brenk::py
