// Eight threads on one handed-over file stream, against fprintf and fflush on one FILE*:
// built by bench/threads-at-commit.sh against any commit's pdulog, so it uses only what every
// commit has (Located, SetPipe, UseExternalLevels). Not part of the build.
#include "CLog.h"
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
namespace {
std::string g_folder;
std::FILE* g_shared = nullptr;
const char kLine[] = "12:14:47.123 INFO    1a2b:src\\bench\\records_bench.cpp:42:BM_Emitted_Pdulog:value 1000000\n";
void BM_Emitted8_Floor(benchmark::State& state)
{
    if (state.thread_index() == 0)
        g_shared = std::fopen((g_folder + "/floor.log").c_str(), "w");
    for (auto _ : state) {
        std::fprintf(g_shared, "%s", kLine);
        std::fflush(g_shared);
    }
    if (state.thread_index() == 0)
        std::fclose(g_shared);
}
BENCHMARK(BM_Emitted8_Floor)->Threads(8)->UseRealTime();
void BM_Emitted8_Pdulog(benchmark::State& state)
{
    if (state.thread_index() == 0) {
        static int32_t levels[19];
        for (int32_t& l : levels)
            l = LL_DEBUG3;
        CLog::UseExternalLevels(levels);
        CLog::SetPipe(std::fopen((g_folder + "/pdulog.log").c_str(), "w"));
    }
    long long i = 1000000;
    for (auto _ : state)
        CLog(stderr).Located(LL_INFO, LS_COMMS, "src\\bench\\records_bench.cpp", 42, "BM_Emitted_Pdulog")
            << "value " << ++i;
    if (state.thread_index() == 0) {
        CLog::ReleaseExternalLevels();
        CLog::Shutdown();
    }
}
BENCHMARK(BM_Emitted8_Pdulog)->Threads(8)->UseRealTime();
}  // namespace
int main(int argc, char** argv)
{
    char tmpl[] = "/tmp/eightXXXXXX";
    g_folder = mkdtemp(tmpl);
    setenv("APPDATA", g_folder.c_str(), 1);
    setenv("TEMP", g_folder.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::system(("rm -rf " + g_folder).c_str());
}
