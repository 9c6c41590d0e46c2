#include "app/stats_command.h"

#include <map>
#include <unordered_map>

#include "posix/posix_file_system.h"
#include "qt/qt_tolerance_settings.h"
#include "quality/control_limits.h"
#include "quality/special_causes.h"
#include "quality/stats_csv.h"
#include "quality/tolerances.h"
#include "records/station_records.h"

namespace tolvane {

int print_stats(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    PosixFileSystem files;
    const StationFiles stations = station_files(files, arguments);
    if (!stations.error.empty()) {
        std::fprintf(err, "tolvane: %s\n", stations.error.c_str());
        return 1;
    }
    StationRecords records(files, stations.files, {1 << 20});
    do {
        records.poll(SIZE_MAX);
    } while (records.pending());
    const std::vector<StationRecords::Station> each_station = records.stations();
    for (const StationRecords::Station& station : each_station) {
        const char* file = station.path.c_str();
        if (station.state == RecordFollower::State::kMissing) {
            std::fprintf(err, "tolvane: %s: No such file or directory\n", file);
            return 1;
        }
        if (station.state == RecordFollower::State::kUnreadable) {
            std::fprintf(err, "tolvane: %s: %s\n", file, station.problem.c_str());
            return 1;
        }
    }
    // The polling window writes a record in one append; a line without its
    // end is one being written now, or cut short: not a figure to report.
    for (const StationRecords::Station& station : each_station)
        if (station.indexed_bytes < station.file_size)
            std::fprintf(err, "tolvane: %s: the last line has no line end yet and is left out\n",
                         station.path.c_str());
    const bool several = each_station.size() > 1;
    const std::string file = several ? std::string("the stations' files") : each_station[0].path;

    QtToleranceSettings settings;
    const Tolerances tolerances(settings);
    // Each characteristic's records are judged in file order against its
    // frozen limits, by one judge each; a description is matched once.
    std::map<std::string, ControlJudge> judges;
    struct Found {
        Limits limits;
        ControlJudge* judge = nullptr;
        Scale scale = Scale::kLinear;
    };
    std::unordered_map<std::string, Found> found;
    const auto characteristic = [&](const std::string& description) -> const Found& {
        if (const auto it = found.find(description); it != found.end()) return it->second;
        Found f;
        if (const auto match = tolerances.find(description)) {
            f.limits = match->limits;
            f.scale = match->entry.scale;
            if (const std::optional<FrozenControl>& control = match->entry.control) {
                TestSet tests;
                for (const int t : control->tests) tests.set(t, true);
                f.judge = &judges.try_emplace(match->entry.pattern, limits_kept(*control), tests)
                               .first->second;
            }
        }
        return found.emplace(description, f).first->second;
    };
    // The output in large writes.
    constexpr size_t kWriteAt = 1 << 20;
    std::string text = stats_csv_header();
    // Several stations: each line names its own, last.
    const auto add_station = [&](size_t station) {
        if (!several) return;
        text.insert(text.size() - 1, "," + csv_field(each_station[station].name));
    };
    if (several) text.insert(text.size() - 1, ",station");
    bool written = true;
    const auto write = [&] {
        written = written && std::fwrite(text.data(), 1, text.size(), out) == text.size();
        text.clear();
    };
    const bool read = records.read_all_records([&](size_t i, Record&& record) {
        if (record.values_cut() && !several)
            std::fprintf(err, "tolvane: %s: record %zu has %zu values; only the first %zu are used\n",
                         file.c_str(), i + 1, record.value_count, record.values.size());
        else if (record.values_cut())
            std::fprintf(err,
                         "tolvane: %s: the record of %s has %zu values; only the first %zu are used\n",
                         each_station[records.station_of(i)].path.c_str(), record.time_text.c_str(),
                         record.value_count, record.values.size());
        const Found f = characteristic(record.description.value_or(""));
        text += stats_csv_line(record, f.limits, f.judge, f.scale);
        add_station(records.station_of(i));
        if (text.size() >= kWriteAt) write();
    });
    write();
    written = std::fflush(out) == 0 && written;
    if (!read || !written) {
        std::fprintf(
            err, "tolvane: %s: %s\n", file.c_str(),
            read ? "the statistics could not be written" : "the file changed while it was read");
        return 1;
    }
    return 0;
}

}  // namespace tolvane
