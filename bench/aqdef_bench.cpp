// The AQDEF export of 10,000 records of 100 values each (1,000,000 values)
// of two characteristics, from the records read to the file's bytes; with
// writing them through a temporary name too (BM_AqdefToFile). Goal: <= 2 s.
//   build/bench/aqdef_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "posix/posix_file_system.h"
#include "quality/aqdef.h"

namespace {

tolvane::Lot lot_of(size_t records, size_t values) {
    std::mt19937 random(25);
    std::normal_distribution<double> spread(25.0, 0.004);
    tolvane::Lot lot;
    const tolvane::ToleranceEntry shaft{"Shaft D25*", 25.0, -0.021, 0.012};
    const tolvane::ToleranceEntry hub{"Hub", 25.0, -0.05, 0.05};
    for (size_t r = 0; r < records; ++r) {
        tolvane::Record record;
        record.time = tolvane::LocalDateTime{2026, 12, 1 + int(r / 1440 % 28), int(r / 60 % 24), int(r % 60), 7};
        record.description = r % 2 ? "Hub" : "Shaft D25 lot 17";
        for (size_t i = 0; i < values; ++i) {
            char text[32];
            std::snprintf(text, sizeof text, "%.4f", spread(random));
            record.values.push_back({text, tolvane::Number::parse(text)});
        }
        record.value_count = values;
        lot.records.push_back(std::move(record));
        lot.numbers.push_back(r + 1);
        lot.tolerances.push_back(r % 2 ? hub : shaft);
    }
    return lot;
}

void BM_Aqdef(benchmark::State& state) {
    const tolvane::Lot lot = lot_of(10000, 100);
    const std::string station = "bench-a";
    for (auto _ : state) {
        const tolvane::AqdefFile file = tolvane::aqdef_file(lot, std::span(&station, 1), {"lot", "all"});
        benchmark::DoNotOptimize(file.bytes.data());
        state.counters["MB"] = double(file.bytes.size()) / 1e6;
    }
}
BENCHMARK(BM_Aqdef)->Unit(benchmark::kMillisecond);

void BM_AqdefToFile(benchmark::State& state) {
    const tolvane::Lot lot = lot_of(10000, 100);
    const std::string station = "bench-a";
    const std::string out = (std::filesystem::temp_directory_path() / "tolvane-aqdef-bench.dfq").string();
    tolvane::PosixFileSystem files;
    for (auto _ : state) {
        const tolvane::AqdefFile file = tolvane::aqdef_file(lot, std::span(&station, 1), {"lot", "all"});
        if (!files.replace(out, file.bytes).ok()) state.SkipWithError("cannot write");
    }
    std::filesystem::remove(out);
}
BENCHMARK(BM_AqdefToFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
