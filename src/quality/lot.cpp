#include "quality/lot.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

ControlFactors control_factors(size_t n) {
    ControlFactors f;
    if (n < 2) return f;
    const double m = static_cast<double>(n);
    // Through lgamma: Gamma itself overflows from n = 172 on.
    f.c4 = std::sqrt(2.0 / (m - 1)) * std::exp(std::lgamma(m / 2) - std::lgamma((m - 1) / 2));
    f.a3 = 3.0 / (f.c4 * std::sqrt(m));
    const double spread = 3.0 * std::sqrt(1.0 - f.c4 * f.c4) / f.c4;
    f.b3 = std::max(0.0, 1.0 - spread);
    f.b4 = 1.0 + spread;
    return f;
}


namespace {

std::vector<Number> all_of(std::span<const std::vector<Number>> records) {
    size_t total = 0;
    for (const auto& values : records) total += values.size();
    std::vector<Number> all;
    all.reserve(total);
    for (const auto& values : records) all.insert(all.end(), values.begin(), values.end());
    return all;
}

// `all`: every value of the records together.
LotStatistics compute_in_scale(std::span<const std::vector<Number>> records,
                               std::span<const Number> all, const Limits& limits) {
    LotStatistics lot;
    lot.records = records.size();
    lot.overall = compute_statistics(all, limits);
    lot.grand_mean = lot.overall.mean;

    // Each record as a subgroup.
    std::optional<size_t> common_size;
    bool equal_sizes = true;
    double sum_s = 0, sum_weighted_var = 0;
    size_t with_sd = 0, degrees = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].empty()) {
            ++lot.without_values;
            continue;
        }
        const Statistics s = compute_statistics(records[i]);
        LotPoint point;
        point.record = i;
        point.n = s.n;
        point.mean = *s.mean;
        point.sd = s.sd;
        lot.points.push_back(point);
        if (!s.sd) {
            ++lot.without_sd;
            continue;
        }
        if (common_size && *common_size != s.n) equal_sizes = false;
        common_size = s.n;
        ++with_sd;
        sum_s += *s.sd;
        sum_weighted_var += static_cast<double>(s.n - 1) * *s.sd * *s.sd;
        degrees += s.n - 1;
    }
    if (with_sd == 0) return lot;

    if (equal_sizes) {
        lot.s_bar = sum_s / static_cast<double>(with_sd);
        lot.sigma_within = *lot.s_bar / control_factors(*common_size).c4;
        lot.subgroup_size = common_size;
    } else {
        // Unequal sizes: the centre line of the s chart is the pooled s, and
        // each point gets the factors of its own size (A3(n_i) s-bar, B3(n_i)
        // s-bar, B4(n_i) s-bar): the usual chart for variable subgroup sizes,
        // whose limits step from point to point.
        lot.s_bar = std::sqrt(sum_weighted_var / static_cast<double>(degrees));
        lot.sigma_within = lot.s_bar;
    }
    if (!(*lot.sigma_within > 0)) {
        lot.sigma_within.reset();
        return lot;
    }
    lot.sigma_source = equal_sizes ? SigmaSource::kSBarOverC4 : SigmaSource::kPooled;
    capability(lot.overall, *lot.sigma_within, lot.cp, lot.cpk);

    const double centre = *lot.grand_mean;
    for (LotPoint& p : lot.points) {
        if (p.n >= 2) {
            const ControlFactors f = control_factors(p.n);
            p.mean_lcl = centre - f.a3 * *lot.s_bar;
            p.mean_ucl = centre + f.a3 * *lot.s_bar;
            p.sd_lcl = f.b3 * *lot.s_bar;
            p.sd_ucl = f.b4 * *lot.s_bar;
        } else {
            // One value: no A3 for it; the mean of one value varies by sigma.
            p.mean_lcl = centre - 3 * *lot.sigma_within;
            p.mean_ucl = centre + 3 * *lot.sigma_within;
        }
        p.mean_outside = p.mean < *p.mean_lcl || p.mean > *p.mean_ucl;
        p.sd_outside = p.sd && (*p.sd < *p.sd_lcl || *p.sd > *p.sd_ucl);
        lot.mean_outside += p.mean_outside;
        lot.sd_outside += p.sd_outside;
    }
    return lot;
}

}  // namespace

LotStatistics compute_lot(std::span<const std::vector<Number>> records, const Limits& limits,
                          Scale scale) {
    const std::vector<Number> all = all_of(records);
    LotStatistics lot;
    if (scale == Scale::kLinear) {
        lot = compute_in_scale(records, all, limits);
    } else {
        std::vector<std::vector<Number>> logs;
        logs.reserve(records.size());
        size_t not_positive = 0;
        for (const auto& values : records)
            logs.push_back(numbers_in_scale(values, scale, &not_positive));
        lot = compute_in_scale(logs, all_of(logs), limits_in_scale(limits, scale));
        lot.not_positive = not_positive;
    }
    lot.scale = scale;
    lot.fit = fit_values(all, limits, scale, scale == Scale::kLinear ? &lot.overall : nullptr);
    return lot;
}

LotStatistics compute_lot(std::span<const Record> records, const Limits& limits, Scale scale) {
    std::vector<std::vector<Number>> numbers;
    numbers.reserve(records.size());
    for (const Record& r : records) numbers.push_back(r.numbers());
    return compute_lot(numbers, limits, scale);
}

std::vector<std::string> record_station_names(const Lot& lot) {
    std::vector<std::string> names;
    names.reserve(lot.record_stations.size());
    for (const size_t k : lot.record_stations)
        names.push_back(k < lot.stations.size() ? lot.stations[k] : std::string());
    return names;
}

void complete_lot(Lot& lot) {
    lot.tolerance.reset();
    lot.mixed_tolerances = false;
    for (size_t i = 0; i < lot.tolerances.size(); ++i) {
        const Limits limits = lot.tolerances[i] ? limits_of(*lot.tolerances[i]) : Limits{};
        if (i == 0) {
            lot.tolerance = lot.tolerances[i];
        } else if (limits != (lot.tolerance ? limits_of(*lot.tolerance) : Limits{})) {
            lot.mixed_tolerances = true;
            lot.tolerance.reset();
            break;
        }
    }
    lot.statistics = compute_lot(lot.records, lot.tolerance ? limits_of(*lot.tolerance) : Limits{},
                                 lot.tolerance ? lot.tolerance->scale : Scale::kLinear);
}

}  // namespace tolvane
