// The parsers of level and subsystem names: a name the vocabulary does not know is reported
// in a WARN record, and the default stands in for it.
#include <pdulog/CLog.h>

#include <cstdio>
#include <ostream>
#include <string>

LogLevel CLog::LevelFromName(const std::string& name)
{
    LogLevel level = LL_DEBUG;
    if (!FindLevel(name, level)) {
        CLog(stderr).Header(LL_WARN, LS_GENERAL)
            << "Unknown logging level '" << name << "'. Using DEBUG level as default.";
    }
    return level;
}

LogSubsystem CLog::SubsystemFromName(const std::string& name)
{
    LogSubsystem subsystem = LS_GENERAL;
    if (!FindSubsystem(name, subsystem)) {
        CLog(stderr).Header(LL_WARN, LS_GENERAL)
            << "Unknown subsystem '" << name << "'. Using GENERAL subsystem as default.";
    }
    return subsystem;
}
