// The time-of-day and thread fields of a record, written into fixed-width buffers.
#include "LogFormat.h"

#include "Platform/Platform.h"

#include <cstring>

namespace pdulog_detail::LogFormat {

namespace {

void TwoDigits(int value, char* out)
{
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

void LocalSecondText(int64_t seconds, LocalSecond& cache)
{
    int hour = 0, minute = 0, second = 0;
    Platform::LocalTimeOfDay(seconds, hour, minute, second);
    TwoDigits(hour, cache.text);
    cache.text[2] = ':';
    TwoDigits(minute, cache.text + 3);
    cache.text[5] = ':';
    TwoDigits(second, cache.text + 6);
    cache.text[8] = '.';
    cache.second = seconds;
}

std::size_t ThreadField(uint32_t id, char (&out)[8])
{
    static const char kDigits[] = "0123456789abcdef";
    char digits[8];
    std::size_t n = 0;
    do {
        digits[n++] = kDigits[id & 0xF];
        id >>= 4;
    } while (id != 0);
    std::size_t length = 0;
    for (std::size_t fill = n; fill < kThreadWidth; ++fill)
        out[length++] = ' ';
    while (n > 0)
        out[length++] = digits[--n];
    return length;
}

}  // namespace pdulog_detail::LogFormat
