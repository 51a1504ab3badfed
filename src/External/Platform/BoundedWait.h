// The one wait with a deadline of this folder: attempts, a pause apart, until one succeeds.
#pragma once

#include <cerrno>
#include <chrono>
#include <thread>

namespace pdulog_detail::Platform {

// What one attempt of a bounded wait came to.
enum class Attempt {
    kDone,
    kBusy,    // someone else holds it for now: worth another attempt after the pause
    kFailed,  // another attempt would fail the same way
};

// Makes attempts `pause` apart until one is done or fails for good, or `limit` has passed
// since the wait began: a holder that takes longer is stuck (a process stopped in a
// debugger, a writer to a pipe nobody reads), and waiting on would hang the caller. A zero
// pause yields the processor instead of sleeping. True when an attempt was done; errno is
// as the last attempt left it.
template <class Try>
bool WaitUntil(std::chrono::milliseconds limit, std::chrono::microseconds pause, Try attempt)
{
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const Attempt result = attempt();
        if (result != Attempt::kBusy)
            return result == Attempt::kDone;
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        const int error = errno;
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);
        else
            std::this_thread::yield();
        errno = error;
    }
}

}  // namespace pdulog_detail::Platform
