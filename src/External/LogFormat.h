// The fixed-width fields of a log record, apart from the stream that carries them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pdulog_detail::LogFormat {

constexpr std::size_t kTimeLength = 12;  // "HH:MM:SS.mmm"
constexpr std::size_t kThreadWidth = 5;

// The local time of day of a wall-clock reading (100 ns ticks since the Unix epoch):
// hours, minutes and seconds from one conversion, milliseconds from the same reading.
void TimeOfDay(int64_t ticks, char (&out)[kTimeLength]);

// The thread id in lowercase hexadecimal, right-aligned in five blanks-filled columns;
// a longer number is written whole. Returns the number of characters written (<= 8).
std::size_t ThreadField(uint32_t id, char (&out)[8]);

}  // namespace pdulog_detail::LogFormat
