#include "quality/control_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quality/special_causes.h"

namespace tolvane {
namespace {

Subgroup subgroup(std::vector<std::string> texts, int hour,
                  std::optional<std::string> left_out = std::nullopt) {
    Subgroup g;
    for (const auto& t : texts) g.values.push_back(*Number::parse(t));
    g.time = LocalDateTime{2026, 12, 1, hour, 0, 0};
    g.left_out = std::move(left_out);
    return g;
}

// Kept with the entry and read back, the limits are the same to the bit,
// and the left-out records are named by their time stamps.
void expect_kept_alike(const ControlLimits& c, const std::vector<Subgroup>& subgroups) {
    const FrozenControl kept = kept_limits(c, subgroups, {2026, 12, 8, 9, 0, 0}, {1, 3});
    const ControlLimits back = limits_kept(kept);
    EXPECT_EQ(back.kind, c.kind);
    EXPECT_EQ(back.method, c.method);
    for (const auto member : {&ChartLimits::mean_lcl, &ChartLimits::centre, &ChartLimits::mean_ucl,
                              &ChartLimits::spread_lcl, &ChartLimits::spread_centre,
                              &ChartLimits::spread_ucl, &ChartLimits::zone_sigma})
        EXPECT_EQ(back.chart.*member, c.chart.*member);
    EXPECT_EQ(back.records_used, c.records_used);
    ASSERT_EQ(kept.left_out.size(), c.left_out.size());
    for (size_t i = 0; i < c.left_out.size(); ++i) {
        EXPECT_EQ(kept.left_out[i].time, subgroups[c.left_out[i].index].time);
        EXPECT_EQ(kept.left_out[i].reason, c.left_out[i].reason);
    }
    EXPECT_EQ(kept.tests, (std::vector<int>{1, 3}));
    EXPECT_EQ(kept.frozen->day, 8);
}

// Computed by hand, subgroups of n = 3 with c4(3) = 0.88623,
// A3 = 3 / (c4 sqrt 3) = 1.9544 (printed 1.954), B3 = 0, B4 = 2.568:
//   1 2 3: mean 2, s 1;  2 3 4: mean 3, s 1;  3 5 7: mean 5, s 2
//   X-double-bar = 10/3 = 3.3333, s-bar = 4/3 = 1.3333,
//   sigma = s-bar / c4 = 1.5045, X-bar limits 3.3333 -+ 1.9544 * 1.3333
//   = 0.7275 / 5.9392, s limits 0 / 2.568 * 1.3333 = 3.424.
// The record 0 1 9 (found: a loose part) is left out; computing again
// without it gives the same limits, and the origin says what was used.
TEST(FreezeLimits, MeanAndSdWithARecordLeftOutAsComputedByHand) {
    const std::vector<Subgroup> all = {
        subgroup({"0", "1", "9"}, 7, "loose part"), subgroup({"1", "2", "3"}, 8),
        subgroup({"2", "3", "4"}, 9), subgroup({"3", "5", "7"}, 10)};
    const ControlLimits c = freeze_limits(all);
    EXPECT_EQ(c.kind, ChartKind::kMeanAndSd);
    EXPECT_EQ(c.method, SigmaMethod::kSBarOverC4);
    EXPECT_EQ(c.subgroup_size, 3u);
    EXPECT_NEAR(*c.centre, 3.3333, 5e-5);
    EXPECT_NEAR(*c.s_bar, 1.3333, 5e-5);
    EXPECT_NEAR(*c.sigma_within, 1.5045, 5e-5);
    EXPECT_NEAR(*c.chart.mean_lcl, 0.7275, 5e-5);
    EXPECT_NEAR(*c.chart.mean_ucl, 5.9392, 5e-5);
    EXPECT_EQ(*c.chart.spread_lcl, 0.0);
    EXPECT_NEAR(*c.chart.spread_centre, 1.3333, 5e-5);
    EXPECT_NEAR(*c.chart.spread_ucl, 3.424, 5e-4);
    EXPECT_NEAR(*c.chart.zone_sigma, 1.5045 / std::sqrt(3.0), 5e-5);
    EXPECT_EQ(c.records_used, 3u);
    ASSERT_EQ(c.left_out.size(), 1u);
    EXPECT_EQ(c.left_out[0].index, 0u);
    EXPECT_EQ(c.left_out[0].reason, "loose part");
    EXPECT_EQ(c.first_time->hour, 8);
    EXPECT_EQ(c.last_time->hour, 10);
    expect_kept_alike(c, all);

    const std::vector<Subgroup> without(all.begin() + 1, all.end());
    const ControlLimits again = freeze_limits(without);
    EXPECT_EQ(again.centre, c.centre);
    EXPECT_EQ(again.sigma_within, c.sigma_within);
    EXPECT_EQ(again.chart.mean_ucl, c.chart.mean_ucl);
    EXPECT_EQ(again.chart.spread_ucl, c.chart.spread_ucl);

    // Taken back in, the loose part widens the limits.
    std::vector<Subgroup> back = all;
    back[0].left_out.reset();
    const ControlLimits wide = freeze_limits(back);
    EXPECT_EQ(wide.records_used, 4u);
    EXPECT_GT(*wide.sigma_within, *c.sigma_within);
    EXPECT_EQ(wide.first_time->hour, 7);
}

// 10 12 11 15 12: mean 12, moving ranges 2 1 4 3, MR-bar 2.5,
// sigma = 2.5 / 1.128 = 2.2163, limits 12 -+ 2.66 * 2.5 = 5.35 / 18.65,
// MR UCL 3.267 * 2.5 = 8.1675. Leaving out the 15 joins 11 and 12:
// 10 12 11 12, mean 11.25, ranges 2 1 1, MR-bar 4/3.
TEST(FreezeLimits, IndividualsAndMovingRangesAsComputedByHand) {
    std::vector<Subgroup> all;
    for (const char* v : {"10", "12", "11", "15", "12"}) all.push_back(subgroup({v}, 8));
    const ControlLimits c = freeze_limits(all);
    EXPECT_EQ(c.kind, ChartKind::kIndividuals);
    EXPECT_EQ(c.method, SigmaMethod::kMovingRange);
    EXPECT_EQ(c.subgroup_size, 1u);
    EXPECT_EQ(*c.centre, 12.0);
    EXPECT_DOUBLE_EQ(*c.mr_bar, 2.5);
    EXPECT_NEAR(*c.sigma_within, 2.5 / 1.128, 2.5 * 0.0005 / 1.128);
    // The printed factors, to their last digit.
    EXPECT_NEAR((*c.chart.mean_ucl - 12) / 2.5, 2.66, 0.005);
    EXPECT_NEAR((12 - *c.chart.mean_lcl) / 2.5, 2.66, 0.005);
    EXPECT_NEAR(*c.chart.spread_ucl / 2.5, 3.267, 0.0005);
    EXPECT_EQ(*c.chart.spread_lcl, 0.0);
    EXPECT_DOUBLE_EQ(*c.chart.mean_ucl, 12 + 3 * *c.sigma_within);
    EXPECT_EQ(c.chart.zone_sigma, c.sigma_within);
    expect_kept_alike(c, all);

    all[3].left_out = "probe wiped";
    const ControlLimits left = freeze_limits(all);
    EXPECT_DOUBLE_EQ(*left.centre, 11.25);
    EXPECT_DOUBLE_EQ(*left.mr_bar, 4.0 / 3.0);
    EXPECT_EQ(left.records_used, 4u);
    expect_kept_alike(left, all);
}

TEST(FreezeLimits, WhatCannotBeComputedIsAbsent) {
    // One subgroup; no spread at all; individuals that never move.
    const std::vector<Subgroup> one = {subgroup({"1", "2"}, 8)};
    const std::vector<Subgroup> flat = {subgroup({"1", "1"}, 8), subgroup({"1", "1"}, 9)};
    const std::vector<Subgroup> still = {subgroup({"4"}, 8), subgroup({"4"}, 9)};
    for (const auto* groups : {&one, &flat, &still}) {
        const ControlLimits c = freeze_limits(*groups);
        EXPECT_EQ(c.method, SigmaMethod::kNone);
        EXPECT_FALSE(c.sigma_within);
        EXPECT_FALSE(c.chart.mean_ucl);
        EXPECT_FALSE(c.chart.zone_sigma);
        EXPECT_FALSE(c.at(2).mean_ucl);
    }
    EXPECT_FALSE(freeze_limits(std::vector<Subgroup>{}).centre);
}

// Sizes 2 and 4, pooled over 1 + 3 degrees of freedom:
//   0 2: s^2 = 2;  1 2 3 4: s^2 = 5/3;  pooled s = sqrt((2 + 3 * 5/3) / 4)
//   = sqrt(7/4); X-double-bar = 12 / 6 = 2. Each size gets X-double-bar -+ 3 sigma / sqrt(n) and the
// s chart with sigma given: c4(n) sigma, B3 c4 sigma, B4 c4 sigma.
TEST(FreezeLimits, DifferingSizesPoolAndStepPerSize) {
    const std::vector<Subgroup> groups = {subgroup({"0", "2"}, 8),
                                          subgroup({"1", "2", "3", "4"}, 9)};
    const ControlLimits c = freeze_limits(groups);
    EXPECT_TRUE(c.sizes_differ);
    EXPECT_FALSE(c.subgroup_size);
    EXPECT_EQ(c.method, SigmaMethod::kPooled);
    EXPECT_DOUBLE_EQ(*c.sigma_within, std::sqrt(7.0 / 4.0));
    EXPECT_DOUBLE_EQ(*c.centre, 12.0 / 6.0);
    EXPECT_FALSE(c.chart.mean_ucl);
    const ChartLimits four = c.at(4);
    EXPECT_DOUBLE_EQ(*four.mean_ucl, 2 + 3 * std::sqrt(7.0 / 4.0) / 2);
    EXPECT_NEAR(*four.spread_centre, 0.9213 * std::sqrt(7.0 / 4.0), 5e-5 * 1.33);
    EXPECT_NEAR(*four.spread_ucl, 0.9213 * 2.266 * std::sqrt(7.0 / 4.0), 5e-4 * 1.33);
    EXPECT_EQ(*four.spread_lcl, 0.0);
}

}  // namespace
}  // namespace tolvane
