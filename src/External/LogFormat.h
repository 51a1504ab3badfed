// The fixed-width fields of a log record, apart from the stream that carries them.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The local time of day of a wall-clock reading (seconds since the Unix epoch and
// nanoseconds into the second), kTimeLength characters at `out`: hours, minutes and
// seconds from one conversion, milliseconds from the same reading.
void TimeOfDay(int64_t seconds, uint32_t nanoseconds, LocalSecond& cache, char* out);

// The thread id in lowercase hexadecimal, right-aligned in five blanks-filled columns;
// a longer number is written whole. Returns the number of characters written (<= 8).
std::size_t ThreadField(uint32_t id, char (&out)[8]);

}  // namespace pdulog_detail::LogFormat
