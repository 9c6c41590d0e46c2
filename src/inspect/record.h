#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/number.h"
#include "platform/clock_locale.h"

namespace tolvane {

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
    std::vector<RecordValue> values;

    // The values that are numbers, in order: what the statistics take.
    std::vector<Number> numbers() const;
    // How many fields are not numbers.
    size_t not_numbers() const;
};

// Reads a record from its bytes (from its time stamp up to the next record)
// with the program's field rules: the first field is the time stamp, a
// quoted second field the description, every further field a value.
Record parse_record(std::string_view bytes);

// "2026-12-06T05:54:07" (local time, as stored); empty without a valid time.
std::string iso_8601(const std::optional<LocalDateTime>& time);

}  // namespace tolvane
