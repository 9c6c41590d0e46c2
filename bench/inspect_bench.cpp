// The inspection's speed on a databac.txt of years.
//   cmake --build build --target inspect_bench tolvane
//   bench/inspect_bench.sh build     (makes a 10,000,000-line file in /tmp)
// or its parts:
//   build/bench/inspect_bench make FILE LINES VALUES_PER_RECORD
//   build/bench/inspect_bench open FILE follower|backup   (time, peak RSS)
//   build/bench/inspect_bench append FILE                 (cost of one record)
//   build/bench/inspect_bench judge FILE                  (the Control column: every record
//                                                         judged against frozen limits)
//   build/bench/inspect_bench                             (statistics, Google Benchmark)
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/fake_controls.h"
#include "fakes/fake_tolerance_settings.h"
#include "quality/control_track.h"
#include "posix/posix_file_system.h"
#include "quality/statistics.h"
#include "records/backup_file.h"
#include "records/backup_rows.h"
#include "records/record_follower.h"

namespace {

using namespace tolvane;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string record_bytes(int64_t values, int64_t n) {
    std::string bytes = "#2026-12-06 05:54:07#\r\n\"Sample A\"\r\n";
    for (int64_t v = 0; v < values; ++v)
        bytes += std::to_string(345000 + (n + v) % 7) + "\r\n";
    return bytes;
}

int make(const char* file, int64_t lines, int64_t values) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << kBackupHeader;
    std::string chunk;
    for (int64_t line = 1, n = 0; line < lines; ++n) {
        const int64_t take = std::min(values, lines - line - 2);
        chunk += record_bytes(std::max<int64_t>(take, 0), n);
        line += 2 + std::max<int64_t>(take, 0);
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
    return out.good() ? 0 : 1;
}

// Reads as the window does: 4 MiB a step.
void index_all(RecordFollower& follower) {
    do {
        follower.poll(4 << 20);
    } while (follower.pending());
}

int open(const char* file, const std::string& how) {
    PosixFileSystem files;
    const auto start = Clock::now();
    size_t count = 0;
    std::unique_ptr<BackupRows> rows;
    std::unique_ptr<RecordFollower> follower;
    if (how == "backup") {
        testing::FakeClock clock;
        Status failure = Status::success();
        rows = BackupRows::open(files.open_readable(file, failure), clock);
        count = rows ? rows->row_count() : 0;
    } else {
        follower = std::make_unique<RecordFollower>(files, file);
        index_all(*follower);
        // What the window shows first: the newest record.
        count = follower->record(follower->record_count() - 1) ? follower->record_count() : 0;
    }
    std::printf("%-8s %10zu %s  %.3f s  peak RSS %.1f MB\n", how.c_str(), count,
                how == "backup" ? "rows   " : "records", seconds_since(start), peak_rss_mb());
    return count ? 0 : 1;
}

int append(const char* file) {
    PosixFileSystem files;
    RecordFollower follower(files, file);
    index_all(follower);
    constexpr int kTimes = 1000;
    double total = 0;
    for (int i = 0; i < kTimes; ++i) {
        const std::string bytes = record_bytes(100, i);
        if (!files.append(file, bytes, {}).ok()) return 1;
        const size_t before = follower.record_count();
        const auto start = Clock::now();
        const auto change = follower.poll(4 << 20);
        const auto newest = follower.record(before);
        total += seconds_since(start);
        if (follower.pending() || change.count != before + 1 || !newest) return 1;
    }
    std::printf("append   one 100-value record: poll and read it %.1f us (mean of %d)\n",
                total / kTimes * 1e6, kTimes);
    return 0;
}

// Frozen limits for the records make() writes (values 345000 .. 345006).
testing::MemoryToleranceSettings sample_limits() {
    FrozenControl c;
    c.sigma_method = FrozenControl::Sigma::kPooled;
    c.centre = 345003;
    c.sigma_within = 2;
    c.s_bar = 2;
    testing::MemoryToleranceSettings settings;
    settings.user = {{"Sample*", std::nullopt, 345000.0, 345005.0, c}};
    return settings;
}

// As the window fills the Control column: the records read in ranges and
// judged in file order, after the index is built.
int judge(const char* file) {
    PosixFileSystem files;
    RecordFollower follower(files, file);
    const auto start = Clock::now();
    index_all(follower);
    const double indexed = seconds_since(start);
    testing::MemoryToleranceSettings settings = sample_limits();
    const Tolerances tolerances(settings);
    ControlTrack track(tolerances);
    size_t alarming = 0;
    const auto judging = Clock::now();
    bool whole = true;
    while (whole && track.judged() < follower.record_count())
        whole = follower.read_records(track.judged(), 65536, [&](size_t, std::optional<Record> r) {
            if (r && track.judge(*r).alarming()) ++alarming;
        });
    const double judged = seconds_since(judging);
    std::printf("judge    %10zu records: indexed in %.3f s, judged in %.3f s (%.0f ns a record), "
                "%zu alarming; peak RSS %.1f MB\n",
                track.judged(), indexed, judged, judged / double(track.judged()) * 1e9, alarming,
                peak_rss_mb());
    return whole && track.judged() == follower.record_count() ? 0 : 1;
}

// One 100-value record judged: O(its values) plus the patterns.
void BM_JudgeRecord100(benchmark::State& state) {
    const Record record = parse_record(record_bytes(100, 0));
    testing::MemoryToleranceSettings settings = sample_limits();
    const Tolerances tolerances(settings);
    ControlTrack track(tolerances);
    for (auto _ : state) {
        benchmark::DoNotOptimize(track.judge(record));
        if (track.judged() > 1000000) track.reset();
    }
}
BENCHMARK(BM_JudgeRecord100)->Unit(benchmark::kMicrosecond);

// The statistics of one 100-value record against limits, from its bytes.
void BM_Statistics100(benchmark::State& state) {
    const Record record = parse_record(record_bytes(100, 0));
    const Limits limits{345001, 345005};
    for (auto _ : state) {
        const std::vector<Number> numbers = record.numbers();
        benchmark::DoNotOptimize(compute_statistics(numbers, limits));
    }
}
BENCHMARK(BM_Statistics100)->Unit(benchmark::kMicrosecond);

void BM_ParseAndStatistics100(benchmark::State& state) {
    const std::string bytes = record_bytes(100, 0);
    const Limits limits{345001, 345005};
    for (auto _ : state) {
        const std::vector<Number> numbers = parse_record(bytes).numbers();
        benchmark::DoNotOptimize(compute_statistics(numbers, limits));
    }
}
BENCHMARK(BM_ParseAndStatistics100)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "make") == 0)
        return make(argv[2], std::stoll(argv[3]), std::stoll(argv[4]));
    if (argc == 4 && std::strcmp(argv[1], "open") == 0) return open(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "append") == 0) return append(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "judge") == 0) return judge(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
