#include "quality/axis_ticks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tolvane {

namespace {

// The smallest of 1, 2, 5 × 10^k that is at least `raw` (> 0).
double round_step(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power * (1 + 1e-12)) return m * power;
    return 10 * power;
}

// The next round step above `step`.
double next_step(double step) {
    return round_step(step * 1.5);
}

}  // namespace

std::vector<double> AxisTicks::values() const {
    std::vector<double> ticks;
    ticks.reserve(static_cast<size_t>(intervals) + 1);
    const double first = std::round(from / step);
    for (int i = 0; i <= intervals; ++i) {
        const double tick = (first + i) * step;
        ticks.push_back(tick == 0 ? 0.0 : tick);
    }
    return ticks;
}

std::vector<std::string> AxisTicks::labels(const NumberSymbols& symbols) const {
    std::vector<std::string> texts;
    for (const double tick : values())
        texts.push_back(display_text(tick, form, symbols));
    return texts;
}

AxisTicks axis_ticks(double low, double high, int most) {
    most = std::clamp(most, 1, 20);
    if (!std::isfinite(low) || !std::isfinite(high)) low = 0, high = 1;
    if (low > high) std::swap(low, high);
    // Widths below the precision of the values' own digits are none.
    const double magnitude = std::max(std::fabs(low), std::fabs(high));
    if (high - low <= magnitude * 1e-9) {
        const double middle = low / 2 + high / 2;
        const double room = middle == 0 ? 1 : std::fabs(middle) * 1e-3;
        const bool at_or_above_zero = low >= 0;
        low = middle - room;
        high = middle + room;
        if (at_or_above_zero) low = std::max(0.0, low);
    }
    // Halves first, so that no width overflows.
    double step = round_step(std::max((high / 2 - low / 2) * 2 / most,
                                      std::numeric_limits<double>::min()));
    AxisTicks ticks;
    for (;;) {
        // A value a rounding error beside a tick is on it.
        const double first = std::floor(low / step + 1e-9);
        const double last = std::ceil(high / step - 1e-9);
        const double intervals = std::max(1.0, last - first);
        if (intervals <= most || !std::isfinite(step)) {
            ticks.step = step;
            ticks.from = first * step;
            ticks.to = (first + intervals) * step;
            ticks.intervals = static_cast<int>(std::min<double>(intervals, most));
            break;
        }
        step = next_step(step);
    }
    if (ticks.from == 0) ticks.from = 0;  // no -0
    const std::vector<double> values = ticks.values();
    ticks.form = form_of(values);
    return ticks;
}

std::vector<std::string> LogTicks::labels(const NumberSymbols& symbols) const {
    std::vector<std::string> texts;
    for (const double tick : values)
        texts.push_back(scientific ? display_text(tick, NumberForm{true, 0}, symbols)
                                   : display_text(tick, symbols));
    return texts;
}

LogTicks log_ticks(double low, double high, int most) {
    most = std::clamp(most, 2, 20);
    const bool low_ok = std::isfinite(low) && low > 0, high_ok = std::isfinite(high) && high > 0;
    if (!low_ok && !high_ok) low = 1, high = 10;
    else if (!low_ok) low = high;
    else if (!high_ok) high = low;
    if (low > high) std::swap(low, high);
    LogTicks ticks;
    // A value a rounding error beside a decade is on it.
    ticks.from_decade = static_cast<int>(std::floor(std::log10(low) + 1e-9));
    ticks.to_decade = static_cast<int>(std::ceil(std::log10(high) - 1e-9));
    if (ticks.to_decade <= ticks.from_decade) ticks.to_decade = ticks.from_decade + 1;
    const int from = ticks.from_decade, to = ticks.to_decade;
    // The decades that are whole multiples of `every` within the axis.
    const auto first = [&](int every) { return static_cast<int>(std::ceil(from / double(every))); };
    const auto last = [&](int every) { return static_cast<int>(std::floor(to / double(every))); };
    int every = 1;
    for (int m = 1, i = 0; last(every) - first(every) + 1 > most; ++i) {
        if (i % 4 == 3) m *= 10;
        every = std::array{1, 2, 3, 5}[(i + 1) % 4] * m;
    }
    const bool minor = every == 1 && (to - from + 1) + 2 * (to - from) <= most;
    for (int k = first(every) * every; k <= last(every) * every; k += every) {
        const double decade = std::pow(10.0, k);
        ticks.values.push_back(decade);
        if (minor && k < to) {
            ticks.values.push_back(2 * decade);
            ticks.values.push_back(5 * decade);
        }
    }
    ticks.scientific = from < -4 || to > 7;
    return ticks;
}

}  // namespace tolvane
