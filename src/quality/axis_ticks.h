#pragma once

#include <string>
#include <vector>

#include "quality/display_number.h"

namespace tolvane {

// The ticks of a chart's value axis: from `from` to `to` in `intervals`
// steps of 1, 2 or 5 × 10^k, each tick a whole multiple of the step, all
// labelled in one form. However wide or narrow the range, a chart lays out
// intervals + 1 ticks and no more.
struct AxisTicks {
    double from = 0, to = 1, step = 1;
    int intervals = 1;
    NumberForm form;

    std::vector<double> values() const;
    std::vector<std::string> labels(const NumberSymbols& symbols) const;
};

// The ticks of an axis that shows [low, high] in at most `most` intervals
// (1 to 20). A range with no width (one value, equal values, or widths lost
// in the doubles' precision) is widened around its value; a range that is
// not finite becomes [0, 1]. A range that starts at 0 or above never gets a
// tick below 0.
AxisTicks axis_ticks(double low, double high, int most);

// The ticks of a logarithmic axis that shows the values [low, high] (both
// above 0). The axis runs from the decade at or below `low` to the one at or
// above `high`; it has a labelled tick at every decade in it, or at every
// 2nd, 3rd, 5th, 10th... (whole multiples of that) so that there are at most
// `most` (2 to 20), and 2 and 5 × 10^k between every two decades too while
// all ticks together stay within `most`. The labels are plain numbers in
// their own shortest form while every tick lies between 10^-4 and 10^7, else
// all scientific ("2E+03"). A low or high that is not a finite value above 0
// takes the other's (1 and 10 when both are not).
struct LogTicks {
    int from_decade = 0, to_decade = 1;  // the axis, as log10 of its ends
    std::vector<double> values;          // every tick, ascending
    bool scientific = false;             // the labels' form

    std::vector<std::string> labels(const NumberSymbols& symbols) const;
};
LogTicks log_ticks(double low, double high, int most);

}  // namespace tolvane
