// The fixed-width fields of a log record, apart from the stream that carries them.
#pragma once

#include <pdulog/detail/DecimalText.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pdulog_detail::LogFormat {

constexpr std::size_t kTimeLength = 12;  // "HH:MM:SS.mmm"
constexpr std::size_t kThreadWidth = 5;

// The text of one local second, "HH:MM:SS.", kept by its user (each thread's composer):
// converting to local time costs far more than a record, so it is made again only when
// the second changes.
struct LocalSecond {
    int64_t second = INT64_MIN;
    char text[9] = {};
};

// Makes the cache's text that of the local second `seconds`.
void LocalSecondText(int64_t seconds, LocalSecond& cache);

// The local time of day of a wall-clock reading (seconds since the Unix epoch and
// nanoseconds into the second), kTimeLength characters at `out`: hours, minutes and
// seconds from one conversion, milliseconds from the same reading.
inline void TimeOfDay(int64_t seconds, uint32_t nanoseconds, LocalSecond& cache, char* out)
{
    if (cache.second != seconds)
        LocalSecondText(seconds, cache);
    std::memcpy(out, cache.text, 9);
    const uint32_t millis = nanoseconds / 1000000;
    const std::size_t tens = millis / 10;
    out[9] = DecimalText::kPairs[tens * 2];
    out[10] = DecimalText::kPairs[tens * 2 + 1];
    out[11] = static_cast<char>('0' + (millis - tens * 10));
}

// The thread id in lowercase hexadecimal, right-aligned in five blanks-filled columns;
// a longer number is written whole. Returns the number of characters written (<= 8).
std::size_t ThreadField(uint32_t id, char (&out)[8]);

}  // namespace pdulog_detail::LogFormat
