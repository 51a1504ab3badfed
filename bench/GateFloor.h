// The floor of a suppressed record, shared by the benchmarks that compare a gate with it:
// a hand-written gate, per iteration a null test, one load from a MAP_SHARED mapping and a
// compare that branches around a call, as every gate must branch around its record.
#pragma once

#include "CLog.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace bench {

// What the floor's gate guards: out of line and cold, as a record is at a site, so that
// the branch stays a branch and nothing of the record sits in the hot path.
__attribute__((noinline, cold)) inline void FloorRecord(int64_t& made)
{
    ++made;
    benchmark::ClobberMemory();
}

inline void GateFloor(benchmark::State& state, const int32_t* view)
{
    const volatile int32_t* volatile slots = view;  // in memory, re-read as the gate's pointer is
    int64_t made = 0;
    for (auto _ : state) {
        const volatile int32_t* s = slots;
        if (s != nullptr && s[LS_COMMS] >= LL_DEBUG)
            FloorRecord(made);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(made);
}

}  // namespace bench
