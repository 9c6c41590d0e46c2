#include "quality/distribution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "quality/statistics.h"

namespace tolvane {

double normal_cdf(double z) {
    return 0.5 * std::erfc(-z / std::numbers::sqrt2);
}

double normal_quantile(double p) {
    if (!(p > 0 && p < 1)) return std::nan("");
    // Acklam's rational approximation (relative error 1.15e-9), then one
    // step of Halley's method against erfc, which brings it to full precision.
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                   -2.759285104469687e+02, 1.383577518672690e+02,
                                   -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                   -1.556989798598866e+02, 6.680131188771972e+01,
                                   -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                   -2.400758277161838e+00, -2.549732539343734e+00,
                                   4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                   2.445134137142996e+00, 3.754408661907416e+00};
    constexpr double low = 0.02425;
    double x;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    } else if (p <= 1 - low) {
        const double q = p - 0.5, r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
    } else {
        const double q = std::sqrt(-2 * std::log(1 - p));
        x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    // The error of P(x) - p, taken from the nearer tail so it keeps its digits.
    const double e = x < 0 ? normal_cdf(x) - p : (1 - p) - normal_cdf(-x);
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double anderson_darling_p(double a) {
    double p;
    if (a >= 0.6)
        p = std::exp(1.2937 - 5.709 * a + 0.0186 * a * a);
    else if (a >= 0.34)
        p = std::exp(0.9177 - 4.279 * a - 1.38 * a * a);
    else if (a >= 0.2)
        p = 1 - std::exp(-8.318 + 42.796 * a - 59.938 * a * a);
    else
        p = 1 - std::exp(-13.436 + 101.14 * a - 223.73 * a * a);
    return std::clamp(p, 0.0, 1.0);
}

namespace {

// Of values in ascending order whose mean and sd are known already.
std::optional<NormalityTest> anderson_darling_of(std::span<const double> z,
                                                 const std::optional<double>& mean,
                                                 const std::optional<double>& sd) {
    const size_t n = z.size();
    if (n < kNormalityMinimum || !mean || !sd || !(*sd > 0)) return std::nullopt;
    // ln P(Z <= z) and ln P(Z > z) of each, from one erfc: of the tail
    // beyond z, which keeps its digits far out, and its complement, which
    // is at least a half.
    std::vector<double> below(n), above(n);
    for (size_t i = 0; i < n; ++i) {
        const double x = (z[i] - *mean) / *sd;
        const double t = std::fabs(x);
        double log_tail, log_rest;
        if (t < 26) {
            const double tail = 0.5 * std::erfc(t / std::numbers::sqrt2);
            log_tail = std::log(tail);
            log_rest = std::log1p(-tail);
        } else {
            // Beyond 26 sigma (an outlier among many values) erfc falls to
            // subnormals and then 0: the tail's asymptotic series instead,
            // whose next term is below 1e-10 there.
            const double u = 1 / (t * t);
            log_tail = -t * t / 2 - std::log(t * std::sqrt(2 * std::numbers::pi)) +
                       std::log1p(u * (-1 + u * (3 - 15 * u)));
            log_rest = 0;
        }
        below[i] = x < 0 ? log_tail : log_rest;
        above[i] = x < 0 ? log_rest : log_tail;
    }
    long double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += (2.0L * double(i) + 1) * (below[i] + above[n - 1 - i]);
    NormalityTest t;
    t.n = n;
    t.a2 = double(-static_cast<long double>(n) - sum / n);
    const double dn = double(n);
    t.a2_star = t.a2 * (1 + 0.75 / dn + 2.25 / (dn * dn));
    t.p = anderson_darling_p(t.a2_star);
    return t;
}

}  // namespace

std::optional<NormalityTest> anderson_darling(std::span<const double> values) {
    if (values.size() < kNormalityMinimum) return std::nullopt;
    const Statistics s = compute_statistics(values);
    std::vector<double> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    return anderson_darling_of(sorted, s.mean, s.sd);
}

ScaledValues in_scale(std::span<const double> values, Scale scale) {
    ScaledValues out;
    out.values.reserve(values.size());
    for (const double v : values) {
        if (scale == Scale::kLinear)
            out.values.push_back(v);
        else if (v > 0)
            out.values.push_back(std::log10(v));
        else {
            ++out.not_positive;
            if (v < 0) ++out.negative;
        }
    }
    return out;
}

ScaledValues in_scale(std::span<const Number> values, Scale scale) {
    std::vector<double> doubles;
    doubles.reserve(values.size());
    for (const Number& v : values) doubles.push_back(v.value());
    return in_scale(std::span<const double>(doubles), scale);
}

std::vector<Number> numbers_in_scale(std::span<const Number> values, Scale scale,
                                     size_t* not_positive) {
    if (scale == Scale::kLinear) return {values.begin(), values.end()};
    std::vector<Number> out;
    out.reserve(values.size());
    for (const Number& v : values) {
        if (v.value() > 0)
            out.push_back(Number::of(std::log10(v.value())));
        else if (not_positive)
            ++*not_positive;
    }
    return out;
}

double to_scale(double value, Scale scale) {
    return scale == Scale::kLog ? std::log10(value) : value;
}

double from_scale(double value, Scale scale) {
    return scale == Scale::kLog ? std::pow(10.0, value) : value;
}

Limits limits_in_scale(const Limits& limits, Scale scale) {
    if (scale == Scale::kLinear) return limits;
    const auto side = [](const std::optional<double>& x) -> std::optional<double> {
        if (!x || !(*x > 0)) return std::nullopt;
        return std::log10(*x);
    };
    return Limits{side(limits.lower), side(limits.upper)};
}

std::optional<PercentileCapability> percentile_capability(double mean, double sd,
                                                          const Limits& limits, Scale scale) {
    if (!(sd > 0) || !std::isfinite(mean) || !std::isfinite(sd)) return std::nullopt;
    // normal_quantile(0.99865), as a constant so that figures come out the
    // same to the last digit whatever the C library's erfc.
    constexpr double z = kZ99865;
    PercentileCapability c;
    c.x00135 = from_scale(mean - z * sd, scale);
    c.x50 = from_scale(mean, scale);
    c.x99865 = from_scale(mean + z * sd, scale);
    if (limits.lower && limits.upper && c.x99865 > c.x00135)
        c.pp = (*limits.upper - *limits.lower) / (c.x99865 - c.x00135);
    std::optional<double> upper, lower;
    if (limits.upper && c.x99865 > c.x50) upper = (*limits.upper - c.x50) / (c.x99865 - c.x50);
    if (limits.lower && c.x50 > c.x00135) lower = (c.x50 - *limits.lower) / (c.x50 - c.x00135);
    if (upper && lower)
        c.ppk = std::min(*upper, *lower);
    else
        c.ppk = upper ? upper : lower;
    return c;
}

namespace {

// `s`: the statistics of the values in the scale against the limits in
// the scale; `doubles` gives the values as they are, made only where a
// figure needs them one by one (n >= 8, or the log scale): a record of a
// few values costs no allocation.
template <typename Doubles>
Fit fit_of(const Statistics& s, size_t not_positive, size_t negative, Doubles&& doubles,
           const Limits& limits, Scale scale, bool judge_log_fit = true) {
    Fit f;
    f.scale = scale;
    f.n = s.n;
    f.not_positive = not_positive;
    f.negative = negative;
    f.mean = s.mean;
    f.sd = s.sd;
    if (scale == Scale::kLog) {
        if (s.mean) f.gmean = std::pow(10.0, *s.mean);
        if (s.sd) f.gsd = std::pow(10.0, *s.sd);
    }
    f.pp = s.pp;
    f.ppk = s.ppk;
    if (s.mean && s.sd) f.percentile = percentile_capability(*s.mean, *s.sd, limits, scale);
    if (s.n < kNormalityMinimum) {
        if (scale == Scale::kLinear && s.min && *s.min > 0) f.log_may_fit = *s.max > 100 * *s.min;
        return f;
    }
    // Sorted once: the logs of sorted values are sorted too.
    std::vector<double> values = doubles();
    if (scale == Scale::kLog) values = std::move(in_scale(std::span<const double>(values), scale).values);
    std::sort(values.begin(), values.end());
    f.normality = anderson_darling_of(values, s.mean, s.sd);
    if (scale == Scale::kLinear && s.min && *s.min > 0) {
        f.log_may_fit = *s.max > 100 * *s.min;
        if (judge_log_fit && f.normality && !f.normality->normal()) {
            for (double& v : values) v = std::log10(v);
            const Statistics logs = compute_statistics(std::span<const double>(values));
            const auto on_logs = anderson_darling_of(values, logs.mean, logs.sd);
            f.log_fits_better = on_logs && on_logs->normal();
        }
    }
    return f;
}

}  // namespace

Fit fit_values(std::span<const double> values, const Limits& limits, Scale scale) {
    const auto doubles = [&] { return std::vector<double>(values.begin(), values.end()); };
    if (scale == Scale::kLinear)
        return fit_of(compute_statistics(values, limits), 0, 0, doubles, limits, scale);
    const ScaledValues logs = in_scale(values, scale);
    return fit_of(compute_statistics(std::span<const double>(logs.values),
                                     limits_in_scale(limits, scale)),
                  logs.not_positive, logs.negative, doubles, limits, scale);
}

Fit fit_values(std::span<const Number> values, const Limits& limits, Scale scale,
               const Statistics* linear, bool judge_log_fit) {
    const auto doubles = [&] {
        std::vector<double> out;
        out.reserve(values.size());
        for (const Number& v : values) out.push_back(v.value());
        return out;
    };
    // On the linear scale from the exact decimals, as the record's own figures are.
    if (scale == Scale::kLinear)
        return fit_of(linear ? *linear : compute_statistics(values, limits), 0, 0, doubles,
                      limits, scale, judge_log_fit);
    const std::vector<double> all = doubles();
    const ScaledValues logs = in_scale(std::span<const double>(all), scale);
    return fit_of(compute_statistics(std::span<const double>(logs.values),
                                     limits_in_scale(limits, scale)),
                  logs.not_positive, logs.negative, [&] { return all; }, limits, scale);
}

std::string normality_words(const Fit& fit, const NumberWriter& number) {
    if (!fit.normality) return "\u2014";
    const NormalityTest& t = *fit.normality;
    const std::string p = t.p_below_table() ? "p < " + number(0.005) : "p = " + number(t.p);
    if (t.normal()) return "Normal (AD " + p + ")";
    std::string words = "Not normal (AD " + p +
                        "): indices that assume a normal distribution may mislead";
    if (fit.log_fits_better) words += "; the logarithmic scale fits better";
    return words;
}

std::string method_name(Method method, Scale scale) {
    const bool log = scale == Scale::kLog;
    switch (method) {
    case Method::kZScore: return log ? "Z-score, lognormal" : "Z-score, normal";
    case Method::kPercentile: return log ? "percentile, lognormal" : "percentile, normal";
    case Method::kWithin: return log ? "within, lognormal" : "within";
    }
    return {};
}

std::string method_formula(Method method, Scale scale) {
    const bool log = scale == Scale::kLog;
    switch (method) {
    case Method::kZScore:
        return log ? "Lognormal Z-score method, on log10 of the values and of the limits:\n"
                     "Pp = (log USL \u2212 log LSL) / 6 s, Ppk = min(log USL \u2212 m, m "
                     "\u2212 log LSL) / 3 s;\nm and s: the mean and the sample standard "
                     "deviation (n \u2212 1) of the logs of all values."
                   : "Z-score method:\nPp = (USL \u2212 LSL) / 6 s, Ppk = min(USL \u2212 "
                     "x\u0304, x\u0304 \u2212 LSL) / 3 s;\ns: the sample standard "
                     "deviation (n \u2212 1) of all values.";
    case Method::kPercentile:
        return std::string("Percentile method (ISO 22514-2):\nPp = (USL \u2212 LSL) / "
                           "(X99.865 \u2212 X0.135),\nPpk = min((USL \u2212 X50) / (X99.865 "
                           "\u2212 X50), (X50 \u2212 LSL) / (X50 \u2212 X0.135));\n") +
               (log ? "the percentiles of the fitted lognormal distribution, "
                      "10^(m \u00b1 2.99998 s) and 10^m, from the logs' mean m and s (n \u2212 1)."
                    : "the percentiles of the fitted normal distribution, "
                      "x\u0304 \u00b1 2.99998 s and x\u0304, s (n \u2212 1).");
    case Method::kWithin:
        return std::string(log ? "On log10 of the values and of the limits:\n" : "") +
               "Cp = (USL \u2212 LSL) / 6 \u03c3, Cpk = min(USL \u2212 x\u0304\u0304, "
               "x\u0304\u0304 \u2212 LSL) / 3 \u03c3;\n\u03c3 within the records: s\u0304 / c4(n) "
               "when they have one size, else the pooled s.";
    }
    return {};
}

double fitted_class_count(double x, double mean, double sd, size_t n, double width) {
    const double z = (x - mean) / sd;
    return double(n) * width * std::exp(-z * z / 2) / (sd * std::sqrt(2 * std::numbers::pi));
}

std::string not_positive_words(size_t not_positive, size_t negative) {
    if (not_positive == 0) return {};
    const char* what = negative > 0 ? "0 or below" : "0";
    if (not_positive == 1) return std::string("1 value is ") + what + ": no logarithm";
    return std::to_string(not_positive) + " values are " + what + ": no logarithm";
}

}  // namespace tolvane
