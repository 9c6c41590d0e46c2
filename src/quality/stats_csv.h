#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quality/tolerances.h"
#include "records/record.h"

namespace tolvane {

// The lines of `tolvane --stats`: CSV (RFC 4180) for programs, one line per
// record, numbers always with a point and as many digits as read back the
// same double, empty where a figure does not exist. Lines end with LF.

// "time,description,n,mean,sd,min,max,range,lsl,usl,low,high,pp,ppk\n"
std::string stats_csv_header();

// The record's line with the limits of its description (none: `limits`
// empty).
std::string stats_csv_line(const Record& record, const Limits& limits);

// A CSV field, its control characters replaced as printable_text() does:
// quoted (quotes doubled) when it holds a comma or a quote, else as is.
std::string csv_field(std::string_view text);

}  // namespace tolvane
