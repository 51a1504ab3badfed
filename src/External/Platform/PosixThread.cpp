// POSIX per-thread pointer of Platform.h: C++ thread_local, whose destructor the C library
// runs at each thread's end.
#include "Platform.h"

namespace Platform {

namespace {

struct ThreadEntry {
    void* value = nullptr;
    void (*release)(void*) = nullptr;
    ~ThreadEntry()
    {
        if (value != nullptr)
            release(value);
        value = nullptr;
    }
};
thread_local ThreadEntry t_entry;

}  // namespace

void* ThreadPointer()
{
    return t_entry.value;
}

bool SetThreadPointer(void* value, void (*release)(void*))
{
    t_entry.value = value;
    t_entry.release = release;
    return true;
}

}  // namespace Platform
