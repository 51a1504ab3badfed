// The utilities a D-PDU API implementation calls on its hot paths: the hex dump of a 64 KiB
// buffer (per row) and the two formatting helpers (per call).
#include "CHex.h"
#include "CUtil.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_CHex_64KiB(benchmark::State& state)
{
    std::vector<uint8_t> data(64 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 31);
    for (auto _ : state) {
        CHex hex(data.data(), static_cast<uint32_t>(data.size()));
        benchmark::DoNotOptimize(&hex);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(data.size() / 16));  // rows
}
BENCHMARK(BM_CHex_64KiB);

void BM_EnumToString(benchmark::State& state)
{
    uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(EnumToString(ErrorNames, value));
        value = (value + 0x11) & 0xFF;  // hits and misses
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnumToString);

void BM_HandleToString(benchmark::State& state)
{
    uint32_t handle = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(HandleToString(handle));
        handle = handle * 2654435761u + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleToString);

}  // namespace

BENCHMARK_MAIN();
