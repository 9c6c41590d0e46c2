// The statistics and the X-bar and s chart of a lot of 10,000 records of 50
// values each (500,000 values): what selecting them in the Inspection window
// or a --report costs, once the records are read (BM_Lot) and with reading
// them from databac.txt as the window does (BM_LotFromFile). Goal: <= 100 ms.
// And the figures of one record of 100 values beyond the arithmetic ones
// (the scale's, the percentile method, Anderson-Darling): BM_Fit, on the
// linear scale (0) and the log one (1), and of a lot's 500,000. Goal: <= 1 ms
// for the record.
//   build/bench/lot_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "posix/posix_file_system.h"
#include "quality/lot.h"
#include "records/record_follower.h"

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
        tolvane::LotStatistics statistics = tolvane::compute_lot(lot, limits);
        benchmark::DoNotOptimize(statistics.cpk);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Lot)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LotFromFile(benchmark::State& state) {
    const auto records = static_cast<size_t>(state.range(0));
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "tolvane-lot-bench-databac.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "\"Backup Data\"\r\n";
        for (const tolvane::Record& record : lot_of(records, 50)) {
            out << "#2026-12-06 05:54:07#\r\n\"Shaft D25\"\r\n";
            for (const tolvane::RecordValue& value : record.values) out << value.text << "\r\n";
        }
    }
    tolvane::PosixFileSystem files;
    tolvane::RecordFollower follower(files, file.string());
    while (follower.poll().any() || follower.pending()) {
    }
    const tolvane::Limits limits{24.99, 25.01};
    for (auto _ : state) {
        std::vector<tolvane::Record> lot;
        lot.reserve(records);
        follower.read_records(0, records, [&](size_t, std::optional<tolvane::Record> record) {
            if (record) lot.push_back(std::move(*record));
        });
        tolvane::LotStatistics statistics = tolvane::compute_lot(lot, limits);
        benchmark::DoNotOptimize(statistics.cpk);
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LotFromFile)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Fit(benchmark::State& state) {
    std::mt19937 random(32);
    std::lognormal_distribution<double> spread(std::log(1e6), 2.0);
    std::vector<tolvane::Number> values;
    for (int64_t i = 0; i < state.range(1); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3g", spread(random));
        values.push_back(*tolvane::Number::parse(text));
    }
    const auto scale = state.range(0) ? tolvane::Scale::kLog : tolvane::Scale::kLinear;
    const tolvane::Limits limits{1e3, 1e9};
    for (auto _ : state) {
        tolvane::Fit fit = tolvane::fit_values(values, limits, scale);
        benchmark::DoNotOptimize(fit.normality);
    }
}
BENCHMARK(BM_Fit)->Args({0, 100})->Args({1, 100})->Args({0, 500000})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
