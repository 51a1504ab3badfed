// The lock of the facility's lifecycle, held by CLog.cpp and taken by the level store, and
// what a forked child's only thread redoes of its records.
#pragma once

#include "Platform/Platform.h"

#include <mutex>

namespace pdulog_detail {

// Every start, stop and move of the sink takes it; the gate and the records never do.
std::recursive_mutex& LifecycleMutex();
// Held with a cancellation request held back (Platform.h): a host thread cancelled in a
// lifecycle call ends after the call, never inside it with the lock or half a move left.
class LifecycleLock {
public:
    explicit LifecycleLock(std::recursive_mutex& mutex) : m_lock(mutex) {}

private:
    Platform::CancellationHeld m_held;  // first in, last out
    std::lock_guard<std::recursive_mutex> m_lock;
};

// The child of a fork runs on a thread of its own: its composer asks for the thread's id
// again (the other threads' composers are not in the child).
void ComposerAfterForkInChild();

}  // namespace pdulog_detail
