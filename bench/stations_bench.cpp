// Opening several stations' databac.txt files as one list against one file
// of as many lines: time and peak RSS.
//   cmake --build build --target stations_bench
//   bench/stations_bench.sh build   (1 x 10,000,000 lines against 10 x 1,000,000)
// or its parts:
//   build/bench/stations_bench make FILE LINES FIRST_SECOND   (a record every 10 s)
//   build/bench/stations_bench open FILE...                   (time, peak RSS)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "posix/posix_file_system.h"
#include "records/backup_file.h"
#include "records/station_records.h"

namespace {

using namespace tolvane;
using Clock = std::chrono::steady_clock;

// One value a record (3 lines): the most records the lines can hold. The
// stations' clocks interleave: each starts at its own second.
int make(const char* file, int64_t lines, int64_t first_second) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << kBackupHeader;
    std::string chunk;
    LocalDateTime t{2026, 1, 1, 0, 0, 0};
    for (int64_t line = 1, n = 0; line + 3 <= lines; line += 3, ++n) {
        const int64_t s = first_second + n * 10;
        t.day = 1 + static_cast<int>(s / 86400 % 28);
        t.month = 1 + static_cast<int>(s / (86400 * 28) % 12);
        t.hour = static_cast<int>(s / 3600 % 24);
        t.minute = static_cast<int>(s / 60 % 60);
        t.second = static_cast<int>(s % 60);
        chunk += date_time_field(t) + "\r\n\"Sample A\"\r\n" + std::to_string(345000 + n % 7) +
                 "\r\n";
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
    return out.good() ? 0 : 1;
}

int open(const std::vector<std::string>& paths) {
    PosixFileSystem files;
    std::vector<StationFile> stations;
    for (const std::string& path : paths) stations.push_back({path, path});
    const auto start = Clock::now();
    StationRecords records(files, stations);
    size_t polls = 0;
    do {
        records.poll(4 << 20);  // as the window reads: 4 MiB a step
        ++polls;
    } while (records.pending());
    const bool newest = records.record_count() > 0 && records.record(records.record_count() - 1);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // CPU time too: on a shared machine the wall clock says less.
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    std::printf("%2zu file(s) %10zu records  %.3f s (CPU %.3f s)  peak RSS %.1f MB  (%zu polls)\n",
                paths.size(), records.record_count(),
                std::chrono::duration<double>(Clock::now() - start).count(),
                seconds(usage.ru_utime) + seconds(usage.ru_stime),
                static_cast<double>(usage.ru_maxrss) / 1024.0, polls);
    return newest ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "make") == 0)
        return make(argv[2], std::stoll(argv[3]), std::stoll(argv[4]));
    if (argc >= 3 && std::strcmp(argv[1], "open") == 0)
        return open(std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "usage: stations_bench make FILE LINES FIRST_SECOND | open FILE...\n");
    return 2;
}
