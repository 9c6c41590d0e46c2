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

}  // namespace tolvane
