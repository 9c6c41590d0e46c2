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

}  // namespace
}  // namespace tolvane
