// What the benchmark programs share: results in microseconds, and with
// --benchmark_repetitions=N the min of the repetitions beside their mean and
// median (these machines are shared: the min is the steadiest figure).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

namespace bench_stats {

inline double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

inline void Register(std::initializer_list<std::pair<const char*, void (*)(benchmark::State&)>> benchmarks) {
    for (auto [name, fn] : benchmarks)
        benchmark::RegisterBenchmark(name, fn)
            ->Unit(benchmark::kMicrosecond)
            ->ComputeStatistics("min", Min)
            ->ReportAggregatesOnly(false);
}

}  // namespace bench_stats
