// glibc 2.32 added __libc_single_threaded: the C++ runtime (the static copy in the wheel's
// module, and inline code in our own) reads it to skip atomic instructions while a process has
// one thread. Older systems lack it. This copy always says "more than one thread", so reference
// counts always use atomics: never wrong, merely without the shortcut.
extern "C" {
char __libc_single_threaded = 0;
}
