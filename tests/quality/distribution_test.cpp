#include "quality/distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "quality/lot.h"
#include "quality/statistics.h"

namespace tolvane {
namespace {

// z of a probability, against published tables (Abramowitz and Stegun 26.2):
// and back through the cdf, to the last digits in both tails.
TEST(NormalDistribution, QuantilesOfTheTablesAndBack) {
    for (const auto& [p, z] : std::initializer_list<std::pair<double, double>>{
             {0.5, 0.0},
             {0.975, 1.959963984540054},
             {0.99865, 2.999976992703401},
             {0.00135, -2.999976992703393},
             {0.3, -0.5244005127080407},
             {1e-10, -6.361340902404056}}) {
        SCOPED_TRACE(p);
        EXPECT_NEAR(normal_quantile(p), z, 4e-15 * std::max(1.0, std::fabs(z)));
        EXPECT_NEAR(normal_cdf(normal_quantile(p)) / p, 1, 1e-13);
    }
    EXPECT_DOUBLE_EQ(normal_quantile(0.99865), kZ99865);
    EXPECT_TRUE(std::isnan(normal_quantile(0)));
    EXPECT_TRUE(std::isnan(normal_quantile(1)));
}

// Logs of mean 2 and sd 0.5 / ln 10: a lognormal of mu = ln 100 and
// sigma = 0.5, against LSL 10 and USL 1000.
std::vector<double> lognormal_sample(size_t pairs) {
    const double sd = 0.5 / std::numbers::ln10;
    // Pairs 2 -+ d_i with sum d_i^2 = sd^2 (2 pairs - 1) / 2: mean 2, s = sd.
    std::vector<double> steps;
    double sum = 0;
    for (size_t i = 1; i <= pairs; ++i) {
        steps.push_back(double(i));
        sum += double(i * i);
    }
    const double scale = sd * std::sqrt((2.0 * double(pairs) - 1) / 2 / sum);
    std::vector<double> values;
    for (const double d : steps) {
        values.push_back(std::pow(10.0, 2 - d * scale));
        values.push_back(std::pow(10.0, 2 + d * scale));
    }
    return values;
}

TEST(Capability, LognormalAnchorsByBothMethods) {
    const Limits limits{10, 1000};
    for (const size_t pairs : {1u, 20u}) {
        SCOPED_TRACE(pairs);
        const std::vector<double> values = lognormal_sample(pairs);
        const Fit fit = fit_values(values, limits, Scale::kLog);
        ASSERT_TRUE(fit.pp && fit.ppk && fit.percentile && fit.gmean && fit.gsd);
        EXPECT_NEAR(*fit.gmean, 100, 1e-10);
        EXPECT_NEAR(*fit.gsd, std::exp(0.5), 1e-12);
        // Z-score: (3 - 1) / 6 s_log = 2 ln 10 / 3.
        EXPECT_NEAR(*fit.pp, 1.5351, 5e-5);
        EXPECT_NEAR(*fit.pp, 2 * std::numbers::ln10 / 3, 1e-12);
        EXPECT_NEAR(*fit.ppk, *fit.pp, 1e-12);
        // Percentiles 100 e^(-+0.5 z): Pp = 990 / (X99.865 - X0.135).
        const double hi = 100 * std::exp(0.5 * kZ99865), lo = 100 * std::exp(-0.5 * kZ99865);
        EXPECT_NEAR(fit.percentile->x50, 100, 1e-10);
        EXPECT_NEAR(*fit.percentile->pp, 2.3248, 5e-5);
        EXPECT_NEAR(*fit.percentile->pp, 990 / (hi - lo), 1e-12);
        EXPECT_NEAR(*fit.percentile->ppk, 1.1585, 5e-5);
        EXPECT_NEAR(*fit.percentile->ppk, 90 / (100 - lo), 1e-12);
    }
}

// On the linear scale the percentiles of the fitted normal are mean -+
// 2.99998 s, so both methods agree to 8 parts in a million, one side or two.
TEST(Capability, PercentileMethodAgreesWithTheClassicOnNormalData) {
    const std::vector<double> values{74.030, 74.002, 74.019, 73.992, 74.008, 73.995, 73.992,
                                     74.001, 74.011, 74.004, 73.988, 74.024, 74.021, 74.005};
    for (const Limits& limits : {Limits{73.95, 74.05}, Limits{std::nullopt, 74.05},
                                 Limits{73.99, std::nullopt}}) {
        const Statistics s = compute_statistics(values, limits);
        const Fit fit = fit_values(values, limits, Scale::kLinear);
        ASSERT_TRUE(fit.percentile && fit.percentile->ppk && s.ppk);
        EXPECT_NEAR(*fit.percentile->ppk / *s.ppk, 1, 1e-5);
        EXPECT_EQ(fit.percentile->pp.has_value(), s.pp.has_value());
        if (s.pp) {
            EXPECT_NEAR(*fit.percentile->pp / *s.pp, 1, 1e-5);
        }
        EXPECT_EQ(fit.pp, s.pp);
        EXPECT_FALSE(fit.gmean);
    }
}

// The p-value's four pieces meet where they hand over, and give the
// significance of the published critical values of A2* (D'Agostino and
// Stephens 1986, table 4.7, case 3).
TEST(AndersonDarling, PValueAcrossItsPiecesAndTheCriticalValues) {
    for (const double at : {0.2, 0.34, 0.6})
        EXPECT_NEAR(anderson_darling_p(at - 1e-12), anderson_darling_p(at), 0.006) << at;
    for (const auto& [a2, p] : std::initializer_list<std::pair<double, double>>{
             {0.561, 0.15}, {0.631, 0.10}, {0.752, 0.05}, {0.873, 0.025}, {1.035, 0.01}})
        EXPECT_NEAR(anderson_darling_p(a2) / p, 1, 0.03) << a2;
    // Below 0.2 the p rises to 1; far above, it is tiny, never below 0.
    EXPECT_GT(anderson_darling_p(0.1), 0.95);
    EXPECT_LE(anderson_darling_p(0.0), 1.0);
    EXPECT_GE(anderson_darling_p(40), 0.0);
    EXPECT_LT(anderson_darling_p(40), 1e-50);
}

// The fuel consumption of the 32 cars of the 1974 Motor Trend tests
// (Henderson and Velleman 1981), for which R's nortest publishes
// A = 0.57968, p-value = 0.1207.
TEST(AndersonDarling, PublishedExample) {
    const std::vector<double> mpg{21.0, 21.0, 22.8, 21.4, 18.7, 18.1, 14.3, 24.4, 22.8, 19.2, 17.8,
                                  16.4, 17.3, 15.2, 10.4, 10.4, 14.7, 32.4, 30.4, 33.9, 21.5, 15.5,
                                  15.2, 13.3, 19.2, 27.3, 26.0, 30.4, 15.8, 19.7, 15.0, 21.4};
    const std::optional<NormalityTest> t = anderson_darling(mpg);
    ASSERT_TRUE(t);
    EXPECT_NEAR(t->a2, 0.57968, 5e-6);
    EXPECT_NEAR(t->a2_star, 0.57968 * (1 + 0.75 / 32 + 2.25 / 1024), 1e-5);
    EXPECT_NEAR(t->p, 0.1207, 5e-5);
    EXPECT_TRUE(t->normal());
}

TEST(AndersonDarling, LognormalDataFailOnTheLinearScaleAndPassOnTheLog) {
    // 10^(2 + 0.5 z) at the normal scores of 40 plotting positions: exactly
    // lognormal in shape, wildly skewed on a linear axis.
    std::vector<double> values;
    for (int i = 1; i <= 40; ++i)
        values.push_back(std::pow(10.0, 2 + 0.5 * normal_quantile((i - 0.375) / 40.25)));
    const Fit linear = fit_values(values, {}, Scale::kLinear);
    ASSERT_TRUE(linear.normality);
    EXPECT_FALSE(linear.normality->normal());
    EXPECT_TRUE(linear.log_fits_better);
    EXPECT_TRUE(linear.log_may_fit);
    EXPECT_EQ(normality_words(linear, [](double x) { return std::to_string(x).substr(0, 5); }),
              "Not normal (AD p < 0.005): indices that assume a normal distribution may "
              "mislead; the logarithmic scale fits better");
    const Fit log = fit_values(values, {}, Scale::kLog);
    ASSERT_TRUE(log.normality);
    EXPECT_GT(log.normality->p, 0.25);
    EXPECT_LT(log.normality->a2, 0.2);
    EXPECT_NEAR(log.normality->a2_star, log.normality->a2 * (1 + 0.75 / 40 + 2.25 / 1600), 1e-15);
    EXPECT_EQ(normality_words(log, round_trip_text).rfind("Normal (AD p = ", 0), 0u);
    // An outlier 10^12 times the others lies beyond where erfc reaches 0:
    // still a finite A2, and a test that fails.
    std::vector<double> outlier(200, 1.0);
    for (size_t i = 0; i < outlier.size(); ++i) outlier[i] += 0.001 * double(i % 7);
    outlier.push_back(1e12);
    const Fit far = fit_values(outlier, {}, Scale::kLinear);
    ASSERT_TRUE(far.normality);
    EXPECT_TRUE(std::isfinite(far.normality->a2)) << far.normality->a2;
    EXPECT_GT(far.normality->a2, 30);
    EXPECT_LT(far.normality->p, 1e-100);
    // Below 8 values, or without a spread, there is no test.
    EXPECT_EQ(normality_words(fit_values(std::span(values).first(7), {}, Scale::kLog)), "\u2014");
    EXPECT_FALSE(fit_values(std::vector<double>(9, 5.0), {}, Scale::kLinear).normality);
}

// A value of 0 or below has no logarithm: it is counted and left out of
// every figure, the lot's too; the hint is for the linear scale only.
TEST(LogScale, ValuesWithoutALogarithmAreCountedAndLeftOut) {
    const std::vector<Number> values{Number::of(10), Number::of(0), Number::of(1000),
                                     Number::of(100)};
    const Fit fit = fit_values(values, Limits{1, 10000}, Scale::kLog);
    EXPECT_EQ(fit.n, 3u);
    EXPECT_EQ(not_positive_words(fit.not_positive, fit.negative), "1 value is 0: no logarithm");
    const Fit negative = fit_values(std::vector<double>{-5, 0, 0, 10}, {}, Scale::kLog);
    EXPECT_EQ(not_positive_words(negative.not_positive, negative.negative),
              "3 values are 0 or below: no logarithm");
    EXPECT_EQ(not_positive_words(0), "");
    EXPECT_NEAR(*fit.gmean, 100, 1e-12);
    EXPECT_NEAR(*fit.gsd, 10, 1e-12);
    EXPECT_NEAR(*fit.pp, 4.0 / 6, 1e-15);
    EXPECT_FALSE(fit.log_may_fit);
    EXPECT_FALSE(fit_values(values, {}, Scale::kLinear).log_may_fit);  // a 0: no log scale
    EXPECT_EQ(limits_in_scale(Limits{0, 100}, Scale::kLog), (Limits{std::nullopt, 2}));

    // The lot: its figures are of the logs; from_scale gives them back as values.
    const std::vector<std::vector<Number>> records{{Number::of(10), Number::of(100)},
                                                   {Number::of(0), Number::of(1000)},
                                                   {Number::of(100), Number::of(1000)}};
    const LotStatistics lot = compute_lot(records, Limits{1, 10000}, Scale::kLog);
    EXPECT_EQ(lot.scale, Scale::kLog);
    EXPECT_EQ(lot.not_positive, 1u);
    EXPECT_EQ(lot.overall.n, 5u);
    EXPECT_NEAR(from_scale(*lot.grand_mean, lot.scale), *lot.fit.gmean, 1e-12);
    ASSERT_EQ(lot.points.size(), 3u);
    EXPECT_EQ(lot.points[1].n, 1u);
    EXPECT_NEAR(lot.points[2].mean, 2.5, 1e-15);
    ASSERT_TRUE(lot.cp);
    EXPECT_NEAR(*lot.cp, 4 / (6 * *lot.sigma_within), 1e-12);
}

}  // namespace
}  // namespace tolvane
