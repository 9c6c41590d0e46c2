#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quality/special_causes.h"
#include "quality/tolerances.h"
#include "records/record.h"

namespace tolvane {

// The lines of `tolvane --stats`: CSV (RFC 4180) for programs, one line per
// record, numbers always with a point and as many digits as read back the
// same double, empty where a figure does not exist. Lines end with LF.

// "time,description,n,mean,sd,min,max,range,lsl,usl,low,high,pp,ppk,
// xbar_lcl,xbar_ucl,s_lcl,s_ucl,tests,scale,gmean,gsd,ad,ad_p,pp_pct,ppk_pct\n"
std::string stats_csv_header();

// The record's line with the limits of its description (none: `limits`
// empty). With the judge of its characteristic's frozen limits, the record
// is judged by it (so call it in file order, once per record): the control
// limits at its size, and the tests it breaks ("1 5"). For individuals the
// X chart's limits, and the moving-range chart's in s_lcl and s_ucl.
//
// On the log scale (`scale` "log", else "linear") pp and ppk are the
// lognormal figures, of the logs against the logs of the limits; gmean and
// gsd are 10^ of the logs' mean and sd; the control limits are 10^ of the
// limits of the logs, to read against gmean; mean and sd stay arithmetic.
// ad and ad_p: A2* and its p-value, of the values in the scale (n >= 8);
// pp_pct and ppk_pct: the percentile method.
std::string stats_csv_line(const Record& record, const Limits& limits,
                           ControlJudge* judge = nullptr, Scale scale = Scale::kLinear);

// A CSV field, its control characters replaced as printable_text() does:
// quoted (quotes doubled) when it holds a comma or a quote, else as is.
std::string csv_field(std::string_view text);

}  // namespace tolvane
