#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock_locale.h"
#include "platform/tolerance_settings.h"
#include "quality/lot.h"
#include "records/record.h"

namespace tolvane {

// The CSV export of records for a spreadsheet or a quality department's
// tools: one row per value, UTF-8, RFC 4180 (CRLF, fields quoted where
// needed), numbers always with a point whatever the user's locale.

// "time,description,record_number,value_number,value,deviation,verdict"
std::string export_csv_header();

// The rows of one record: its time (ISO 8601), description, its number in
// the file (1 = the first), each value's number (from 1), the value, its
// deviation from the tolerance's nominal (empty without one) and "OK",
// "LOW" or "HIGH" (empty without limits). A field that is no number ("abc",
// "nan", "inf") has an empty value and deviation and the verdict
// "not a number", so that no program takes its text for a number.
void append_export_rows(std::string& out, const Record& record, size_t record_number,
                        const std::optional<ToleranceEntry>& tolerance);

// The CSV file of a lot: the header, then each record's rows with its
// number in the file and its own tolerance.
std::string lot_csv(const Lot& lot);

// The text with every control character (U+0000 to U+001F, U+007F, U+0080
// to U+009F: a NUL or a line end typed into a description by hand) replaced
// by U+FFFD, the replacement character, so that an output line stays one
// line and shows where something unprintable was.
std::string printable_text(std::string_view utf8);

// A text field, made printable: quoted when it must be, and a text that begins with '=',
// '+', '-' or '@' gets a tab in front inside the quotes, so that a
// spreadsheet keeps it as text instead of reading a formula or a number
// (LibreOffice Calc's default import shows it as text without a visible
// mark; an apostrophe would stay visible there).
std::string export_text_field(std::string_view text);

// Which records are chosen on the command line: a description (its exact
// text, or a prefix ending in '*' as for tolerances) and a time range.
struct RecordChoice {
    std::optional<std::string> description;
    std::optional<LocalDateTime> from, to;  // both included

    bool any() const { return description || from || to; }
    // `from` lies after `to`: no record can be chosen.
    bool time_range_empty() const;
    bool chooses(const Record& record) const;
};

// "2026-12-06", "2026-12-06T05:54" or "2026-12-06T05:54:07" (a space for
// the T too). A date alone is its first second, or with `end_of_day` its
// last one, so that --to 2026-12-06 includes that day. Nothing for any
// other text or an impossible date.
std::optional<LocalDateTime> parse_iso_time(std::string_view text, bool end_of_day);

}  // namespace tolvane
