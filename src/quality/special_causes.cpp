#include "quality/special_causes.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "quality/statistics.h"

namespace tolvane {
namespace {

int sign(double d) { return d > 0 ? 1 : d < 0 ? -1 : 0; }

// Shifts `c` in as the newest class and counts the classes equal to it.
template <size_t N>
size_t push_and_count(std::array<int, N>& ring, int c) {
    std::copy_backward(ring.begin(), ring.end() - 1, ring.end());
    ring[0] = c;
    return c == 0 ? 0 : static_cast<size_t>(std::count(ring.begin(), ring.end(), c));
}

std::string side_word(int direction) { return direction > 0 ? "above" : "below"; }

}  // namespace

TestSet::TestSet(std::initializer_list<int> tests) {
    for (const int t : tests) set(t, true);
}

void TestSet::set(int test, bool on) {
    if (test < 1 || test > 8) return;
    const auto bit = static_cast<uint16_t>(1u << test);
    bits_ = on ? static_cast<uint16_t>(bits_ | bit) : static_cast<uint16_t>(bits_ & ~bit);
}

std::vector<int> TestSet::numbers() const {
    std::vector<int> out;
    for (int t = 1; t <= 8; ++t)
        if (has(t)) out.push_back(t);
    return out;
}

Zones::Zones(double c, double sigma)
    : centre(c),
      above{c + sigma, c + 2 * sigma, c + 3 * sigma},
      below{c - sigma, c - 2 * sigma, c - 3 * sigma} {}

std::vector<Finding> PatternJudge::judge(double point, const Zones& z) {
    std::vector<Finding> found;
    const auto flag = [&](int test, int direction) {
        if (tests_.has(test)) found.push_back({test, direction});
    };

    if (point > z.above[2]) flag(1, 1);
    if (point < z.below[2]) flag(1, -1);

    const int side = sign(point - z.centre);
    if (side == 0) {
        side_run_ = 0;
    } else if (side == side_) {
        ++side_run_;
    } else {
        side_run_ = 1;
    }
    side_ = side;
    if (side_run_ >= 9) flag(2, side_);

    const int step = last_ ? sign(point - *last_) : 0;
    if (step == 0) {
        trend_ = 0;
        trend_run_ = 1;
        alternating_run_ = 1;
    } else {
        trend_run_ = step == trend_ ? trend_run_ + 1 : 2;
        trend_ = step;
        alternating_run_ = last_step_ == -step ? alternating_run_ + 1 : 2;
    }
    last_step_ = step;
    last_ = point;
    if (trend_run_ >= 6) flag(3, trend_);
    if (alternating_run_ >= 14) flag(4, 0);

    const int beyond2 = point > z.above[1] ? 1 : point < z.below[1] ? -1 : 0;
    if (push_and_count(beyond2_, beyond2) >= 2) flag(5, beyond2);
    const int beyond1 = point > z.above[0] ? 1 : point < z.below[0] ? -1 : 0;
    if (push_and_count(beyond1_, beyond1) >= 4) flag(6, beyond1);

    within_run_ = beyond1 == 0 ? within_run_ + 1 : 0;
    beyond_run_ = beyond1 != 0 ? beyond_run_ + 1 : 0;
    if (within_run_ >= 15) flag(7, 0);
    if (beyond_run_ >= 8) flag(8, 0);
    return found;
}

std::vector<std::vector<Finding>> judge_sequence(std::span<const double> points,
                                                 const Zones& zones, TestSet tests) {
    PatternJudge judge(tests);
    std::vector<std::vector<Finding>> out;
    out.reserve(points.size());
    for (const double p : points) out.push_back(judge.judge(p, zones));
    return out;
}

std::optional<Finding> judge_spread(double spread, const ChartLimits& limits) {
    if (limits.spread_ucl && spread > *limits.spread_ucl) return Finding{1, 1};
    if (limits.spread_lcl && spread < *limits.spread_lcl) return Finding{1, -1};
    return std::nullopt;
}

ControlJudge::ControlJudge(ControlLimits limits, TestSet tests)
    : limits_(std::move(limits)), pattern_(tests), tests_(tests) {}

RecordJudgement ControlJudge::judge(std::span<const Number> values) {
    RecordJudgement j;
    if (values.empty()) return j;
    const Statistics s = compute_statistics(values);
    j.point = s.mean;
    const bool individuals = limits_.kind == ChartKind::kIndividuals;
    if (individuals) {
        if (last_individual_) j.spread = std::fabs(*j.point - *last_individual_);
        last_individual_ = j.point;
        j.limits = limits_.chart;
    } else {
        j.spread = s.sd;
        j.limits = limits_.at(values.size());
    }
    if (!j.limits.zone_sigma || !j.limits.centre) return j;
    j.point_findings = pattern_.judge(*j.point, Zones(*j.limits.centre, *j.limits.zone_sigma));
    if (j.spread && tests_.has(1)) {
        if (const auto f = judge_spread(*j.spread, j.limits)) j.spread_findings.push_back(*f);
    }
    return j;
}

std::vector<std::string> describe(const RecordJudgement& j, ChartKind kind,
                                  const NumberWriter& number) {
    std::vector<std::string> out;
    const bool individuals = kind == ChartKind::kIndividuals;
    const std::string label = individuals ? "x" : "X̄";
    const std::string head = j.point ? label + " " + number(*j.point) : label;
    const std::string centre = j.limits.centre ? " " + number(*j.limits.centre) : "";
    for (const Finding& f : j.point_findings) {
        const std::string n = " (test " + std::to_string(f.test) + ")";
        switch (f.test) {
            case 1: {
                const auto& limit = f.direction > 0 ? j.limits.mean_ucl : j.limits.mean_lcl;
                out.push_back(head + (f.direction > 0 ? " above the upper" : " below the lower") +
                              " control limit" + (limit ? " " + number(*limit) : "") + n);
                break;
            }
            case 2:
                out.push_back(head + ": 9 points in a row " + side_word(f.direction) +
                              " the centre line" + centre + n);
                break;
            case 3:
                out.push_back(head + ": 6 points in a row " +
                              (f.direction > 0 ? "increasing" : "decreasing") + n);
                break;
            case 4: out.push_back(head + ": 14 points in a row alternating up and down" + n); break;
            case 5:
                out.push_back(head + ": 2 of 3 points more than 2σ " + side_word(f.direction) +
                              " the centre line" + n);
                break;
            case 6:
                out.push_back(head + ": 4 of 5 points more than 1σ " + side_word(f.direction) +
                              " the centre line" + n);
                break;
            case 7: out.push_back(head + ": 15 points in a row within 1σ of the centre line" + n); break;
            case 8: out.push_back(head + ": 8 points in a row more than 1σ from the centre line" + n); break;
            default: break;
        }
    }
    const std::string spread_label = individuals ? "MR" : "s";
    for (const Finding& f : j.spread_findings) {
        const auto& limit = f.direction > 0 ? j.limits.spread_ucl : j.limits.spread_lcl;
        out.push_back(spread_label + (j.spread ? " " + number(*j.spread) : "") +
                      (f.direction > 0 ? " above the upper" : " below the lower") + " control limit" +
                      (limit ? " " + number(*limit) : "") + " (test 1)");
    }
    return out;
}

}  // namespace tolvane
