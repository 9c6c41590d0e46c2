#include "quality/control_limits.h"

#include <cmath>
#include <numbers>

#include "quality/distribution.h"
#include "quality/lot.h"
#include "quality/statistics.h"

namespace tolvane {
namespace {

// The range of two values from a normal distribution: mean d2 = 2 / sqrt(pi)
// (printed as 1.128) and sd d3 = sqrt(2 - 4 / pi) (0.853). From their
// formulas, so that the individuals limits are exactly centre +- 3 sigma
// (3 / d2 is printed as 2.66) and the moving-range UCL is 1 + 3 d3 / d2
// (printed as 3.267).
const double kD2 = 2.0 / std::sqrt(std::numbers::pi);
const double kD3 = std::sqrt(2.0 - 4.0 / std::numbers::pi);

ChartLimits mean_limits(double centre, double sigma, size_t n) {
    ChartLimits c;
    c.centre = centre;
    c.zone_sigma = sigma / std::sqrt(static_cast<double>(n));
    c.mean_lcl = centre - 3 * *c.zone_sigma;
    c.mean_ucl = centre + 3 * *c.zone_sigma;
    return c;
}

// The limits at the common size from the centre, sigma within and s-bar or
// MR-bar: the same for limits just frozen and for limits read back.
void fill_chart(ControlLimits& out) {
    if (!out.centre || !out.sigma_within || !out.subgroup_size) return;
    const size_t n = *out.subgroup_size;
    if (out.kind == ChartKind::kIndividuals) {
        if (!out.mr_bar) return;
        out.chart = mean_limits(*out.centre, *out.sigma_within, 1);
        out.chart.spread_lcl = 0.0;
        out.chart.spread_centre = out.mr_bar;
        out.chart.spread_ucl = (1 + 3 * kD3 / kD2) * *out.mr_bar;
        return;
    }
    if (!out.s_bar || n < 2) return;
    const ControlFactors f = control_factors(n);
    out.chart = mean_limits(*out.centre, *out.sigma_within, n);
    out.chart.spread_lcl = f.b3 * *out.s_bar;
    out.chart.spread_centre = out.s_bar;
    out.chart.spread_ucl = f.b4 * *out.s_bar;
}

void freeze_individuals(ControlLimits& out, std::span<const double> points) {
    out.kind = ChartKind::kIndividuals;
    out.subgroup_size = 1;
    if (points.size() < 2) return;
    double sum_mr = 0;
    for (size_t i = 1; i < points.size(); ++i) sum_mr += std::fabs(points[i] - points[i - 1]);
    out.mr_bar = sum_mr / static_cast<double>(points.size() - 1);
    if (!(*out.mr_bar > 0)) return;
    out.method = SigmaMethod::kMovingRange;
    out.sigma_within = *out.mr_bar / kD2;
    fill_chart(out);
}

}  // namespace

std::vector<Subgroup> subgroups_of(std::span<const Record> records, Scale scale) {
    std::vector<Subgroup> out;
    out.reserve(records.size());
    for (const Record& r : records)
        out.push_back({numbers_in_scale(r.numbers(), scale), r.time, std::nullopt});
    return out;
}

ChartLimits ControlLimits::at(size_t n) const {
    if (subgroup_size && n == *subgroup_size) return chart;
    if (!centre || !sigma_within || n == 0 || kind == ChartKind::kIndividuals) return {};
    ChartLimits c = mean_limits(*centre, *sigma_within, n);
    if (n >= 2) {
        const ControlFactors f = control_factors(n);
        c.spread_centre = f.c4 * *sigma_within;
        c.spread_lcl = f.b3 * *c.spread_centre;
        c.spread_ucl = f.b4 * *c.spread_centre;
    }
    return c;
}

ControlLimits freeze_limits(std::span<const Subgroup> subgroups) {
    ControlLimits out;
    std::vector<std::vector<Number>> used;
    bool all_single = true;
    std::optional<size_t> size;
    for (size_t i = 0; i < subgroups.size(); ++i) {
        const Subgroup& g = subgroups[i];
        if (g.left_out) {
            out.left_out.push_back({i, *g.left_out});
            continue;
        }
        if (g.values.empty()) {
            ++out.without_values;
            continue;
        }
        ++out.records_used;
        if (!out.first_time) out.first_time = g.time;
        out.last_time = g.time;
        if (g.values.size() != 1) all_single = false;
        if (size && *size != g.values.size()) out.sizes_differ = true;
        size = g.values.size();
        used.push_back(g.values);
    }
    if (used.empty()) return out;

    if (all_single) {
        std::vector<Number> values;
        std::vector<double> points;
        for (const auto& v : used) {
            values.push_back(v.front());
            points.push_back(v.front().value());
        }
        out.centre = compute_statistics(values).mean;
        freeze_individuals(out, points);
        return out;
    }

    const LotStatistics lot = compute_lot(used, Limits{});
    out.centre = lot.grand_mean;
    out.s_bar = lot.s_bar;
    if (!out.sizes_differ) out.subgroup_size = size;
    if (used.size() < 2 || !lot.sigma_within) return out;
    out.sigma_within = lot.sigma_within;
    // Records of one value among larger ones give no s: sigma then comes
    // from the others, pooled when their sizes differ.
    out.method = lot.sigma_source == SigmaSource::kPooled ? SigmaMethod::kPooled
                                                          : SigmaMethod::kSBarOverC4;
    fill_chart(out);
    return out;
}

FrozenControl kept_limits(const ControlLimits& limits, std::span<const Subgroup> subgroups,
                          const LocalDateTime& when, std::vector<int> tests) {
    FrozenControl kept;
    kept.chart = limits.kind == ChartKind::kIndividuals ? FrozenControl::Chart::kIndividuals
                                                        : FrozenControl::Chart::kMeanAndSd;
    switch (limits.method) {
        case SigmaMethod::kNone: kept.sigma_method = FrozenControl::Sigma::kNone; break;
        case SigmaMethod::kSBarOverC4: kept.sigma_method = FrozenControl::Sigma::kSBarOverC4; break;
        case SigmaMethod::kPooled: kept.sigma_method = FrozenControl::Sigma::kPooled; break;
        case SigmaMethod::kMovingRange: kept.sigma_method = FrozenControl::Sigma::kMovingRange; break;
    }
    kept.centre = limits.centre;
    kept.sigma_within = limits.sigma_within;
    kept.subgroup_size = limits.subgroup_size;
    kept.s_bar = limits.s_bar;
    kept.mr_bar = limits.mr_bar;
    kept.records_used = limits.records_used;
    for (const LeftOutRecord& left : limits.left_out)
        kept.left_out.push_back(
            {left.index < subgroups.size() ? subgroups[left.index].time : std::nullopt, left.reason});
    kept.first_time = limits.first_time;
    kept.last_time = limits.last_time;
    kept.frozen = when;
    kept.tests = std::move(tests);
    return kept;
}

ControlLimits limits_kept(const FrozenControl& kept) {
    ControlLimits limits;
    limits.kind = kept.chart == FrozenControl::Chart::kIndividuals ? ChartKind::kIndividuals
                                                                   : ChartKind::kMeanAndSd;
    switch (kept.sigma_method) {
        case FrozenControl::Sigma::kNone: limits.method = SigmaMethod::kNone; break;
        case FrozenControl::Sigma::kSBarOverC4: limits.method = SigmaMethod::kSBarOverC4; break;
        case FrozenControl::Sigma::kPooled: limits.method = SigmaMethod::kPooled; break;
        case FrozenControl::Sigma::kMovingRange: limits.method = SigmaMethod::kMovingRange; break;
    }
    limits.centre = kept.centre;
    limits.sigma_within = kept.sigma_within;
    limits.subgroup_size = kept.subgroup_size;
    limits.sizes_differ = !kept.subgroup_size;
    limits.s_bar = kept.s_bar;
    limits.mr_bar = kept.mr_bar;
    limits.records_used = kept.records_used;
    for (const FrozenControl::LeftOut& left : kept.left_out) limits.left_out.push_back({0, left.reason});
    limits.first_time = kept.first_time;
    limits.last_time = kept.last_time;
    fill_chart(limits);
    return limits;
}

}  // namespace tolvane
