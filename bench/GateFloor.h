// The floor of a suppressed record, shared by the benchmarks that compare a gate with it:
// a null test, one load from a MAP_SHARED mapping and a compare, per iteration.
#pragma once

#include "CLog.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace bench {

inline void GateFloor(benchmark::State& state, const int32_t* view)
{
    const volatile int32_t* volatile slots = view;  // in memory, re-read as the gate's pointer is
    int64_t made = 0;
    for (auto _ : state) {
        const volatile int32_t* s = slots;
        if (s != nullptr && s[LS_COMMS] >= LL_DEBUG)
            ++made;
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(made);
}

}  // namespace bench
