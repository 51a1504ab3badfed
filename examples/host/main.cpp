// A host of the level store, to watch pdu-loglevel at work: run it in one terminal, change
// a level with pdu-loglevel in another, and its records change on the next tick, with no
// restart and no signal. Each tick makes one record per subsystem it uses, each behind the
// level gate of a PDULOG site, as the README's recipe has it:
//   GENERAL at WARN, APP at NOTICE, COMMS at INFO, VCI at DEBUG.
//
//   pdulog-host [--interval-ms N] [--seconds N] [--until SUBSYSTEM]
//   pdulog-host --help
//
// --until stops after the first record of that subsystem; --seconds bounds the run.
#include <pdulog/CLog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr char kUsage[] = "usage: pdulog-host [--interval-ms N] [--seconds N] [--until SUBSYSTEM]\n"
                          "Logs GENERAL at WARN, APP at NOTICE, COMMS at INFO and VCI at DEBUG once a tick,\n"
                          "each when the shared store's level lets it through.\n";

// The level each subsystem's record is made at, for --until; above every level for the others.
int LevelOf(int subsystem)
{
    switch (subsystem) {
    case LS_GENERAL: return LL_WARN;
    case LS_APP: return LL_NOTICE;
    case LS_COMMS: return LL_INFO;
    case LS_VCI: return LL_DEBUG;
    default: return kLogLevelCount;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    long intervalMs = 1000;
    long seconds = 0;  // 0: until stopped
    int until = -1;
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--interval-ms") == 0)
            intervalMs = std::strtol(argv[++i], nullptr, 10);
        else if (valued && std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::strtol(argv[++i], nullptr, 10);
        else if (valued && std::strcmp(argv[i], "--until") == 0)
            until = CLog::SubsystemFromName(argv[++i]);
        else {  // help, or anything else: the usage, and nothing touched
            std::fputs(kUsage,
                       std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    if (!CLog::Init(false)) {
        std::fprintf(stderr, "pdulog-host: no level store\n");
        return 1;
    }
    std::printf("pdulog-host: running, levels from the shared store\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (long tick = 1; seconds == 0 || std::chrono::steady_clock::now() < end; ++tick) {
        // Each site reads its level afresh: a change made with pdu-loglevel shows at once.
        const bool last = until >= 0 && CLog::Enabled(LevelOf(until), until);
        PDULOG(LL_WARN, LS_GENERAL) << "GENERAL tick " << tick;
        PDULOG(LL_NOTICE, LS_APP) << "APP tick " << tick;
        PDULOG(LL_INFO, LS_COMMS) << "COMMS tick " << tick;
        PDULOG(LL_DEBUG, LS_VCI) << "VCI tick " << tick;
        if (last) {
            CLog::Shutdown();
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    CLog::Shutdown();
    return until >= 0 ? 2 : 0;  // with --until, running out of time is a failure
}
