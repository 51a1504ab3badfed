// A suppressed one-line site (PDULOG) against its floor, in a program that uses only the
// library's public interface: built against a static and against a shared pdulog, it
// shows what the gate costs a module that links either (Linux).
#include "BenchStore.h"
#include "CLog.h"
#include "GateFloor.h"

#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace {

std::string g_store;

// The floor, on a mapping of the same store.
void BM_Gate_Floor(benchmark::State& state)
{
    const int fd = ::open(g_store.c_str(), O_RDWR | O_CLOEXEC);
    void* view = ::mmap(nullptr, 76, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    bench::GateFloor(state, view == MAP_FAILED ? nullptr : static_cast<int32_t*>(view));
    if (view != MAP_FAILED)
        ::munmap(view, 76);
}
BENCHMARK(BM_Gate_Floor);

void BM_Gate_PdulogSite(benchmark::State& state)
{
    CLog::Init(false);
    CLog::SetLevel(LS_COMMS, LL_WARN);
    int64_t i = 0;
    for (auto _ : state) {
        PDULOG(LL_DEBUG, LS_COMMS) << "value " << ++i;
        benchmark::ClobberMemory();
    }
    CLog::Shutdown();
}
BENCHMARK(BM_Gate_PdulogSite);

}  // namespace

int main(int argc, char** argv)
{
    g_store = bench::PrivateAppData() + "/Krelt/PDUAPI/DEBUG.CFG";
    CLog::Init(false);  // creates the store that the floor maps
    CLog::Shutdown();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
