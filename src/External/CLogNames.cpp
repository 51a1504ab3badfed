// The level and subsystem vocabulary: numbers to texts and names to numbers, with nothing
// reported (CLogParse.cpp turns an unknown name into a record).
#include <pdulog/CLog.h>
#include "LevelTags.h"

#include <string_view>

namespace {

using pdulog_detail::kLevelTags;

// Laid out as they are read: clang-format leaves them so.
// clang-format off
constexpr const char* kSubsystemNames[kLogSubsystemCount] = {
    "GENERAL", "APP", "MODULE", "CLL", "COP", "TSTRPRS", "COMPARAM",
    "COMMS", "VCI", "VEHTX", "VEHRX", "PRTCL", "PRTCLPHY", "PRTCLTRANS",
    "PRTCLAPP", "USER1", "EXCEPT", "DATA", "TIMER",
};
// clang-format on

}  // namespace

const char* CLog::LevelText(int level)
{
    if (level == LL_OFF)
        return "OFF";
    if (level >= 0 && level < kLogLevelCount)
        return kLevelTags[level];
    return "Invalid Level";
}

const char* CLog::SubsystemText(int subsystem)
{
    if (subsystem >= 0 && subsystem < kLogSubsystemCount)
        return kSubsystemNames[subsystem];
    return nullptr;
}

// A name selects the first level whose tag contains it, blanks included, so fragments
// resolve in table order ("I" is NOTICE, "1" is DEBUG1, "" is ERROR).
bool CLog::FindLevel(const std::string& name, LogLevel& level)
{
    for (int candidate = 0; candidate < kLogLevelCount; ++candidate)
        if (std::string_view(kLevelTags[candidate]).find(name) != std::string_view::npos) {
            level = static_cast<LogLevel>(candidate);
            return true;
        }
    return false;
}

bool CLog::FindSubsystem(const std::string& name, LogSubsystem& subsystem)
{
    for (int candidate = 0; candidate < kLogSubsystemCount; ++candidate)
        if (name == kSubsystemNames[candidate]) {
            subsystem = static_cast<LogSubsystem>(candidate);
            return true;
        }
    return false;
}

// Laid out as they are read: clang-format leaves them so.
// clang-format off
const char pdulog_detail::kLevelTags[kLogLevelCount][kLevelTagLength + 1] = {
    " ERROR  ", " WARN   ", " NOTICE ", " INFO   ",
    " DEBUG  ", " DEBUG1 ", " DEBUG2 ", " DEBUG3 ",
};
// clang-format on
