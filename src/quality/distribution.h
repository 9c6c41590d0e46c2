#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/tolerance_settings.h"
#include "quality/special_causes.h"
#include "quality/statistics.h"
#include "quality/tolerances.h"
#include "records/number.h"

namespace tolvane {

// The standard normal distribution: P(Z <= z), and the z of a probability
// (0 < p < 1; full double precision, also far in the tails).
double normal_cdf(double z);
double normal_quantile(double p);

// The Anderson-Darling test of normality with the mean and the standard
// deviation estimated from the values (D'Agostino and Stephens, 1986,
// case 3): A2, its small-sample form A2* = A2 (1 + 0.75 / n + 2.25 / n^2),
// and the p-value of A2*.
struct NormalityTest {
    size_t n = 0;
    double a2 = 0, a2_star = 0, p = 0;
    // Below the table the p-value formula was fitted to: shown as
    // "p < 0.005" rather than as its digits.
    bool p_below_table() const { return p < 0.005; }
    bool normal() const { return p >= 0.05; }
};
// For n >= 8 values with a spread; nothing otherwise.
inline constexpr size_t kNormalityMinimum = 8;
std::optional<NormalityTest> anderson_darling(std::span<const double> values);
// D'Agostino and Stephens' p-value of A2*, in its four pieces:
// A2* >= 0.6:         exp(1.2937 - 5.709 A2* + 0.0186 A2*^2)
// 0.34 <= A2* < 0.6:  exp(0.9177 - 4.279 A2* - 1.38 A2*^2)
// 0.2 <= A2* < 0.34:  1 - exp(-8.318 + 42.796 A2* - 59.938 A2*^2)
// A2* < 0.2:          1 - exp(-13.436 + 101.14 A2* - 223.73 A2*^2)
// clamped to 0..1.
double anderson_darling_p(double a2_star);

// The values in a scale's terms: as they are, or log10 of those above 0
// (a value of 0 or below has no logarithm: it is counted, and left out).
struct ScaledValues {
    std::vector<double> values;
    size_t not_positive = 0;
    size_t negative = 0;  // of those, below 0
};
ScaledValues in_scale(std::span<const Number> values, Scale scale);
ScaledValues in_scale(std::span<const double> values, Scale scale);
// The numbers in the scale's terms, as exact decimals no more on the log scale.
std::vector<Number> numbers_in_scale(std::span<const Number> values, Scale scale,
                                     size_t* not_positive = nullptr);
double to_scale(double value, Scale scale);    // log10 on the log scale
double from_scale(double value, Scale scale);  // 10^x on the log scale
// The limits in the scale's terms; a limit at or below 0 has none on the log scale.
Limits limits_in_scale(const Limits& limits, Scale scale);

// Capability by ISO 22514-2's percentile method, from the percentiles of
// the distribution fitted to the values (normal on the linear scale,
// lognormal on the log one), X0.135, X50 and X99.865, as values:
//   Pp  = (USL - LSL) / (X99.865 - X0.135)
//   Ppk = min((USL - X50) / (X99.865 - X50), (X50 - LSL) / (X50 - X0.135))
// (a side that has no limit leaves its term out). The quantiles are the
// exact ones of 0.135 % and 99.865 % (z = 2.99998), so on normal data this
// agrees with (USL - LSL) / 6 s to about 8 parts in a million.
inline constexpr double kZ99865 = 2.999976992703401;
struct PercentileCapability {
    double x00135 = 0, x50 = 0, x99865 = 0;
    std::optional<double> pp, ppk;
};
// From the mean and the standard deviation of the values in the scale.
std::optional<PercentileCapability> percentile_capability(double mean, double sd,
                                                          const Limits& limits, Scale scale);

// The figures of a record or a lot beyond the arithmetic ones: those of its
// characteristic's scale, the percentile method, and the normality check.
struct Fit {
    Scale scale = Scale::kLinear;
    size_t n = 0;             // values the figures are of
    size_t not_positive = 0;  // log scale: values of 0 or below, left out
    size_t negative = 0;      // of those, below 0
    // The mean and the standard deviation in the scale (of the logs on the
    // log scale), for the fitted density and the percentiles.
    std::optional<double> mean, sd;
    // Log scale only: the geometric mean 10^mean and the geometric standard
    // deviation as a factor, 10^sd ("x/ 2.3").
    std::optional<double> gmean, gsd;
    // The Z-score method in the scale: (USL - LSL) / 6 sd and the nearer
    // distance / 3 sd, of the logs against the logs of the limits on the
    // log scale (the lognormal figures); the same as Statistics' on the
    // linear one.
    std::optional<double> pp, ppk;
    std::optional<PercentileCapability> percentile;
    // Of the values in the scale; absent below kNormalityMinimum.
    std::optional<NormalityTest> normality;
    // Linear scale, a normality test that fails, values all above 0 and
    // the test on their logs passes: the log scale fits better.
    bool log_fits_better = false;
    // Linear scale, values all above 0, the largest more than 100 times the
    // smallest: a hint that the log scale may fit. The scale never changes by itself.
    bool log_may_fit = false;
};
// `linear`: the values' own statistics against the limits, where the
// caller has them already (they are what the linear scale's figures are).
// Without `judge_log_fit`, log_fits_better is not looked into (a second
// test on the logs, which --stats has no column for).
Fit fit_values(std::span<const Number> values, const Limits& limits, Scale scale,
               const Statistics* linear = nullptr, bool judge_log_fit = true);
Fit fit_values(std::span<const double> values, const Limits& limits, Scale scale);

// The normality check in words, numbers by `number`: "Normal (AD p = 0.41)",
// "Not normal (AD p < 0.005): indices that assume a normal distribution may
// mislead", with "; the logarithmic scale fits better" where it does; "—"
// without a test (fewer than 8 values, or no spread).
std::string normality_words(const Fit& fit, const NumberWriter& number = round_trip_text);

// How a figure was computed, for a tooltip or a report's note: its formula
// and which sigma it uses.
enum class Method {
    kZScore,      // Pp, Ppk from the overall s (of the logs on the log scale)
    kPercentile,  // ISO 22514-2 percentiles of the fitted distribution
    kWithin,      // Cp, Cpk from sigma within (s-bar / c4, or pooled)
};
std::string method_name(Method method, Scale scale);     // "Z-score, normal", ...
std::string method_formula(Method method, Scale scale);  // the formula, in words

// How many of n values the fitted normal (of mean and sd, in the scale's
// terms) puts into a class `width` wide around x: n * width * its density
// at x. What a histogram's fitted curve is drawn through.
double fitted_class_count(double x, double mean, double sd, size_t n, double width);

// Words for a person: "1 value is 0: no logarithm", "3 values are 0 or
// below: no logarithm" (when some are below 0); empty when there are none.
std::string not_positive_words(size_t not_positive, size_t negative = 0);

}  // namespace tolvane
