#include "quality/statistics.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

__extension__ typedef __int128 Int128;

// Sums in long double with Neumaier's compensation.
struct CompensatedSum {
    long double sum = 0, carry = 0;
    void add(long double x) {
        const long double t = sum + x;
        carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    long double value() const { return sum + carry; }
};

// 10^|e|, exact in a long double up to 10^27.
long double power_of_ten(int32_t e) {
    static constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                              1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                              1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                              1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
    const int32_t k = e < 0 ? -e : e;
    return k <= 27 ? kPowers[k] : std::pow(10.0L, static_cast<long double>(k));
}

// x * 10^e, dividing for a negative e: 10^-1 has no exact binary form, 10^1 has.
long double scaled_by_ten(long double x, int32_t e) {
    return e < 0 ? x / power_of_ten(e) : x * power_of_ten(e);
}

struct Moments {
    long double mean = 0, range = 0;
    std::optional<long double> variance;  // sample, n - 1
    // USL - LSL, USL - mean and mean - LSL, where the limits exist.
    std::optional<long double> span, to_upper, to_lower;
};

// x * 10^k for k >= 0, false on overflow.
bool times_ten_to(Int128& x, int32_t k) {
    if (k > 38) return x == 0;
    for (; k > 0; --k)
        if (__builtin_mul_overflow(x, 10, &x)) return false;
    return true;
}

// A limit as the decimal it was written as: the shortest text that reads
// back as its double ("10000000.1", not 10000000.099999999627...).
std::optional<Number> decimal_of(const std::optional<double>& limit) {
    if (!limit) return std::nullopt;
    std::optional<Number> n = Number::parse(round_trip_text(*limit));
    return n && n->has_decimal() ? n : std::nullopt;
}

// The distances to the limits from the exact sums of the values (each an
// integer `first + d_i` times 10^e, sum_d the sum of the d_i): every
// difference taken in integers at the smallest exponent of values and
// limits, then one rounding. Leaves `m` as it is where a limit has no
// decimal or the integers would not fit.
void exact_distances(const Limits& limits, int32_t e, Int128 first, Int128 sum_d, Int128 n,
                     Moments& m) {
    const std::optional<Number> lsl = decimal_of(limits.lower), usl = decimal_of(limits.upper);
    if (limits.lower.has_value() != lsl.has_value() || limits.upper.has_value() != usl.has_value())
        return;
    int32_t common = e;
    for (const auto& l : {lsl, usl})
        if (l) common = std::min(common, l->exponent());
    if (!times_ten_to(first, e - common) || !times_ten_to(sum_d, e - common)) return;
    // n * (limit - mean) = n * (limit - first) - sum_d, in units of 10^common.
    const auto n_times_distance = [&](const Number& limit, Int128& out) {
        Int128 x = limit.digits(), d = 0;
        return times_ten_to(x, limit.exponent() - common) &&
               !__builtin_sub_overflow(x, first, &d) && !__builtin_mul_overflow(d, n, &d) &&
               !__builtin_sub_overflow(d, sum_d, &out);
    };
    const auto count = static_cast<long double>(n);
    Int128 up = 0, down = 0;
    if (usl && !n_times_distance(*usl, up)) return;
    if (lsl && !n_times_distance(*lsl, down)) return;
    if (usl && lsl) {
        Int128 span = 0;
        if (__builtin_sub_overflow(up, down, &span)) return;
        m.span = scaled_by_ten(static_cast<long double>(span) / count, common);
    }
    if (usl) m.to_upper = scaled_by_ten(static_cast<long double>(up) / count, common);
    if (lsl) m.to_lower = scaled_by_ten(-static_cast<long double>(down) / count, common);
}

// From the exact decimals: every value as an integer times 10^E for the
// smallest exponent E, then sums of integers without any rounding. Nothing
// when a value has no decimal or the integers would not fit.
std::optional<Moments> exact_moments(std::span<const Number> values, const Limits& limits) {
    int32_t e = values.front().exponent();
    for (const Number& v : values) {
        if (!v.has_decimal()) return std::nullopt;
        e = std::min(e, v.exponent());
    }
    const auto scaled = [e](const Number& v, Int128& out) {
        const int32_t shift = v.exponent() - e;
        if (shift > 36) return false;
        Int128 x = v.digits();
        for (int32_t k = 0; k < shift; ++k)
            if (__builtin_mul_overflow(x, 10, &x)) return false;
        out = x;
        return true;
    };
    Int128 first = 0, lo = 0, hi = 0, sum_d = 0, sum_d2 = 0;
    if (!scaled(values.front(), first)) return std::nullopt;
    for (const Number& v : values) {
        Int128 x = 0, d = 0, d2 = 0;
        if (!scaled(v, x) || __builtin_sub_overflow(x, first, &d) ||
            __builtin_mul_overflow(d, d, &d2) || __builtin_add_overflow(sum_d, d, &sum_d) ||
            __builtin_add_overflow(sum_d2, d2, &sum_d2))
            return std::nullopt;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    const auto n = static_cast<Int128>(values.size());
    // n * sum(d^2) - (sum d)^2 = n * sum((d - mean d)^2), exactly.
    Int128 n_sum_d2 = 0, sum_d_sq = 0, spread = 0;
    if (__builtin_mul_overflow(n, sum_d2, &n_sum_d2) ||
        __builtin_mul_overflow(sum_d, sum_d, &sum_d_sq) ||
        __builtin_sub_overflow(n_sum_d2, sum_d_sq, &spread))
        return std::nullopt;
    Moments m;
    const auto count = static_cast<long double>(values.size());
    m.mean =
        scaled_by_ten(static_cast<long double>(first) + static_cast<long double>(sum_d) / count, e);
    m.range = scaled_by_ten(static_cast<long double>(hi - lo), e);
    if (values.size() >= 2)
        m.variance = scaled_by_ten(
            scaled_by_ten(static_cast<long double>(spread) / (count * (count - 1)), e), e);
    exact_distances(limits, e, first, sum_d, n, m);
    return m;
}

// Two passes over the values shifted by the first one (values that lie
// close together then subtract exactly), the second corrected by the first
// pass's leftover.
template <class Value>
Moments shifted_moments(std::span<const Value> values, double (*value_of)(const Value&)) {
    const long double first = value_of(values.front());
    const auto count = static_cast<long double>(values.size());
    CompensatedSum sum;
    for (const Value& v : values)
        sum.add(static_cast<long double>(value_of(v)) - first);
    const long double mean_d = sum.value() / count;
    CompensatedSum squares, leftover;
    for (const Value& v : values) {
        const long double dev = static_cast<long double>(value_of(v)) - first - mean_d;
        squares.add(dev * dev);
        leftover.add(dev);
    }
    Moments m;
    m.mean = first + mean_d;
    if (values.size() >= 2) {
        const long double l = leftover.value();
        m.variance = std::max(0.0L, (squares.value() - l * l / count) / (count - 1));
    }
    return m;
}

std::optional<double> finite(long double x) {
    const auto d = static_cast<double>(x);
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
}

template <class Value>
Statistics statistics(std::span<const Value> values, const Limits& limits,
                      double (*value_of)(const Value&), std::optional<Moments> exact) {
    Statistics s;
    s.n = values.size();
    s.has_limits = limits.any();
    if (values.empty()) return s;

    double lo = value_of(values.front()), hi = lo;
    for (const Value& v : values) {
        const double x = value_of(v);
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        switch (verdict(x, limits)) {
            case Verdict::kLow:
                ++s.below;
                break;
            case Verdict::kHigh:
                ++s.above;
                break;
            case Verdict::kWithin:
                break;
        }
    }
    s.min = lo;
    s.max = hi;
    const Moments m = exact ? *exact : shifted_moments(values, value_of);
    s.mean = finite(m.mean);
    s.range = exact ? finite(m.range) : finite(static_cast<long double>(hi) - lo);
    if (m.variance) s.sd = finite(std::sqrt(*m.variance));
    if (s.has_limits)
        s.share_out = static_cast<double>(s.out_of_tolerance()) / static_cast<double>(s.n);

    if (!s.mean) return s;
    // From the exact decimals where they gave them, else from the doubles.
    if (limits.lower && limits.upper)
        s.usl_minus_lsl = finite(m.span.value_or(static_cast<long double>(*limits.upper) -
                                                 *limits.lower));
    if (limits.upper) s.usl_minus_mean = finite(m.to_upper.value_or(*limits.upper - m.mean));
    if (limits.lower) s.mean_minus_lsl = finite(m.to_lower.value_or(m.mean - *limits.lower));
    if (s.sd && *s.sd > 0) capability(s, *s.sd, s.pp, s.ppk);
    return s;
}

double number_value(const Number& n) {
    return n.value();
}
double plain_value(const double& x) {
    return x;
}

}  // namespace

void capability(const Statistics& s, double sigma, std::optional<double>& cp,
                std::optional<double>& cpk) {
    if (!(sigma > 0)) return;
    const long double six_sigma = 6.0L * sigma, three_sigma = 3.0L * sigma;
    if (s.usl_minus_lsl) cp = finite(*s.usl_minus_lsl / six_sigma);
    std::optional<double> nearest = s.usl_minus_mean;
    if (s.mean_minus_lsl) nearest = std::min(nearest.value_or(*s.mean_minus_lsl), *s.mean_minus_lsl);
    if (nearest) cpk = finite(*nearest / three_sigma);
}

Verdict verdict(double value, const Limits& limits) {
    if (limits.lower && value < *limits.lower) return Verdict::kLow;
    if (limits.upper && value > *limits.upper) return Verdict::kHigh;
    return Verdict::kWithin;
}

Statistics compute_statistics(std::span<const Number> values, const Limits& limits) {
    return statistics(values, limits, number_value,
                      values.empty() ? std::nullopt : exact_moments(values, limits));
}

Statistics compute_statistics(std::span<const double> values, const Limits& limits) {
    return statistics(values, limits, plain_value, std::nullopt);
}

}  // namespace tolvane
