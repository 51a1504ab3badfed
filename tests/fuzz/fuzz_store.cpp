// Opening a store file of any length and content: the facility pads, maps and reads it,
// and never touches the whole slots the file holds.
#include "CLog.h"
#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 200)
        return -1;  // past 76 bytes nothing more is read; keep the corpus small
    const std::string folder = fuzz::Setup() + "/Krelt/PDUAPI";
    mkdir((fuzz::Setup() + "/Krelt").c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    const std::string path = folder + "/DEBUG.CFG";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    if (!CLog::Init(false))
        std::abort();
    int32_t slots[kLogSubsystemCount];
    std::memcpy(slots, CLog::Levels(), sizeof slots);
    for (int s = 0; s < kLogSubsystemCount; ++s) {
        for (int level = LL_OFF; level <= LL_DEBUG3; ++level)
            if (CLog::Enabled(level, s) != (slots[s] >= level))
                std::abort();
        if (CLog::LevelText(slots[s]) == nullptr)
            std::abort();
    }
    CLog::Shutdown();

    // Whole slots keep their bytes; a slot cut short and the missing ones become WARN.
    const size_t whole = size >= 76 ? 76 : size / 4 * 4;
    if (std::memcmp(slots, data, whole) != 0)
        std::abort();
    for (size_t s = whole / 4; s < kLogSubsystemCount; ++s)
        if (slots[s] != LL_WARN)
            std::abort();
    struct stat st {};
    stat(path.c_str(), &st);
    if (static_cast<size_t>(st.st_size) != (size >= 76 ? size : 76))
        std::abort();
    return 0;
}
