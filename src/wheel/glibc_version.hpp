#pragma once
// glibc 2.34 moved dlsym and the pthread key and once functions from libdl and libpthread into
// libc under new versions, which a plain reference binds. BRENK_GLIBC_2_2_5(name) makes this
// file's references to `name` bind the original x86_64 version instead, which every glibc still
// resolves, in libc or in those libraries (CPython loads both where they exist).
#if defined(__GLIBC__) && defined(__x86_64__)
#define BRENK_GLIBC_2_2_5(name) __asm__(".symver " #name "," #name "@GLIBC_2.2.5")
#else
#define BRENK_GLIBC_2_2_5(name) static_assert(true)
#endif
