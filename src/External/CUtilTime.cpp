// Time and date helpers: ticks, and the week and month of a build date's text.
#include <pdulog/CUtil.h>

#include "Platform/Platform.h"

#include <iostream>

namespace Platform = pdulog_detail::Platform;

uint64_t Util::Time::GetTickCountUs() { return Platform::TickCountMs() * 1000u; }

uint8_t Util::Date::MonthFromName(std::string text, unsigned pos)
{
    // The third letter tells the month apart; where two months share it, the second or
    // the first letter decides.
    if (pos <= text.size() && text.size() - pos >= 3) {
        const char first = text[pos], second = text[pos + 1];
        switch (text[pos + 2]) {
        case 'b': return 2;
        case 'c': return 12;
        case 'g': return 8;
        case 'l': return 7;
        case 'n': return second == 'a' ? 1 : 6;
        case 'p': return 9;
        case 'r': return first == 'M' ? 3 : 4;
        case 't': return 10;
        case 'v': return 11;
        case 'y': return 5;
        default: break;
        }
    }
    std::cerr << "Unknown month" << std::endl;
    return 0;
}

uint8_t Util::Date::WeekOfYear(std::string text, unsigned monthPos, unsigned dayPos)
{
    static const int kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const uint8_t month = MonthFromName(text, monthPos);
    int day = 0;
    if (dayPos <= text.size() && text.size() - dayPos >= 2) {
        const char tens = text[dayPos];
        day = (tens == ' ' ? 0 : tens - '0') * 10 + (text[dayPos + 1] - '0');
    }
    const int dayOfYear = kDaysBefore[month] + day;
    return static_cast<uint8_t>(dayOfYear / 7);
}
