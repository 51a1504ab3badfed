// POSIX threads: each thread's pointer for the library, thread ids and priorities.
#include "Platform.h"

#include "PosixClock.h"
#include "LinuxCalls.h"
#include "LinuxModule.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <new>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace pdulog_detail::Platform {

namespace {

// The per-thread pointer is kept under a key of the threads library, whose destructor runs
// at each thread's end. Not C++ thread_local with a destructor: the C library keeps a
// module whose thread_local destructors are pending mapped until every thread that used it
// has ended, so a plugin that a long-lived host thread logged through could never be
// unloaded.
struct ThreadEntry {
    void* value;
    void (*release)(void*);
    ThreadEntry* next;  // every live thread's entry, for the unload
    ThreadEntry* previous;
};

std::mutex g_lock;
ThreadEntry* g_entries = nullptr;
pthread_key_t g_key;
std::atomic<bool> g_keyMade {false};  // set under g_lock
// The thread's value as its entry holds it, read by every record without the threads
// library's call. A plain pointer: the C library has no destructor of ours to keep the
// module mapped for.
thread_local void* t_value = nullptr;

void Unlink(ThreadEntry* entry)
{
    (entry->previous != nullptr ? entry->previous->next : g_entries) = entry->next;
    if (entry->next != nullptr)
        entry->next->previous = entry->previous;
}

void Release(ThreadEntry* entry)
{
    if (entry->value != nullptr)
        entry->release(entry->value);
    delete entry;
}

void ThreadEnds(void* data)
{
    auto* entry = static_cast<ThreadEntry*>(data);
    t_value = nullptr;  // a destructor of the host's that logs after this one starts afresh
    {
        const std::lock_guard<std::mutex> lock(g_lock);
        Unlink(entry);
    }
    Release(entry);
}

// The key goes with the module, and what live threads still hold is released (Platform.h,
// Unloading). At the process's end other threads may still log: they keep what they hold.
struct KeyRelease {
    ~KeyRelease()
    {
        if (!Unloading())
            return;  // the process ends: not even the lock, which a thread may hold for good
        const std::lock_guard<std::mutex> lock(g_lock);
        if (!g_keyMade.load())
            return;
        g_keyMade.store(false);
        ::pthread_key_delete(g_key);
        while (ThreadEntry* entry = g_entries) {
            Unlink(entry);
            Release(entry);
        }
    }
} g_keyRelease;

}  // namespace

void* ThreadPointer() { return t_value; }

bool SetThreadPointer(void* value, void (*release)(void*))
{
    const std::lock_guard<std::mutex> lock(g_lock);
    if (!g_keyMade.load()) {
        Module::WatchForTheEnd();
        const int made = ::pthread_key_create(&g_key, ThreadEnds);
        if (made != 0) {
            errno = made;
            return false;
        }
    }
    g_keyMade.store(true);
    auto* entry = static_cast<ThreadEntry*>(::pthread_getspecific(g_key));
    if (entry == nullptr) {
        entry = new (std::nothrow) ThreadEntry {value, release, g_entries, nullptr};
        const int set = entry != nullptr ? ::pthread_setspecific(g_key, entry) : ENOMEM;
        if (set != 0) {
            delete entry;
            errno = set;
            return false;
        }
        if (g_entries != nullptr)
            g_entries->previous = entry;
        g_entries = entry;
        t_value = value;
        return true;
    }
    entry->value = value;
    entry->release = release;
    t_value = value;
    return true;
}

namespace {

void (*g_prepare)() = nullptr;
void (*g_parent)() = nullptr;
void (*g_child)() = nullptr;

// The caller's locks first, then the per-thread pointers' list and the local-time lock:
// every lock is held for a bounded time, and in the order the library nests them.
void PrepareFork()
{
    g_prepare();
    g_lock.lock();
    LocalTime::Lock();
}

void ParentAfterFork()
{
    LocalTime::Unlock();
    g_lock.unlock();
    g_parent();
}

// The child's only thread is the one that forked: the locks are made anew rather than
// unlocked (a recursive lock knows its owner by a thread id the child no longer has), and
// the entries of the threads the child does not have stay behind, unused.
thread_local uint32_t t_threadId = 0;  // CurrentThreadId's cache

void ChildAfterFork()
{
    t_threadId = 0;  // the child's thread has an id of its own
    LocalTime::ResetInChild();
    new (&g_lock) std::mutex();
    g_child();
}

}  // namespace

void AtFork(void (*prepare)(), void (*parent)(), void (*child)())
{
    g_prepare = prepare;
    g_parent = parent;
    g_child = child;
    // In a shared object the C library ties the handlers to it, and drops them at dlclose.
    ::pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);
}

bool HoldCancellation()
{
    int before = PTHREAD_CANCEL_DISABLE;
    ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &before);
    return before == PTHREAD_CANCEL_ENABLE;
}

void RestoreCancellation(bool allowed)
{
    int ignored = 0;
    if (allowed)
        ::pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &ignored);
}

// The thread id is asked of the kernel once per thread (t_threadId); a child made by fork()
// inherits the parent's cache, which the fork handler clears.
uint32_t CurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = Linux::KernelThreadId();
    return t_threadId;
}

bool SetThreadPriority(std::thread& thread, int priority, uint32_t& error)
{
    if (!thread.joinable()) {  // no thread behind the object: nothing to hand the system
        error = ESRCH;
        return false;
    }
    sched_param param {};
    int policy = SCHED_OTHER;
    if (priority == kPriorityTimeCritical) {
        policy = SCHED_FIFO;
        param.sched_priority = ::sched_get_priority_max(SCHED_FIFO);
    }
    const int rc = ::pthread_setschedparam(thread.native_handle(), policy, &param);
    error = static_cast<uint32_t>(rc);
    return rc == 0;
}

}  // namespace pdulog_detail::Platform
