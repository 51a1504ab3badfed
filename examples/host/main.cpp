// A host of the level store, to watch pdu-loglevel at work: run it in one terminal, change
// a level with pdu-loglevel in another, and its records change on the next tick, with no
// restart and no signal. Each tick makes one gated record per subsystem it uses:
//   GENERAL at WARN, APP at NOTICE, COMMS at INFO, VCI at DEBUG.
//
//   pdulog-host [--interval-ms N] [--seconds N] [--until SUBSYSTEM]
//
// --until stops after the first record of that subsystem; --seconds bounds the run.
#include "CLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr const char* kPlace = "examples\\host\\main.cpp";

struct Use {
    LogSubsystem subsystem;
    LogLevel level;
    int line;
};
constexpr Use kUses[] = {
    {LS_GENERAL, LL_WARN, 1},
    {LS_APP, LL_NOTICE, 2},
    {LS_COMMS, LL_INFO, 3},
    {LS_VCI, LL_DEBUG, 4},
};

}  // namespace

int main(int argc, char** argv)
{
    long intervalMs = 1000;
    long seconds = 0;  // 0: until stopped
    int until = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--interval-ms") == 0)
            intervalMs = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--until") == 0)
            until = CLog::SubsystemFromName(argv[i + 1]);
    }
    if (!CLog::Init(false)) {
        std::fprintf(stderr, "pdulog-host: no level store\n");
        return 1;
    }
    std::printf("pdulog-host: running, levels from the shared store\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (long tick = 1; seconds == 0 || std::chrono::steady_clock::now() < end; ++tick) {
        for (const Use& use : kUses) {
            if (!CLog::Enabled(use.level, use.subsystem))  // the slot is read afresh each time
                continue;
            CLog(stderr).Located(use.level, use.subsystem, kPlace, use.line, "main")
                << CLog::SubsystemText(use.subsystem) << " tick " << tick;
            if (use.subsystem == until) {
                CLog::Shutdown();
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    CLog::Shutdown();
    return until >= 0 ? 2 : 0;  // with --until, running out of time is a failure
}
