// What a record costs: suppressed by the level gate, and emitted to a file with a flush.
// Each family has its floor, written by hand and measured in the same run.
#include "BenchStore.h"
#include "CLog.h"
#include "GateFloor.h"
#include "Platform/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <unistd.h>

#ifdef PDULOG_BENCH_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#endif
#ifdef PDULOG_BENCH_GLOG
#include <glog/logging.h>
#endif

namespace {

namespace Platform = pdulog_detail::Platform;

const char kPlace[] = "src\\bench\\records_bench.cpp";

std::string g_folder;

std::string Path(const char* name) { return g_folder + "/" + name; }

// ---- suppressed ----------------------------------------------------------------------

// The floor: a null test, one load from a MAP_SHARED mapping and a compare.
void BM_Suppressed_Floor(benchmark::State& state)
{
    const int32_t init[19] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    Platform::StoreAccess access = Platform::StoreAccess::kReadWrite;
    const int fd = Platform::OpenOrCreateStore(Path("floor.bin"), init, sizeof init, access);
    Platform::MappingHandle mapping = Platform::CreateMapping(fd, Platform::MapAccess::kWrite);
    void* slots = Platform::MapView(mapping, 76, init);
    bench::GateFloor(state, static_cast<int32_t*>(slots));
    Platform::RetireView(slots, 76, init);
    Platform::CloseMapping(mapping);
    Platform::Close(fd);
}
BENCHMARK(BM_Suppressed_Floor);

void BM_Suppressed_Pdulog(benchmark::State& state)
{
    CLog::Init(false);
    CLog::SetLevel(LS_COMMS, LL_WARN);
    int64_t i = 0;
    for (auto _ : state) {
        CLOG_RECORD(LL_DEBUG, LS_COMMS, kPlace, 42, "BM_Suppressed_Pdulog") << "value " << ++i;
        benchmark::ClobberMemory();
    }
    CLog::Shutdown();
}
BENCHMARK(BM_Suppressed_Pdulog);

#ifdef PDULOG_BENCH_SPDLOG
void BM_Suppressed_SpdlogDebug(benchmark::State& state)
{
    auto logger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::warn);
    int64_t i = 0;
    for (auto _ : state) {
        logger->debug("value {}", ++i);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Suppressed_SpdlogDebug);
#endif

#ifdef PDULOG_BENCH_GLOG
void BM_Suppressed_GlogInfo(benchmark::State& state)
{
    FLAGS_minloglevel = google::GLOG_ERROR;
    int64_t i = 0;
    for (auto _ : state) {
        LOG(INFO) << "value " << ++i;
        benchmark::ClobberMemory();
    }
    FLAGS_minloglevel = 0;
}
BENCHMARK(BM_Suppressed_GlogInfo);

void BM_Suppressed_GlogVlog(benchmark::State& state)
{
    FLAGS_v = 0;
    int64_t i = 0;
    for (auto _ : state) {
        VLOG(2) << "value " << ++i;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Suppressed_GlogVlog);
#endif

// ---- emitted to a file, flushed after every record -----------------------------------

// A record as the library writes it, for the floor's line of the same length.
std::string SampleRecord()
{
    const std::string path = Path("sample.log");
    std::FILE* file = std::fopen(path.c_str(), "w");
    CLog::SetPipe(file);
    int32_t levels[19];
    for (int32_t& l : levels)
        l = LL_DEBUG3;
    CLog::UseExternalLevels(levels);
    CLOG_RECORD(LL_INFO, LS_COMMS, kPlace, 42, "BM_Emitted_Pdulog") << "value " << 1000000;
    CLog::ReleaseExternalLevels();
    CLog::Shutdown();
    std::FILE* in = std::fopen(path.c_str(), "r");
    char line[512] = {};
    std::fgets(line, sizeof line, in);
    std::fclose(in);
    return line;
}

// The tightest floor: a finished line copied into the stream and flushed (the compiler makes
// this fprintf an fputs: nothing is formatted).
void BM_Emitted_Floor(benchmark::State& state)
{
    const std::string line = SampleRecord();
    std::FILE* file = std::fopen(Path("floor.log").c_str(), "w");
    for (auto _ : state) {
        std::fprintf(file, "%s", line.c_str());
        std::fflush(file);
    }
    std::fclose(file);
    state.counters["bytes/record"] = static_cast<double>(line.size());
}
BENCHMARK(BM_Emitted_Floor);

// The same fields formatted by fprintf, one conversion each, then flushed.
void BM_Emitted_FprintfFields(benchmark::State& state)
{
    std::FILE* file = std::fopen(Path("fields.log").c_str(), "w");
    int64_t i = 1000000;
    for (auto _ : state) {
        std::fprintf(file, "%s%s%5x:%s:%d:%s:%s%lld\n", "10:11:12.123", " INFO   ", 0x1a2b, kPlace, 42,
                     "BM_Emitted_Pdulog", "value ", static_cast<long long>(++i));
        std::fflush(file);
    }
    std::fclose(file);
}
BENCHMARK(BM_Emitted_FprintfFields);

// Below every logger: the finished bytes in one write of the system's.
void BM_Emitted_RawWrite(benchmark::State& state)
{
    const std::string line = SampleRecord();
    std::FILE* file = std::fopen(Path("raw.log").c_str(), "w");
    for (auto _ : state)
        benchmark::DoNotOptimize(::write(::fileno(file), line.data(), line.size()));
    std::fclose(file);
}
BENCHMARK(BM_Emitted_RawWrite);

// Eight threads on one stream to a regular file: the floor is fprintf and fflush on the
// shared FILE*, whose own lock keeps each line whole.
std::FILE* g_shared = nullptr;

void BM_Emitted8_Floor(benchmark::State& state)
{
    static std::string line;
    if (state.thread_index() == 0) {  // before the loop's start, which every thread waits for
        line = SampleRecord();
        g_shared = std::fopen(Path("shared-floor.log").c_str(), "w");
    }
    for (auto _ : state) {
        std::fprintf(g_shared, "%s", line.c_str());
        std::fflush(g_shared);
    }
    if (state.thread_index() == 0)
        std::fclose(g_shared);
}
BENCHMARK(BM_Emitted8_Floor)->Threads(8)->UseRealTime();

void BM_Emitted8_Pdulog(benchmark::State& state)
{
    if (state.thread_index() == 0) {
        CLog::Init(false);
        CLog::SetLevel(LS_COMMS, LL_DEBUG);
        CLog::SetPipe(std::fopen(Path("shared-pdulog.log").c_str(), "w"));
    }
    int64_t i = 1000000;
    for (auto _ : state)
        CLOG_RECORD(LL_INFO, LS_COMMS, kPlace, 42, "BM_Emitted_Pdulog") << "value " << ++i;
    if (state.thread_index() == 0)
        CLog::Shutdown();
}
BENCHMARK(BM_Emitted8_Pdulog)->Threads(8)->UseRealTime();

void BM_Emitted_Pdulog(benchmark::State& state)
{
    CLog::Init(false);
    CLog::SetLevel(LS_COMMS, LL_DEBUG);
    CLog::SetPipe(std::fopen(Path("pdulog.log").c_str(), "w"));
    int64_t i = 1000000;
    for (auto _ : state)
        CLOG_RECORD(LL_INFO, LS_COMMS, kPlace, 42, "BM_Emitted_Pdulog") << "value " << ++i;
    CLog::Shutdown();
}
BENCHMARK(BM_Emitted_Pdulog);

// A PDULOG site's record to the library's own init log: the record that bench/counts.sh
// counts, of about the floor's length.
struct Link {
    void Poll(int64_t id) { PDULOG(LL_INFO, LS_COMMS) << "value " << id; }
};

void BM_Emitted_PdulogSite(benchmark::State& state)
{
    setenv("TEMP", g_folder.c_str(), 1);  // the init log goes there
    CLog::Init(true);
    CLog::SetLevel(LS_COMMS, LL_DEBUG);
    Link link;
    int64_t i = 1000000;
    for (auto _ : state)
        link.Poll(++i);
    CLog::Shutdown();
}
BENCHMARK(BM_Emitted_PdulogSite);

// A pipe whose reader, a thread of its own, takes everything written to it.
class DrainedPipe {
public:
    DrainedPipe()
    {
        if (::pipe(m_fds) != 0)
            std::abort();
        m_reader = std::thread([fd = m_fds[0]] {
            char buffer[65536];
            while (::read(fd, buffer, sizeof buffer) > 0) {}
        });
        m_writer = ::fdopen(m_fds[1], "w");
    }
    ~DrainedPipe()
    {
        m_reader.join();
        ::close(m_fds[0]);
    }
    std::FILE* Writer() const { return m_writer; }

private:
    int m_fds[2];
    std::thread m_reader;
    std::FILE* m_writer;
};

void BM_EmittedToPipe_Floor(benchmark::State& state)
{
    const std::string line = SampleRecord();
    DrainedPipe pipe;
    for (auto _ : state) {
        std::fprintf(pipe.Writer(), "%s", line.c_str());
        std::fflush(pipe.Writer());
    }
    std::fclose(pipe.Writer());
}
BENCHMARK(BM_EmittedToPipe_Floor);

void BM_EmittedToPipe_Pdulog(benchmark::State& state)
{
    CLog::Init(false);
    CLog::SetLevel(LS_COMMS, LL_DEBUG);
    DrainedPipe pipe;
    CLog::SetPipe(pipe.Writer());
    int64_t i = 1000000;
    for (auto _ : state)
        CLOG_RECORD(LL_INFO, LS_COMMS, kPlace, 42, "BM_Emitted_Pdulog") << "value " << ++i;
    CLog::Shutdown();  // closes the pipe: its reader ends
}
BENCHMARK(BM_EmittedToPipe_Pdulog);

#ifdef PDULOG_BENCH_SPDLOG
void BM_Emitted_Spdlog(benchmark::State& state)
{
    auto logger = spdlog::basic_logger_mt("bench-file", Path("spdlog.log"), true);
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    int64_t i = 1000000;
    for (auto _ : state)
        logger->info("value {}", ++i);
    spdlog::drop("bench-file");
}
BENCHMARK(BM_Emitted_Spdlog);
#endif

#ifdef PDULOG_BENCH_GLOG
void BM_Emitted_Glog(benchmark::State& state)
{
    FLAGS_logbufsecs = 0;
    FLAGS_minloglevel = 0;
    int64_t i = 1000000;
    for (auto _ : state)
        LOG(INFO) << "value " << ++i;
}
BENCHMARK(BM_Emitted_Glog);
#endif

}  // namespace

int main(int argc, char** argv)
{
    g_folder = bench::PrivateAppData();
#ifdef PDULOG_BENCH_GLOG
    FLAGS_log_dir = g_folder;
    FLAGS_logtostderr = false;
    FLAGS_stderrthreshold = google::GLOG_FATAL;
    google::InitGoogleLogging("bench_records");
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_folder);
    return 0;
}
