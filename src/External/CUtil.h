// Utilities of the D-PDU API support library: process helpers, the name tables of the
// standard's enumerations, item release and value formatting.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace Util {

namespace Env {
// Expands %NAME% references; an undefined reference stays as it is. True when the result
// is not empty.
bool Expand(const std::string& text, std::string& result);
}  // namespace Env

namespace Time {
// Time since system start in microseconds, at millisecond resolution.
uint64_t GetTickCountUs();
}  // namespace Time

namespace Thread {
// 0 asks for normal priority, 1 for time-critical; anything else is reported and normal.
bool SetPriority(std::thread& thread, int32_t priority);
}  // namespace Thread

namespace Date {
// The month (1 to 12) of the build-date abbreviation at pos; 0, with "Unknown month" on
// the standard error stream, when it is not one or the text is too short.
uint8_t MonthFromName(std::string text, unsigned pos);
// The week of the year (0 to 52) of a build-date text, counted in a common year.
uint8_t WeekOfYear(std::string text, unsigned monthPos, unsigned dayPos);
}  // namespace Date

}  // namespace Util
