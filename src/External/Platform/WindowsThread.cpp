// Windows threads: each thread's pointer for the library, thread ids and priorities.
#include "Platform.h"

#include "WindowsModule.h"

#include <atomic>
#include <cerrno>
#include <new>

#include <windows.h>
#ifdef __MINGW32__
#include <pthread.h>  // mingw's std::thread runs on winpthreads
#endif

namespace pdulog_detail::Platform {

namespace {

// The per-thread pointer is kept in a fiber-local slot, whose callback Windows runs at each
// thread's end and, for every thread still holding a value, when the slot is freed.
struct ThreadEntry {
    void* value;
    void (*release)(void*);
};

VOID WINAPI ReleaseThreadEntry(PVOID data)
{
    auto* entry = static_cast<ThreadEntry*>(data);
    if (entry == nullptr)
        return;
    if (entry->value != nullptr)
        entry->release(entry->value);
    delete entry;
}

// Constant-initialized, so that records made during other static initialization find it.
std::atomic<DWORD> g_index {FLS_OUT_OF_INDEXES};
std::atomic<bool> g_freed {false};

DWORD Index()
{
    const DWORD index = g_index.load(std::memory_order_acquire);
    if (index != FLS_OUT_OF_INDEXES || g_freed.load(std::memory_order_acquire))
        return index;
    const DWORD fresh = ::FlsAlloc(ReleaseThreadEntry);
    if (fresh == FLS_OUT_OF_INDEXES)
        return fresh;
    DWORD expected = FLS_OUT_OF_INDEXES;
    if (!g_index.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
        ::FlsFree(fresh);  // another thread was first
        return expected;
    }
    return fresh;
}

// The slot is freed when the DLL that holds the library is freed (Platform.h, Unloading),
// so that no callback into unloaded code is left behind. Not at the process's end: in an
// .exe, exit() runs this while other threads still log with what the slot holds for them,
// and in a DLL every other thread is gone by then, perhaps holding a lock that freeing
// would wait for.
struct SlotRelease {
    ~SlotRelease()
    {
        if (!Unloading())
            return;
        g_freed.store(true, std::memory_order_release);
        const DWORD index = g_index.exchange(FLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
        if (index != FLS_OUT_OF_INDEXES)
            ::FlsFree(index);
    }
} g_slotRelease;

}  // namespace

void AtFork(void (*)(), void (*)(), void (*)())
{
    // Windows has no fork.
}

bool HoldCancellation()
{
    return false;  // nor cancellation
}

void RestoreCancellation(bool) {}

void* ThreadPointer()
{
    const DWORD index = Index();
    if (index == FLS_OUT_OF_INDEXES)
        return nullptr;
    const auto* entry = static_cast<ThreadEntry*>(::FlsGetValue(index));
    return entry != nullptr ? entry->value : nullptr;
}

bool SetThreadPointer(void* value, void (*release)(void*))
{
    const DWORD index = Index();
    if (index == FLS_OUT_OF_INDEXES) {
        errno = EAGAIN;
        return false;
    }
    auto* entry = static_cast<ThreadEntry*>(::FlsGetValue(index));
    if (entry == nullptr) {
        entry = new (std::nothrow) ThreadEntry {value, release};
        if (entry == nullptr || !::FlsSetValue(index, entry)) {
            delete entry;
            errno = ENOMEM;
            return false;
        }
        return true;
    }
    entry->value = value;
    entry->release = release;
    return true;
}

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

bool SetThreadPriority(std::thread& thread, int priority, uint32_t& error)
{
    if (!thread.joinable()) {  // no thread behind the object: nothing to hand the system
        error = ERROR_INVALID_HANDLE;
        return false;
    }
#ifdef __MINGW32__
    // With mingw the native handle is a winpthreads thread, which holds the system's handle.
    const HANDLE handle = ::pthread_gethandle(thread.native_handle());
#else
    const HANDLE handle = thread.native_handle();  // Microsoft's library: the HANDLE itself
#endif
    if (::SetThreadPriority(handle, priority) != 0) {
        error = 0;
        return true;
    }
    error = ::GetLastError();
    return false;
}

}  // namespace pdulog_detail::Platform
