#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "quality/tolerances.h"
#include "records/number.h"

namespace tolvane {

// Where a value lies against the limits. A value exactly on a limit is within.
enum class Verdict { kWithin, kLow, kHigh };
Verdict verdict(double value, const Limits& limits);

// The figures of a set of values. Any figure that does not exist for them is
// absent, never infinite or NaN: mean, min, max and range need a value; sd
// (the sample standard deviation, n - 1) needs two; Pp and Ppk need sd > 0,
// Pp both limits and Ppk at least one (from the side that exists).
struct Statistics {
    size_t n = 0;
    std::optional<double> mean, sd, min, max, range;

    // Against the limits; 0 and absent without them.
    bool has_limits = false;
    size_t below = 0, above = 0;
    std::optional<double> share_out;  // (below + above) / n, 0..1
    std::optional<double> pp;         // (USL - LSL) / 6 sd
    std::optional<double> ppk;        // min(USL - mean, mean - LSL) / 3 sd
    // The distances they come from, where the limits and a mean exist. From
    // the exact decimals of the values and the limits (a limit's decimal is
    // the shortest text that reads back as it) when the mean is, with one
    // rounding at the end; else in long double from the doubles.
    std::optional<double> usl_minus_lsl, usl_minus_mean, mean_minus_lsl;

    size_t out_of_tolerance() const { return below + above; }
};

// Computed from the exact decimals where every value has one and they fit
// (sums of integers, then one rounding), else by two passes over the
// values shifted by the first one with compensated sums. Costs O(n), no
// allocation beyond a few words.
Statistics compute_statistics(std::span<const Number> values, const Limits& limits = {});
Statistics compute_statistics(std::span<const double> values, const Limits& limits = {});

// Pp and Ppk of the distances in `s` for another sigma (Cp and Cpk of a lot
// with its within-record sigma): (USL - LSL) / 6 sigma, and the nearer
// distance / 3 sigma; nothing for a sigma that is not above 0.
void capability(const Statistics& s, double sigma, std::optional<double>& cp,
                std::optional<double>& cpk);

}  // namespace tolvane
