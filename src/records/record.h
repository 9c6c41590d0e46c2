#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock_locale.h"
#include "records/number.h"

namespace tolvane {

// What a record keeps of absurd input, so that no record, line or field
// costs more than a bounded amount of memory however the file was edited:
// the instrument sends at most 256 values a record and fields of a few
// dozen bytes.
inline constexpr size_t kKeptValues = 256;        // the first ones; the rest only counted
inline constexpr size_t kKeptFieldBytes = 1024;   // a longer field is cut, and is no number
inline constexpr size_t kQuotedLineBytes = 65536; // a quoted field's line, beyond: skipped

// One field of a record after its time stamp and description.
struct RecordValue {
    std::string text;              // as stored, Windows-1252 made UTF-8
    std::optional<Number> number;  // nothing when the text is no number (an edit by hand)
};

// One record of databac.txt: the time stamp, the optional description, the
// values.
struct Record {
    // Nothing when the first field is not a valid date and time (then
    // time_text still holds it).
    std::optional<LocalDateTime> time;
    std::string time_text;                   // the first field as stored, number signs included
    std::optional<std::string> description;  // UTF-8; absent when not written
    // The first kKeptValues values.
    std::vector<RecordValue> values;
    // How many values the record has, kept or not.
    size_t value_count = 0;

    // The values kept that are numbers, in order: what the statistics take.
    std::vector<Number> numbers() const;
    // How many of the values kept are not numbers.
    size_t not_numbers() const;
    // Whether it has more values than it keeps.
    bool values_cut() const { return value_count > values.size(); }
};

// Builds a record from its bytes handed in pieces of any size (a record of
// two million values is read in steps of a few hundred KiB), with the same
// field rules as FieldReader. Memory stays within the bounds above: a field's
// text is kept up to kKeptFieldBytes (then cut, with "…"), a line that opens
// a quoted field up to kQuotedLineBytes (the rest of it is skipped).
class RecordReader {
  public:
    void add(std::string_view bytes);
    // The record of everything added; the reader is then empty again.
    Record finish();

  private:
    enum class State { kBefore, kPlain, kQuoted, kSkipLine, kAfterCr };
    void end_field(bool quoted);
    void end_quoted_line();
    void keep(std::string_view bytes);

    State state_ = State::kBefore;
    bool pending_ = false;  // bytes since the last field's end
    std::string text_;      // the field so far, up to kKeptFieldBytes + 1
    std::string line_;      // of a quoted field: its line after the quote
    size_t fields_ = 0;
    Record record_;
};

// Reads a record from its bytes (from its time stamp up to the next record)
// with the program's field rules: the first field is the time stamp, a
// quoted second field the description, every further field a value.
// RecordReader on all of them at once.
Record parse_record(std::string_view bytes);

// A number that orders date-times as time does (not a count of seconds).
inline int64_t time_order(const LocalDateTime& t) {
    return ((((int64_t{t.year} * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 + t.minute) * 60 +
           t.second;
}

// "2026-12-06T05:54:07" (local time, as stored); empty without a valid time.
std::string iso_8601(const std::optional<LocalDateTime>& time);

}  // namespace tolvane
