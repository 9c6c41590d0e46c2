// The statistics and the X-bar and s chart of a lot of 10,000 records of 50
// values each (500,000 values): what selecting them in the Inspection window
// or a --report costs once the records are read. Goal: <= 100 ms.
//   build/bench/lot_bench
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "inspect/lot.h"

namespace {

std::vector<tolvane::Record> lot_of(size_t records, size_t values) {
    std::mt19937 random(25);
    std::normal_distribution<double> spread(25.0, 0.004);
    std::vector<tolvane::Record> lot(records);
    for (tolvane::Record& record : lot) {
        record.description = "Shaft D25";
        for (size_t i = 0; i < values; ++i) {
            char text[32];
            std::snprintf(text, sizeof text, "%.4f", spread(random));
            record.values.push_back({text, tolvane::Number::parse(text)});
        }
    }
    return lot;
}

void BM_Lot(benchmark::State& state) {
    const std::vector<tolvane::Record> lot = lot_of(static_cast<size_t>(state.range(0)), 50);
    const tolvane::Limits limits{24.99, 25.01};
    for (auto _ : state) {
        const tolvane::LotStatistics statistics = tolvane::compute_lot(lot, limits);
        benchmark::DoNotOptimize(statistics.cpk);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Lot)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
