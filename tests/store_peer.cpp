// Another process on the level store, for the tests:
//   set SLOT VALUE     stores a level through its own view
//   expect SLOT VALUE  exits 0 only when its view shows that value
//   loop SLOT COUNT    stores 0, 1, ..., 7, 0, ... COUNT times (the last is (COUNT-1) % 8)
//   open SLOT 0        opens and closes the store, nothing else
//   raise SLOT 0       sends itself SIGBUS with the store open, then exits 0
#include "CLog.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 || !CLog::Init(false))
        return 2;
    const int slot = std::atoi(argv[2]);
    const int32_t value = static_cast<int32_t>(std::atol(argv[3]));
    if (slot < 0 || slot >= kLogSubsystemCount)
        return 2;
    int status = 2;
    if (std::strcmp(argv[1], "set") == 0) {
        CLog::s_levels[slot] = value;
        status = 0;
    } else if (std::strcmp(argv[1], "expect") == 0) {
        status = CLog::s_levels[slot] == value ? 0 : 1;
    } else if (std::strcmp(argv[1], "loop") == 0) {
        volatile int32_t* levels = CLog::s_levels;
        for (int32_t i = 0; i < value; ++i)
            levels[slot] = i % kLogLevelCount;
        status = 0;
    } else if (std::strcmp(argv[1], "open") == 0) {
        status = 0;
    } else if (std::strcmp(argv[1], "raise") == 0) {
#ifdef SIGBUS
        std::raise(SIGBUS);  // the library's handler must treat it as the process would
#endif
        status = 0;
    }
    CLog::Shutdown();
    return status;
}
