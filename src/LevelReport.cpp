// The level report, one line per subsystem, read through the library's accessor.
#include "LevelReport.h"

#include <pdulog/CLog.h>
#include "LevelNames.h"

#include <iostream>
#include <string>

namespace {

constexpr std::size_t kNameWidth = 10;

}  // namespace

void ShowLevels(int from, int to)
{
    std::string line;
    for (int subsystem = from; subsystem < to; ++subsystem) {
        int32_t value = LL_OFF;
        const std::string level = CLog::GetLevel(subsystem, value) ? LevelName(value) : "OFF";
        const std::string name = SubsystemName(subsystem);
        line.assign("\t").append(name);
        if (name.size() < kNameWidth)
            line.append(kNameWidth - name.size(), ' ');
        line.append(" :").append(level);
        // One write per line: a line is never torn by another process's output.
        std::cerr << line << std::endl;
    }
}
