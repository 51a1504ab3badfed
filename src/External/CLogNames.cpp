// The level and subsystem vocabulary: numbers to texts and names to numbers.
#include "CLog.h"

#include <string_view>

namespace {

// Each tag is exactly eight characters: a blank, the name, blanks to the width.
constexpr const char* kLevelTags[kLogLevelCount] = {
    " ERROR  ", " WARN   ", " NOTICE ", " INFO   ",
    " DEBUG  ", " DEBUG1 ", " DEBUG2 ", " DEBUG3 ",
};

constexpr const char* kSubsystemNames[kLogSubsystemCount] = {
    "GENERAL", "APP", "MODULE", "CLL", "COP", "TSTRPRS", "COMPARAM",
    "COMMS", "VCI", "VEHTX", "VEHRX", "PRTCL", "PRTCLPHY", "PRTCLTRANS",
    "PRTCLAPP", "USER1", "EXCEPT", "DATA", "TIMER",
};

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
LogLevel CLog::LevelFromName(const std::string& name)
{
    for (int level = 0; level < kLogLevelCount; ++level)
        if (std::string_view(kLevelTags[level]).find(name) != std::string_view::npos)
            return static_cast<LogLevel>(level);
    CLog(stderr).Header(LL_WARN, LS_GENERAL)
        << "Unknown logging level '" << name << "'. Using DEBUG level as default.";
    return LL_DEBUG;
}

LogSubsystem CLog::SubsystemFromName(const std::string& name)
{
    for (int subsystem = 0; subsystem < kLogSubsystemCount; ++subsystem)
        if (name == kSubsystemNames[subsystem])
            return static_cast<LogSubsystem>(subsystem);
    CLog(stderr).Header(LL_WARN, LS_GENERAL)
        << "Unknown subsystem '" << name << "'. Using GENERAL subsystem as default.";
    return LS_GENERAL;
}
