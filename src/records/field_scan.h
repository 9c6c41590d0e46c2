#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/readable_file.h"

namespace tolvane {

// Finds where the fields of a file end, with the same rules as FieldReader
// but 64 bytes at a time, without copying them: how the backup list and the
// inspection index a file of years in a blink. A field ends at a comma, LF,
// or CR not followed by LF (the LF of a CR LF ends it), except a quoted
// field, which runs to the last quote of its line and then to the next comma
// or line end.
class FieldScan {
  public:
    struct Options {
        size_t rows_per_block = 0;  // note every so many fields' start; 0: none
        size_t read_chunk = 256 * 1024;
        bool record_starts = false;  // note where time stamps begin
        // With record_starts: called at each with its first bytes, up to
        // kHeadBytes and never past the scan's end; empty when they are not at hand
        // (read them from the file then).
        std::function<void(std::string_view head)> record_head;
    };

    static constexpr uint64_t kHeadBytes = 64;

    FieldScan(ReadableFile& file, Options options);

    // Scans the bytes from `from` (the start of a line) up to `to`, or to the
    // file's end, whichever comes first; a file that grows meanwhile is read
    // only up to the end seen first. False when the file could not be read.
    bool run(uint64_t from = 0, uint64_t to = UINT64_MAX);

    size_t fields = 0;  // a last field without a line end counts
    uint64_t end = 0;   // where the scan stopped
    // Offset of the first field of each block of rows_per_block fields.
    std::vector<uint64_t> block_starts;
    // Offset of each field that begins (after blanks) with an unquoted '#':
    // where each record of databac.txt starts.
    std::vector<uint64_t> record_starts;

  private:
    // Points `bytes` at the file from `at` on: at least `want` bytes unless
    // the end comes first (then all that is left; none at the end).
    bool bytes_from(uint64_t at, size_t want, const char*& bytes, size_t& have);
    // Where the quoted field whose quote is at `quote` ends (at its comma or
    // line end, or the end).
    bool quoted_field_end(uint64_t quote, uint64_t& field_end);
    // Counts the fields ending at the window's `ends`, noting block starts.
    void count(uint64_t ends, uint64_t window_at);
    [[gnu::noinline]] void note_block_starts(uint64_t ends, uint64_t window_at);
    [[gnu::noinline]] void note_record_starts(const char* w, uint64_t hashes, uint64_t ends,
                                              uint64_t valid, bool blanks_only_before,
                                              uint64_t window_at);

    void hand_head(uint64_t start);

    ReadableFile& file_;
    Options options_;
    size_t to_next_block_;  // fields to end before the next block
    std::vector<char> buffer_;
    uint64_t base_ = 0;  // file offset of buffer_[0]
    size_t filled_ = 0;
    uint64_t limit_ = UINT64_MAX;  // the end, once known
};

}  // namespace tolvane
