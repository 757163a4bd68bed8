#include "thread_exit_list.hpp"

#include <cstdlib>
#include <new>

#include <pthread.h>

#include "glibc_version.hpp"

BRENK_GLIBC_2_2_5(pthread_once);
BRENK_GLIBC_2_2_5(pthread_key_create);
BRENK_GLIBC_2_2_5(pthread_getspecific);
BRENK_GLIBC_2_2_5(pthread_setspecific);

namespace brenk::wheel {
namespace {

struct Pending {
    void (*destructor)(void*);
    void* object;
    Pending* next;
};

pthread_once_t key_once = PTHREAD_ONCE_INIT;
pthread_key_t key;
bool have_key = false;

void run(void* list) noexcept
{
    for (auto* entry = static_cast<Pending*>(list); entry != nullptr;) {
        Pending* next = entry->next;
        entry->destructor(entry->object);
        delete entry;
        entry = next;
    }
}

/// At exit(): the calling thread's objects, before the module's static destructors run.
void run_at_exit() noexcept
{
    while (void* list = pthread_getspecific(key)) {
        pthread_setspecific(key, nullptr);
        run(list);
    }
}

void make_key() noexcept
{
    have_key = pthread_key_create(&key, run) == 0 && std::atexit(run_at_exit) == 0;
}

} // namespace

int run_at_thread_exit(void (*destructor)(void*), void* object) noexcept
{
    if (pthread_once(&key_once, make_key) != 0 || !have_key) return -1;
    auto* entry = new (std::nothrow) Pending{destructor, object, static_cast<Pending*>(pthread_getspecific(key))};
    if (entry == nullptr) return -1;
    if (pthread_setspecific(key, entry) != 0) {
        delete entry;
        return -1;
    }
    return 0;
}

} // namespace brenk::wheel
