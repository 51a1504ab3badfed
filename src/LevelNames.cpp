// Level and subsystem numbers as the command shows them.
#include "LevelNames.h"

#include "CLog.h"

std::string LevelName(int level) { return CLog::LevelText(level); }

std::string SubsystemName(int subsystem)
{
    const char* name = CLog::SubsystemText(subsystem);
    return name != nullptr ? name : "Invalid SubSys";
}
