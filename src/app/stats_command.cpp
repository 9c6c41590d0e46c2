#include "app/stats_command.h"

#include "posix/posix_file_system.h"
#include "qt/qt_tolerance_settings.h"
#include "quality/stats_csv.h"
#include "quality/tolerances.h"
#include "records/record_follower.h"

namespace tolvane {

int print_stats(const std::string& file, std::FILE* out, std::FILE* err) {
    PosixFileSystem files;
    RecordFollower follower(files, file, {1 << 20});
    do {
        follower.poll(SIZE_MAX);
    } while (follower.pending());
    if (follower.state() == RecordFollower::State::kMissing) {
        std::fprintf(err, "tolvane: %s: No such file or directory\n", file.c_str());
        return 1;
    }
    if (follower.state() == RecordFollower::State::kUnreadable) {
        std::fprintf(err, "tolvane: %s: %s\n", file.c_str(), follower.problem().c_str());
        return 1;
    }

    // The polling window writes a record in one append; a line without its
    // end is one being written now, or cut short: not a figure to report.
    if (follower.indexed_bytes() < follower.file_size())
        std::fprintf(err, "tolvane: %s: the last line has no line end yet and is left out\n",
                     file.c_str());

    QtToleranceSettings settings;
    const Tolerances tolerances(settings);
    std::string text = stats_csv_header();
    // A few thousand records at a time: one read each, and the output in
    // large writes.
    constexpr size_t kBatch = 4096;
    bool read = true;
    for (size_t first = 0; read && first < follower.record_count(); first += kBatch) {
        read = follower.read_records(first, kBatch, [&](size_t i, std::optional<Record> record) {
            if (!record) {
                read = false;
                return;
            }
            if (record->values_cut())
                std::fprintf(err, "tolvane: %s: record %zu has %zu values; only the first %zu are used\n",
                             file.c_str(), i + 1, record->value_count, record->values.size());
            const auto match = tolerances.find(record->description.value_or(""));
            text += stats_csv_line(*record, match ? match->limits : Limits{});
        });
        if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) read = false;
        text.clear();
    }
    if (read) read = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fflush(out) != 0 || !read) {
        std::fprintf(
            err, "tolvane: %s: %s\n", file.c_str(),
            read ? "the statistics could not be written" : "the file changed while it was read");
        return 1;
    }
    return 0;
}

}  // namespace tolvane
