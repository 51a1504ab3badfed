// Level and subsystem numbers as the command shows them.
#include "LevelNames.h"

#include <pdulog/CLog.h>

std::string LevelName(int level) { return CLog::LevelText(level); }

std::string LevelTag(int level) { return level == LL_OFF ? " OFF    " : LevelName(level); }

std::string SubsystemName(int subsystem)
{
    const char* name = CLog::SubsystemText(subsystem);
    return name != nullptr ? name : "Invalid SubSys";
}

std::string LevelNameList()
{
    std::string list;
    for (int level = 0; level < kLogLevelCount; ++level) {
        const std::string tag = LevelName(level);
        list.append(tag, 1, tag.find(' ', 1) - 1).append(" ");  // the tag without its blanks
    }
    return list + LevelName(LL_OFF);
}

std::string SubsystemNameList()
{
    std::string list;
    for (int subsystem = 0; subsystem < kLogSubsystemCount; ++subsystem)
        list.append(subsystem > 0 ? " " : "").append(SubsystemName(subsystem));
    return list;
}
