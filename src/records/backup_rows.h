#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/readable_file.h"
#include "platform/window_controls.h"
#include "records/field_reader.h"

namespace tolvane {

// A field's row in lst_backup when the list is filled from the file: a time
// stamp as the regional general date-and-time text, any other field as
// stored (quotes removed, Windows-1252 made UTF-8).
std::string loaded_row(const Field& field, ClockLocale& clock);

// The rows of databac.txt as the backup list shows them, one per field,
// read from the file only when the list draws them.
//
// Opening reads the file once and keeps only where every block of
// rows_per_block fields starts: a file of years costs a few megabytes, not
// its size. A row is then read by reading and parsing its block again (the
// last two blocks read are kept). The file stays open, so a file replaced or
// deleted by another program still shows what was loaded; a block read after
// its bytes changed or went (the file cut short) shows empty rows, never
// bytes that were not loaded.
class BackupRows final : public RowSource {
  public:
    struct Tuning {
        size_t rows_per_block = 128;
        size_t read_chunk = 256 * 1024;  // bytes read at a time while opening
    };

    // nullptr when the file cannot be read to its end.
    static std::unique_ptr<BackupRows> open(std::unique_ptr<ReadableFile> file,
                                            ClockLocale& clock, Tuning tuning);
    static std::unique_ptr<BackupRows> open(std::unique_ptr<ReadableFile> file,
                                            ClockLocale& clock) {
        return open(std::move(file), clock, Tuning{});
    }

    size_t row_count() const override { return rows_; }
    std::string row(size_t i) override;

  private:
    struct Block {
        size_t index = SIZE_MAX;
        std::vector<std::string> rows;  // empty when it could not be read
    };

    BackupRows(std::unique_ptr<ReadableFile> file, ClockLocale& clock, size_t rows_per_block)
        : file_(std::move(file)), clock_(clock), rows_per_block_(rows_per_block) {}
    const Block& block(size_t index);

    std::unique_ptr<ReadableFile> file_;
    ClockLocale& clock_;
    size_t rows_per_block_;
    uint64_t rows_ = 0;
    uint64_t end_ = 0;              // the file's size when it was read
    std::vector<uint64_t> starts_;  // offset of the first field of each block
    // The two blocks read last: the few rows in view often straddle two.
    std::array<Block, 2> cache_;
    size_t next_victim_ = 0;
};

}  // namespace tolvane
