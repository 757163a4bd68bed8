// glibc 2.34 moved pthread_once into libc under a new version, which the static C++ runtime's
// references bind (its one-time setups: the locale std::format reaches, std::call_once). This
// definition, private to the module, takes those references and forwards them to the original
// version, which every glibc resolves (in libc, or in libpthread on older systems).
// <pthread.h> is left out: its declaration carries the default visibility. On Linux
// pthread_once_t is an int.

extern "C" int brenk_glibc_pthread_once(int* once, void (*init)());
#if defined(__linux__) && defined(__x86_64__)
__asm__(".symver brenk_glibc_pthread_once,pthread_once@GLIBC_2.2.5");
#endif

extern "C" __attribute__((visibility("hidden"))) int pthread_once(int* once, void (*init)())
{
    return brenk_glibc_pthread_once(once, init);
}
