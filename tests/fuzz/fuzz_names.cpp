// The level and subsystem name parsers on any text.
#include "CLog.h"
#include "FuzzSupport.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (fuzz::Setup(), fuzz::QuietSink(), true);
    (void)ready;
    const std::string name(reinterpret_cast<const char*>(data), size);
    const int level = CLog::LevelFromName(name);
    const int subsystem = CLog::SubsystemFromName(name);
    if (level < 0 || level >= kLogLevelCount || subsystem < 0 || subsystem >= kLogSubsystemCount)
        std::abort();
    // A recognised subsystem name is exactly one of the names.
    if (subsystem != LS_GENERAL && name != CLog::SubsystemText(subsystem))
        std::abort();
    return 0;
}
