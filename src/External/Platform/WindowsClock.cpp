// Windows clocks: the wall clock, local time of day and milliseconds since system start.
#include "Platform.h"

#include <cerrno>
#include <ctime>

#include <windows.h>

namespace pdulog_detail::Platform {

int64_t WallClockTicks()
{
    FILETIME ft {};
    ::GetSystemTimePreciseAsFileTime(&ft);
    const int64_t since1601 = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return since1601 - 116444736000000000LL;
}

WallTime WallClock()
{
    const int64_t ticks = WallClockTicks();
    return {ticks / 10000000, static_cast<uint32_t>(ticks % 10000000) * 100};
}

int64_t CoarseWallClockTicks()
{
    FILETIME ft {};
    ::GetSystemTimeAsFileTime(&ft);
    const int64_t since1601 = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return since1601 - 116444736000000000LL;
}

int64_t CoarseWallClockSeconds() { return CoarseWallClockTicks() / 10000000; }

bool LocalTimeOfDay(int64_t seconds, int& hour, int& minute, int& second)
{
    // The 64-bit call on every build: a 32-bit build's time_t may end in 2038.
    const __time64_t t = static_cast<__time64_t>(seconds);
    std::tm local {};
    const errno_t error = ::_localtime64_s(&local, &t);
    if (error != 0) {
        errno = error;
        return false;
    }
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

uint64_t TickCountMs() { return ::GetTickCount64(); }

}  // namespace pdulog_detail::Platform
