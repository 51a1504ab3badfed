// A module of a host process that shares one pdulog with other modules: built twice, as
// module_a and module_b, and driven by modules.cpp. Start and Stop follow docs/vendor.md's
// recipe for a module that falls back to levels of its own.
#include "CLog.h"

#include <cstdio>

#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
bool g_started = false;
int32_t g_own[kLogSubsystemCount]
    = {LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN,
       LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN, LL_WARN};
}  // namespace

MODULE_EXPORT int Start()
{
    g_started = CLog::Init(false);
    if (!g_started)
        CLog::UseExternalLevels(g_own);
    return g_started ? 1 : 0;
}

MODULE_EXPORT void Stop()
{
    if (g_started)
        CLog::Shutdown();
    else
        CLog::ReleaseExternalLevels();  // before the module and its array go
}

// Lifecycle calls for threads that start and stop the facility on their own.
MODULE_EXPORT int Init(int initLog) { return CLog::Init(initLog != 0) ? 1 : 0; }
MODULE_EXPORT void Shutdown() { CLog::Shutdown(); }
MODULE_EXPORT void Move(int how)
{
    if (how % 3 == 0)
        CLog::SetPipe(stderr);
    else if (std::FILE* previous = how % 3 == 1 ? CLog::SetInitLogFile(false) : CLog::SetPipe(nullptr))
        std::fclose(previous);
}

MODULE_EXPORT int Log(int id)
{
    PDULOG(LL_WARN, LS_COMMS) << "module record " << id;
    return CLog::Enabled(LL_WARN, LS_COMMS) ? 1 : 0;
}
