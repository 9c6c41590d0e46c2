#include "quality/statistics.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "fakes/fake_tolerance_settings.h"
#include "quality/tolerances.h"

namespace tolvane {
namespace {

using Texts = std::vector<std::string>;

// NIST StRD NumAcc2..4: the first value, then 500 pairs below and above it.
Texts num_acc(const std::string& mid, const std::string& low, const std::string& high) {
    Texts values{mid};
    for (int i = 0; i < 500; ++i) {
        values.push_back(low);
        values.push_back(high);
    }
    return values;
}

// Correct significant digits of x against the certified c (NIST's LRE).
double digits(double x, double c) {
    return x == c ? 17 : -std::log10(std::fabs(x - c) / std::fabs(c));
}

struct Figure {
    std::optional<double> expected;
    double min_digits = 15;
};

struct StatsCase {
    const char* name;
    Texts values;
    Limits limits;
    Figure mean, sd, pp, ppk;
    size_t below = 0, above = 0;
};

void expect_figure(const char* what, const std::optional<double>& got, const Figure& want) {
    SCOPED_TRACE(what);
    ASSERT_EQ(got.has_value(), want.expected.has_value());
    if (got) {
        EXPECT_GE(digits(*got, *want.expected), want.min_digits) << *got;
    }
}

class Statistics : public ::testing::TestWithParam<StatsCase> {};

TEST_P(Statistics, MatchCertifiedAndHandValues) {
    const StatsCase& c = GetParam();
    std::vector<Number> numbers;
    for (const std::string& text : c.values)
        numbers.push_back(*Number::parse(text));
    const auto s = compute_statistics(numbers, c.limits);
    EXPECT_EQ(s.n, c.values.size());
    expect_figure("mean", s.mean, c.mean);
    expect_figure("sd", s.sd, c.sd);
    expect_figure("pp", s.pp, c.pp);
    expect_figure("ppk", s.ppk, c.ppk);
    EXPECT_EQ(s.below, c.below);
    EXPECT_EQ(s.above, c.above);
    EXPECT_EQ(s.share_out.has_value(), c.limits.any() && s.n > 0);
}

const Limits kNone{};
INSTANTIATE_TEST_SUITE_P(
    , Statistics,
    ::testing::Values(
        // Certified values; the exact decimals beat the required 14 / 9 / 8 digits.
        StatsCase{"NumAcc1", {"10000001", "10000003", "10000002"}, kNone, {10000002}, {1}, {}, {}},
        StatsCase{"NumAcc2", num_acc("1.2", "1.1", "1.3"), kNone, {1.2}, {0.1, 14}, {}, {}},
        StatsCase{"NumAcc3",
                  num_acc("1000000.2", "1000000.1", "1000000.3"),
                  kNone,
                  {1000000.2},
                  {0.1, 14},
                  {},
                  {}},
        StatsCase{"NumAcc4",
                  num_acc("10000000.2", "10000000.1", "10000000.3"),
                  kNone,
                  {10000000.2},
                  {0.1, 14},
                  {},
                  {}},
        // One value, and equal values: nothing that needs a spread.
        StatsCase{"OneValue", {"25"}, {24, 26}, {25}, {}, {}, {}},
        StatsCase{"EqualValues", {"3.5", "3.5", "3.5"}, {3, 4}, {3.5}, {0}, {}, {}},
        // Values exactly on the limits are within; mean 2, sd 1.
        StatsCase{"OnTheLimits", {"1", "2", "3"}, {1, 3}, {2}, {1}, {1.0 / 3}, {1.0 / 3}},
        StatsCase{"OutsideBothSides",
                  {"0.5", "2", "3.5"},
                  {1, 3},
                  {2},
                  {1.5},
                  {2.0 / 9},
                  {2.0 / 9},
                  1,
                  1},
        // Only an upper limit: Ppk from it, no Pp.
        StatsCase{
            "UpperOnly", {"0.01", "0.02", "0.03"}, {std::nullopt, 0.05}, {0.02}, {0.01}, {}, {1}},
        StatsCase{"LowerOnly", {"10", "12", "14"}, {4, std::nullopt}, {12}, {2}, {}, {4.0 / 3}},
        StatsCase{"NoValues", {}, {1, 2}, {}, {}, {}, {}},
        // Limits near 10^7 with a span of 0.2: USL - LSL and the distances
        // from their decimals, not from doubles 1.9e-9 apart.
        StatsCase{"LimitsNearTenToTheSeven",
                  {"1E7", "10000000.1"},
                  {10000000.1, 10000000.3},
                  {10000000.05},
                  {0.1 / std::sqrt(2.0)},
                  {std::sqrt(2.0) / 3},
                  {-std::sqrt(2.0) / 6},
                  1}),
    [](const auto& info) { return std::string(info.param.name); });

// Values that only have a double (no text) take the two-pass road: still
// the required digits on the hardest set.
TEST(StatisticsOfDoubles, NumAcc4) {
    std::vector<double> values{10000000.2};
    for (int i = 0; i < 500; ++i)
        values.insert(values.end(), {10000000.1, 10000000.3});
    const auto s = compute_statistics(values);
    EXPECT_GE(digits(*s.mean, 10000000.2), 14);
    EXPECT_GE(digits(*s.sd, 0.1), 8);
}

TEST(Numbers, ReadInTheFilesFormOnly) {
    EXPECT_EQ(Number::parse(" .5")->value(), 0.5);
    EXPECT_EQ(Number::parse("1.5E+15")->value(), 1.5e15);
    EXPECT_EQ(Number::parse("-0.021")->value(), -0.021);
    for (const char* bad : {"", "1,5", "abc", "1.2.3", "inf", "nan", "1e999", "0x10", "1e"})
        EXPECT_FALSE(Number::parse(bad).has_value()) << bad;
    // The same double as from_chars gives, on the quick road and the other.
    for (int64_t digits = 1; digits < 1'000'000'000'000'000; digits = digits * 7 + 3) {
        for (const char* exponent : {"E-22", "E-9", "E-3", "E+0", "E+7", "E+22", "E-23", "E+300"}) {
            const std::string text = std::to_string(digits) + exponent;
            double want = 0;
            const bool in_range =
                std::from_chars(text.data(), text.data() + text.size(), want).ec == std::errc();
            const auto got = Number::parse(text);
            ASSERT_EQ(got.has_value(), in_range) << text;
            if (got) {
                EXPECT_EQ(got->value(), want) << text;
            }
        }
    }
}

// A value written as the limit lies on the limit that nominal and deviation give.
TEST(Tolerances, LimitsFromNominalHoldTheirValues) {
    const Limits limits = limits_of({"Shaft", 25, -0.021, 0.0});
    EXPECT_EQ(verdict(Number::parse("24.979")->value(), limits), Verdict::kWithin);
    EXPECT_EQ(verdict(Number::parse("24.9789")->value(), limits), Verdict::kLow);
    EXPECT_EQ(verdict(Number::parse("25.0001")->value(), limits), Verdict::kHigh);
    // 0.1 + 0.2 is 0.30000000000000004 in doubles.
    EXPECT_EQ(verdict(Number::parse("0.3")->value(), limits_of({"X", 0.1, 0.2, 1})),
              Verdict::kWithin);
}

struct MatchCase {
    const char* description;
    const char* pattern;  // nullptr: none applies
    bool from_user;
};

TEST(Tolerances, LongestMatchWinsAndTheUserOverTheComputer) {
    testing::MemoryToleranceSettings settings;
    settings.computer = {{"Shaft*", {}, 1, 2}, {"Shaft D25*", {}, 3, 4}, {"Bore", {}, 5, 6}};
    settings.user = {{"Shaft D25*", {}, 7, 8},
                     {"Shaft D25 lot 17", {}, 9, 10},
                     {"Shaft D25 lot 17*", {}, 11, 12}};
    const Tolerances tolerances(settings);
    for (const MatchCase& c :
         std::initializer_list<MatchCase>{{"Shaft D25 lot 17", "Shaft D25 lot 17", true},
                                          {"Shaft D25 lot 170", "Shaft D25 lot 17*", true},
                                          {"Shaft D25 lot 3", "Shaft D25*", true},
                                          {"Shaft D30", "Shaft*", false},
                                          {"Bore", "Bore", false},
                                          {"Bore 2", nullptr, false},
                                          {"shaft D25", nullptr, false}}) {
        SCOPED_TRACE(c.description);
        const auto match = tolerances.find(c.description);
        ASSERT_EQ(match.has_value(), c.pattern != nullptr);
        if (!match) continue;
        EXPECT_EQ(match->entry.pattern, c.pattern);
        EXPECT_EQ(match->from_user, c.from_user);
    }
}

TEST(Tolerances, BadInputIsRefusedAndNothingSaved) {
    testing::MemoryToleranceSettings settings;
    Tolerances tolerances(settings);
    const double inf = INFINITY;
    for (const auto& [entry, message] :
         std::initializer_list<std::pair<ToleranceEntry, const char*>>{
             {{"", {}, 1, 2}, "Give the description"},
             {{"A", {}, 2, 2}, "The lower limit must be below the upper limit."},
             {{"A", {}, 3, 2}, "The lower limit must be below the upper limit."},
             {{"A", 25, 0.01, -0.01}, "The lower deviation must be below"},
             {{"A", {}, {}, {}}, "Give a lower or an upper limit."},
             {{"A", {}, -inf, 1}, "not a finite number"},
             {{"A", NAN, 0, 1}, "nominal value is not a finite number"},
             {{"A", {}, 0, 10, std::nullopt, Scale::kLog}, "the limits must be above 0"},
             {{"A", 5, -6, 1, std::nullopt, Scale::kLog}, "the limits must be above 0"}}) {
        const Status status = tolerances.set(entry);
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.reason().find(message), std::string::npos) << status.reason();
    }
    EXPECT_TRUE(settings.user.empty());

    // A save that fails keeps what was there.
    ASSERT_TRUE(tolerances.set({"A", {}, {}, 0.02}).ok());
    settings.failing = "Read-only file system";
    EXPECT_EQ(tolerances.set({"A", {}, 0, 1}).reason(), "Read-only file system");
    EXPECT_EQ(tolerances.find("A")->limits, (Limits{std::nullopt, 0.02}));
    settings.failing.clear();
    ASSERT_TRUE(tolerances.remove("A").ok());
    EXPECT_FALSE(tolerances.find("A").has_value());

    // Frozen control limits alone make an entry: a characteristic with no
    // tolerance yet.
    ASSERT_TRUE(tolerances.set({"B", {}, {}, {}, FrozenControl{}}).ok());
    EXPECT_FALSE(tolerances.find("B")->limits.any());
    // So does the log scale.
    ASSERT_TRUE(tolerances.set({"C", {}, {}, {}, std::nullopt, Scale::kLog}).ok());
    // An edit of the tolerance keeps the frozen limits, on their own scale only.
    FrozenControl frozen;
    frozen.centre = 2;
    ASSERT_TRUE(tolerances.set({"D", {}, {}, {}, frozen, Scale::kLog}).ok());
    ASSERT_TRUE(tolerances.set_tolerance({"D", {}, 10, 1000, std::nullopt, Scale::kLog}).ok());
    EXPECT_EQ(tolerances.find("D")->entry.control, frozen);
    EXPECT_EQ(tolerances.find("D")->limits, (Limits{10, 1000}));
    const Status rescaled = tolerances.set_tolerance({"D", {}, 10, 1000});
    EXPECT_NE(rescaled.reason().find("frozen on the other scale"), std::string::npos);
    EXPECT_EQ(tolerances.find("D")->entry.scale, Scale::kLog);
}

}  // namespace
}  // namespace tolvane
