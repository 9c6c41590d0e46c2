#include "quality/axis_ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace tolvane {
namespace {

const NumberSymbols kGerman{",", "-", "+", "E"};

struct AxisCase {
    const char* name;
    double low, high;
    int most;
    std::vector<std::string> labels;
};

class Axis : public testing::TestWithParam<AxisCase> {};

TEST_P(Axis, RoundTicksInOneFormAndNoMoreThanAsked) {
    const AxisCase& c = GetParam();
    const AxisTicks ticks = axis_ticks(c.low, c.high, c.most);
    EXPECT_EQ(ticks.labels(kGerman), c.labels);
    EXPECT_LE(ticks.intervals, c.most);
    if (std::isfinite(c.low) && std::isfinite(c.high)) {
        EXPECT_LE(ticks.from, std::min(c.low, c.high));
        EXPECT_GE(ticks.to, std::max(c.low, c.high));
    }
    if (std::min(c.low, c.high) >= 0) {
        EXPECT_GE(ticks.from, 0);
    }
    // 1, 2 or 5 times a power of ten.
    const double mantissa = ticks.step / std::pow(10.0, std::floor(std::log10(ticks.step)));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                std::fabs(mantissa - 5) < 1e-9)
        << ticks.step;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Axis,
    testing::Values(
        AxisCase{"Shafts", 25.3956, 25.4144, 5, {"25,395", "25,400", "25,405", "25,410", "25,415"}},
        AxisCase{"FifteenDecades", 0.01, 9.99e15, 5,
                 {"0E+00", "2E+15", "4E+15", "6E+15", "8E+15", "1E+16"}},
        AxisCase{"FifteenDecadesInTwo", 0.01, 9.99e15, 2, {"0E+00", "5E+15", "1E+16"}},
        AxisCase{"Narrow", 24.98, 25.01, 8,
                 {"24,980", "24,985", "24,990", "24,995", "25,000", "25,005", "25,010"}},
        AxisCase{"Wide", 0, 9970, 5, {"0", "2000", "4000", "6000", "8000", "10000"}},
        AxisCase{"Negative", -0.021, 0.013, 4, {"-0,04", "-0,02", "0,00", "0,02"}},
        AxisCase{"OneValue", 25, 25, 5, {"24,96", "24,98", "25,00", "25,02", "25,04"}},
        AxisCase{"EqualLargeValues", 9.99e15, 9.99e15 + 2, 5,
                 {"9,980E+15", "9,985E+15", "9,990E+15", "9,995E+15", "1,000E+16"}},
        AxisCase{"Zero", 0, 0, 4, {"0,0", "0,5", "1,0"}},
        AxisCase{"NotFinite", NAN, INFINITY, 5,
                 {"0,0", "0,2", "0,4", "0,6", "0,8", "1,0"}},
        AxisCase{"Reversed", 10, 0, 2, {"0", "5", "10"}},
        AxisCase{"OneInterval", 3, 7, 1, {"0", "10"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LogAxisCase {
    const char* name;
    double low, high;
    int most;
    std::vector<std::string> labels;
};

class LogAxis : public testing::TestWithParam<LogAxisCase> {};

TEST_P(LogAxis, DecadesAndTheirStepsAsTheyFit) {
    const LogAxisCase& c = GetParam();
    EXPECT_EQ(log_ticks(c.low, c.high, c.most).labels(kGerman), c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, LogAxis,
    testing::Values(
        LogAxisCase{"FifteenDecadesEveryThird", 0.01, 9.99e15, 6,
                    {"1E+00", "1E+03", "1E+06", "1E+09", "1E+12", "1E+15"}},
        LogAxisCase{"FifteenDecadesEveryFifth", 0.01, 9.99e15, 4, {"1E+00", "1E+05", "1E+10", "1E+15"}},
        LogAxisCase{"ThreeDecadesWithTwoAndFive", 1.5, 320, 10,
                    {"1", "2", "5", "10", "20", "50", "100", "200", "500", "1000"}},
        LogAxisCase{"StepsThatDoNotFitAreLeftOut", 0.012, 0.9, 6, {"0,01", "0,1", "1"}},
        LogAxisCase{"WithinOneDecade", 2, 3, 5, {"1", "2", "5", "10"}},
        LogAxisCase{"OnADecade", 100, 100, 2, {"100", "1000"}},
        LogAxisCase{"ZeroTakesTheOthersDecade", 0, 50, 3, {"10", "100"}},
        LogAxisCase{"BelowTenToTheMinusFourScientific", 2e-5, 0.03, 5,
                    {"1E-05", "1E-04", "1E-03", "1E-02", "1E-01"}},
        LogAxisCase{"NothingAboveZero", -1, 0, 5, {"1", "2", "5", "10"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Over any range of doubles, never more ticks than asked for, each a finite
// value above 0 on the axis, ascending, a decade at each end of the axis.
TEST(LogAxisBound, NeverMoreTicksThanAskedOverAnyRange) {
    for (int most = 0; most <= 21; ++most)
        for (const double low : {1e-300, 1e-20, 0.01, 0.3, 1.0, 7.0, 1e15})
            for (const double high : {0.5, 1.0, 9.99e15, 1e20, 1e300}) {
                if (high < low) continue;
                const LogTicks t = log_ticks(low, high, most);
                ASSERT_LE(t.values.size(), static_cast<size_t>(std::max(2, std::min(most, 20))))
                    << low << ".." << high << " in " << most;
                EXPECT_GE(t.values.size(), 1u) << low << ".." << high << " in " << most;
                EXPECT_LE(std::pow(10.0, t.from_decade), low * (1 + 1e-12));
                EXPECT_GE(std::pow(10.0, t.to_decade), high * (1 - 1e-12));
                for (size_t i = 0; i < t.values.size(); ++i) {
                    EXPECT_TRUE(std::isfinite(t.values[i]) && t.values[i] > 0);
                    EXPECT_GE(std::log10(t.values[i]), t.from_decade - 1e-9);
                    EXPECT_LE(std::log10(t.values[i]), t.to_decade + 1e-9);
                    if (i > 0) {
                        EXPECT_GT(t.values[i], t.values[i - 1]);
                    }
                }
            }
}

}  // namespace
}  // namespace tolvane
