#include "records/backup_rows.h"

#include <algorithm>

#include "records/backup_file.h"
#include "records/cp1252.h"
#include "records/field_scan.h"

namespace tolvane {

std::string loaded_row(const Field& field, ClockLocale& clock) {
    if (!field.quoted) {
        if (const auto when = parse_date_time_field(field.text))
            return clock.general_date_time(*when);
    }
    return cp1252_to_utf8(field.text);
}

std::unique_ptr<BackupRows> BackupRows::open(std::unique_ptr<ReadableFile> file,
                                             ClockLocale& clock, Tuning tuning) {
    FieldScan indexer(*file, {tuning.rows_per_block, tuning.read_chunk, false, {}});
    if (!indexer.run()) return nullptr;
    std::unique_ptr<BackupRows> rows(new BackupRows(std::move(file), clock, tuning.rows_per_block));
    rows->rows_ = indexer.fields;
    rows->end_ = indexer.end;
    rows->starts_ = std::move(indexer.block_starts);
    rows->starts_.shrink_to_fit();
    return rows;
}

const BackupRows::Block& BackupRows::block(size_t index) {
    for (const Block& b : cache_)
        if (b.index == index) return b;
    Block& b = cache_[next_victim_];
    next_victim_ = (next_victim_ + 1) % cache_.size();
    b.index = index;
    b.rows.clear();

    const uint64_t from = starts_[index];
    const uint64_t to = index + 1 < starts_.size() ? starts_[index + 1] : end_;
    std::string bytes(static_cast<size_t>(to - from), '\0');
    size_t got = 0;
    if (!file_->read_at(from, bytes, got).ok() || got != bytes.size()) return b;
    // The block must still hold exactly its fields; otherwise the file was
    // changed under us and its rows are shown empty.
    const size_t expected = std::min<size_t>(rows_per_block_, rows_ - index * rows_per_block_);
    FieldReader reader(bytes);
    std::vector<std::string> rows;
    rows.reserve(expected);
    while (rows.size() < expected && !reader.at_end())
        rows.push_back(loaded_row(reader.next_field(), clock_));
    if (rows.size() == expected && reader.at_end()) b.rows = std::move(rows);
    return b;
}

std::string BackupRows::row(size_t i) {
    const Block& b = block(i / rows_per_block_);
    const size_t at = i % rows_per_block_;
    return at < b.rows.size() ? b.rows[at] : std::string();
}

}  // namespace tolvane
