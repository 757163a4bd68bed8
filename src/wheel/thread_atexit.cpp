// glibc 2.18 added __cxa_thread_atexit_impl, which runs the destructors of thread_local objects
// when their thread ends (and those of the thread that calls exit(), first thing in exit()); the
// static C++ runtime calls it for each such object it constructs. This stand-in hands over to
// glibc's own wherever the system has it, looked up at run time so that the module binds no
// symbol version newer than the wheel's tag allows, and otherwise to thread_exit_list.hpp. The
// module is never unloaded (CPython keeps extension modules loaded), so the DSO handle, with which
// glibc keeps a library loaded while it has pending destructors, is not needed there.
#include <dlfcn.h>

#include "glibc_version.hpp"
#include "thread_exit_list.hpp"

BRENK_GLIBC_2_2_5(dlsym);

namespace {

using Register = int (*)(void (*)(void*), void*, void*);

Register glibc_register() noexcept
{
    return reinterpret_cast<Register>(dlsym(RTLD_DEFAULT, "__cxa_thread_atexit_impl"));
}

} // namespace

extern "C" int __cxa_thread_atexit_impl(void (*destructor)(void*), void* object, void* dso_handle) noexcept
{
    static const Register glibc = glibc_register();
    if (glibc != nullptr) return glibc(destructor, object, dso_handle);
    return brenk::wheel::run_at_thread_exit(destructor, object);
}
