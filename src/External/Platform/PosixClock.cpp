// POSIX clocks: the wall clock, local time of day and milliseconds since system start.
#include "Platform.h"

#include "LinuxCalls.h"
#include "PosixClock.h"

#include <ctime>
#include <mutex>
#include <new>

namespace pdulog_detail::Platform {

namespace {

std::mutex g_localTime;

}  // namespace

void LocalTime::Lock() { g_localTime.lock(); }

void LocalTime::Unlock() { g_localTime.unlock(); }

void LocalTime::ResetInChild() { new (&g_localTime) std::mutex(); }

int64_t WallClockTicks()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

WallTime WallClock()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return {static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec)};
}

int64_t CoarseWallClockTicks()
{
    struct timespec ts {};
    Linux::CoarseRealTime(ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

int64_t CoarseWallClockSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

bool LocalTimeOfDay(int64_t seconds, int& hour, int& minute, int& second)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local {};
    // Once a second per thread: the conversion may read the zone's file, and a cancellation
    // there would leave the lock held.
    const CancellationHeld held;
    const std::lock_guard<std::mutex> lock(g_localTime);  // see PosixClock.h
    if (::localtime_r(&t, &local) == nullptr)
        return false;
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

uint64_t TickCountMs()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace pdulog_detail::Platform
