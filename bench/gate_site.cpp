// A suppressed PDULOG site in a function of its own, built against an installed package with
// no benchmark library, so that any build can run it: bench/gate-code.sh shows the code the
// gate compiles to on each processor and times it, under an emulator a sanity figure only.
#include <pdulog/CLog.h>

#include "BenchStore.h"

#include <chrono>
#include <cstdio>

// The site alone: what a host's code holds wherever it may log.
__attribute__((noinline)) void SuppressedSite(int value) { PDULOG(LL_DEBUG, LS_COMMS) << "value " << value; }

int main()
{
    bench::PrivateAppData();
    if (!CLog::Init(false))
        return 1;
    CLog::SetLevel(LS_COMMS, LL_WARN);
    constexpr int kSites = 20000000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSites; ++i)
        SuppressedSite(i);
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    std::printf("suppressed PDULOG site, with its call: %.2f ns\n", spent.count() / kSites);
    CLog::Shutdown();
    return 0;
}
