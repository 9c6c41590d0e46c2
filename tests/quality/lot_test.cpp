#include "quality/lot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Records = std::vector<std::vector<Number>>;

Records records(const std::vector<std::vector<std::string>>& texts) {
    Records out;
    for (const auto& values : texts) {
        out.emplace_back();
        for (const auto& text : values) out.back().push_back(*Number::parse(text));
    }
    return out;
}

// Factors for constructing variables control charts, n = 2..25, as printed
// in D. C. Montgomery, Introduction to Statistical Quality Control,
// Appendix VI (reproduced at ltoi.kr/EbReliability/99-EbCreTableControl01.html).
struct TableRow {
    int n;
    double a3, c4, b3, b4;
};
constexpr TableRow kPublished[] = {
    {2, 2.659, 0.7979, 0, 3.267},       {3, 1.954, 0.8862, 0, 2.568},
    {4, 1.628, 0.9213, 0, 2.266},       {5, 1.427, 0.9400, 0, 2.089},
    {6, 1.287, 0.9515, 0.030, 1.970},   {7, 1.182, 0.9594, 0.118, 1.882},
    {8, 1.099, 0.9650, 0.185, 1.815},   {9, 1.032, 0.9693, 0.239, 1.761},
    {10, 0.975, 0.9727, 0.284, 1.716},  {11, 0.927, 0.9754, 0.321, 1.679},
    {12, 0.886, 0.9776, 0.354, 1.646},  {13, 0.850, 0.9794, 0.382, 1.618},
    {14, 0.817, 0.9810, 0.406, 1.594},  {15, 0.789, 0.9823, 0.428, 1.572},
    {16, 0.763, 0.9835, 0.448, 1.552},  {17, 0.739, 0.9845, 0.466, 1.534},
    {18, 0.718, 0.9854, 0.482, 1.518},  {19, 0.698, 0.9862, 0.497, 1.503},
    {20, 0.680, 0.9869, 0.510, 1.490},  {21, 0.663, 0.9876, 0.523, 1.477},
    {22, 0.647, 0.9882, 0.534, 1.466},  {23, 0.633, 0.9887, 0.545, 1.455},
    {24, 0.619, 0.9892, 0.555, 1.445},  {25, 0.606, 0.9896, 0.565, 1.435},
};

TEST(ControlFactors, AgreeWithThePublishedTableToItsLastDigit) {
    for (const TableRow& row : kPublished) {
        SCOPED_TRACE(row.n);
        const ControlFactors f = control_factors(row.n);
        EXPECT_NEAR(f.c4, row.c4, 0.00005 + 1e-12);
        EXPECT_NEAR(f.a3, row.a3, 0.0005 + 1e-12);
        EXPECT_NEAR(f.b3, row.b3, 0.0005 + 1e-12);
        EXPECT_NEAR(f.b4, row.b4, 0.0005 + 1e-12);
    }
}

TEST(ControlFactors, AboveTheTableFollowTheirAsymptotes) {
    // c4 ~ 4(n - 1) / (4n - 3) with an error below 0.05 / n^2; B4 ~ 1 +
    // 3 / sqrt(2(n - 1)), the table's own rule above 25. lgamma keeps
    // n = 1000 finite, where Gamma(n / 2) overflows.
    for (const size_t n : {26, 30, 50, 100, 1000, 10000}) {
        SCOPED_TRACE(n);
        const ControlFactors f = control_factors(n);
        const double m = static_cast<double>(n);
        EXPECT_NEAR(f.c4, 4 * (m - 1) / (4 * m - 3), 0.05 / (m * m));
        EXPECT_NEAR(f.b4, 1 + 3 / std::sqrt(2 * (m - 1)), 0.003);
        EXPECT_DOUBLE_EQ(f.b3, 2 - f.b4);
        EXPECT_DOUBLE_EQ(f.a3 * f.c4 * std::sqrt(m), 3);
    }
}

TEST(Lot, PublishedXBarSExampleOfSevenPairs) {
    // From new.pmean.com/xbarscontrolchartanswers: seven weekly pairs; the
    // published figures were computed from X-double-bar = 1.09 and
    // s-bar = 0.15 rounded, hence the tolerance.
    const LotStatistics lot = compute_lot(
        records({{"1.097", "1.204"},
                 {"1.030", "1.362"},
                 {"0.682", "0.978"},
                 {"0.820", "1.080"},
                 {"1.042", "0.858"},
                 {"1.398", "1.146"},
                 {"1.301", "1.204"}}),
        {});
    EXPECT_NEAR(*lot.grand_mean, 1.09, 0.005);
    EXPECT_NEAR(*lot.s_bar, 0.15, 0.005);
    ASSERT_EQ(lot.points.size(), 7u);
    EXPECT_NEAR(*lot.points[0].mean_ucl, 1.49, 0.015);
    EXPECT_NEAR(*lot.points[0].mean_lcl, 0.69, 0.015);
    EXPECT_NEAR(*lot.points[0].sd_ucl, 0.49, 0.015);
    EXPECT_EQ(*lot.points[0].sd_lcl, 0);
    EXPECT_NEAR(*lot.points[2].sd, 0.209, 0.0005);
    EXPECT_EQ(lot.sigma_source, SigmaSource::kSBarOverC4);
    EXPECT_EQ(lot.subgroup_size, 2u);
    EXPECT_DOUBLE_EQ(*lot.sigma_within, *lot.s_bar / control_factors(2).c4);
    EXPECT_EQ(lot.mean_outside + lot.sd_outside, 0u);
}

TEST(Lot, UnequalSizesPoolTheirVariancesAndGetLimitsPerPoint) {
    // s = 1 (n = 3) and s = sqrt(10) (n = 5): pooled sqrt((2 + 40) / 6) =
    // sqrt(7). The single value has no s; the empty record no point.
    const Limits limits{-10.0, 20.0};
    const LotStatistics lot =
        compute_lot(records({{"1", "2", "3"}, {"2", "4", "6", "8", "10"}, {"5"}, {}}), limits);
    EXPECT_EQ(lot.records, 4u);
    EXPECT_EQ(lot.overall.n, 9u);
    EXPECT_EQ(lot.sigma_source, SigmaSource::kPooled);
    EXPECT_FALSE(lot.subgroup_size);
    const double pooled = std::sqrt(7.0);
    EXPECT_NEAR(*lot.sigma_within, pooled, 1e-14);
    EXPECT_NEAR(*lot.cp, 30 / (6 * pooled), 1e-14);
    EXPECT_NEAR(*lot.cpk, (*lot.overall.mean + 10) / (3 * pooled), 1e-14);
    EXPECT_NEAR(*lot.overall.pp, 30 / (6 * *lot.overall.sd), 1e-14);
    EXPECT_EQ(lot.without_sd, 1u);
    EXPECT_EQ(lot.without_values, 1u);
    ASSERT_EQ(lot.points.size(), 3u);
    EXPECT_NEAR(*lot.grand_mean, 41.0 / 9, 1e-14);
    for (const size_t i : {0, 1}) {
        const ControlFactors f = control_factors(lot.points[i].n);
        EXPECT_NEAR(*lot.points[i].mean_ucl - *lot.grand_mean, f.a3 * pooled, 1e-13);
        EXPECT_NEAR(*lot.points[i].sd_ucl, f.b4 * pooled, 1e-13);
    }
    EXPECT_FALSE(lot.points[2].sd);
    EXPECT_NEAR(*lot.points[2].mean_ucl - *lot.grand_mean, 3 * pooled, 1e-13);
}

// Cp and Cpk take USL - LSL and the distances from the decimals, as Pp does.
TEST(Lot, LimitsNearTenToTheSevenKeepTheirDigits) {
    const LotStatistics lot = compute_lot(
        records({{"1E7", "10000000.1"}, {"10000000.2", "10000000.3"}}), {10000000.1, 10000000.3});
    const double sigma = 0.1 / std::sqrt(2.0) / control_factors(2).c4;
    EXPECT_NEAR(*lot.cp / (0.2 / (6 * sigma)), 1, 1e-15);
    EXPECT_NEAR(*lot.cpk / (0.05 / (3 * sigma)), 1, 1e-15);
}

TEST(Lot, MarksTheRecordsOutsideAndNeedsASpreadForLimits) {
    auto lot = compute_lot(
        records({{"0", "1"}, {"0", "1"}, {"0", "1"}, {"0", "1"}, {"0", "1"}, {"9", "10"},
                 {"0", "1"}, {"0", "1"}, {"0", "1"}, {"0", "1"}, {"0", "1"}, {"-20", "20"}}),
        {});
    EXPECT_TRUE(lot.points[5].mean_outside);
    EXPECT_TRUE(lot.points[11].sd_outside);
    EXPECT_FALSE(lot.points[11].mean_outside);
    EXPECT_EQ(lot.mean_outside, 1u);
    EXPECT_EQ(lot.sd_outside, 1u);

    lot = compute_lot(records({{"1", "1"}, {"2", "2"}, {"3"}}), Limits{0.0, 5.0});
    EXPECT_EQ(lot.sigma_source, SigmaSource::kNone);
    EXPECT_FALSE(lot.sigma_within || lot.cp || lot.cpk || lot.points[0].mean_ucl);
    EXPECT_EQ(lot.mean_outside, 0u);
}

}  // namespace
}  // namespace tolvane
