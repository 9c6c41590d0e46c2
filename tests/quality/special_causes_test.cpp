#include "quality/special_causes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

// Points in units of sigma around a centre of 0: each pattern just reached
// and just missed, on both sides, with the points it flags (index,
// direction). Only the test of the row is chosen, so that no other one
// interferes.
struct PatternCase {
    const char* name;
    int test;
    std::vector<double> points;
    std::vector<std::pair<size_t, int>> flagged;
};

std::vector<double> repeat(double v, size_t n) { return std::vector<double>(n, v); }
std::vector<double> operator+(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<double> alternating(double first, size_t n) {
    std::vector<double> out;
    for (size_t i = 0; i < n; ++i) out.push_back(i % 2 == 0 ? first : -first);
    return out;
}

const PatternCase kPatterns[] = {
    {"T1Above", 1, {0.5, 3.01}, {{1, 1}}},
    {"T1OnTheUpperLimit", 1, {0.5, 3.0}, {}},
    {"T1Below", 1, {-3.01}, {{0, -1}}},
    {"T1OnTheLowerLimit", 1, {-3.0, -2.99}, {}},
    {"T2NineAbove", 2, repeat(0.1, 9), {{8, 1}}},
    {"T2NineBelowThenATenth", 2, repeat(-0.1, 10), {{8, -1}, {9, -1}}},
    {"T2EightThenTheCentre", 2, repeat(0.1, 8) + std::vector<double>{0.0, 0.1}, {}},
    {"T2EightThenTheOtherSide", 2, repeat(-0.1, 8) + std::vector<double>{0.1}, {}},
    {"T3SixIncreasing", 3, {-0.5, -0.3, -0.1, 0.1, 0.3, 0.5}, {{5, 1}}},
    {"T3SixDecreasing", 3, {0.5, 0.4, 0.3, 0.2, 0.1, 0.0}, {{5, -1}}},
    {"T3FiveThenATie", 3, {0.0, 0.1, 0.2, 0.3, 0.4, 0.4, 0.5}, {}},
    {"T3FiveDecreasingThenUp", 3, {0.5, 0.4, 0.3, 0.2, 0.1, 0.2}, {}},
    {"T4FourteenStartingUp", 4, std::vector<double>{-0.2} + alternating(0.2, 13), {{13, 0}}},
    {"T4FourteenStartingDown", 4, std::vector<double>{0.2} + alternating(-0.2, 13), {{13, 0}}},
    {"T4ThirteenThenTheSameWay", 4, alternating(0.2, 13) + std::vector<double>{0.3}, {}},
    {"T4ThirteenThenATie", 4, alternating(0.2, 13) + std::vector<double>{0.2}, {}},
    {"T5TwoOfThreeAbove", 5, {2.01, 0.5, 2.01}, {{2, 1}}},
    {"T5TwoBelow", 5, {-2.01, -2.5}, {{1, -1}}},
    {"T5TwoOfFour", 5, {2.01, 0.5, 0.5, 2.01}, {}},
    {"T5OneOnTheLine", 5, {2.01, 2.0}, {}},
    {"T5NotAgainByAnInnerPoint", 5, {2.5, 2.5, 0.5}, {{1, 1}}},
    {"T5OppositeSides", 5, {2.5, -2.5, 2.5}, {{2, 1}}},
    {"T6FourOfFiveAbove", 6, {1.01, 1.5, 0.5, 1.01, 1.01}, {{4, 1}}},
    {"T6FourBelow", 6, repeat(-1.5, 4), {{3, -1}}},
    {"T6ThreeOfFive", 6, {1.5, 1.5, 0.5, 0.5, 1.5, 1.5}, {}},
    {"T6OneOnTheLine", 6, {-1.5, -1.5, -1.5, -1.0}, {}},
    {"T7FifteenWithin", 7, alternating(0.5, 14) + std::vector<double>{1.0}, {{14, 0}}},
    {"T7FourteenThenBeyond", 7, alternating(-0.5, 14) + std::vector<double>{-1.01}, {}},
    {"T8EightBeyondBothSides", 8, alternating(1.5, 8), {{7, 0}}},
    {"T8EightBelow", 8, repeat(-1.01, 8), {{7, 0}}},
    {"T8SevenThenOnTheLine", 8, alternating(1.5, 7) + std::vector<double>{1.0}, {}},
};

class Patterns : public testing::TestWithParam<PatternCase> {};

TEST_P(Patterns, FlagThePointThatCompletesThem) {
    const PatternCase& c = GetParam();
    const auto findings = judge_sequence(c.points, Zones(0, 1), TestSet{c.test});
    std::vector<std::pair<size_t, int>> flagged;
    for (size_t i = 0; i < findings.size(); ++i)
        for (const Finding& f : findings[i]) {
            EXPECT_EQ(f.test, c.test);
            flagged.emplace_back(i, f.direction);
        }
    EXPECT_EQ(flagged, c.flagged);
    // The alarm's sentence names the test, and the side where one applies.
    if (!findings.empty() && !findings.back().empty()) {
        RecordJudgement j;
        j.point = c.points.back();
        j.point_findings = findings.back();
        const auto sentences = describe(j, ChartKind::kIndividuals);
        ASSERT_EQ(sentences.size(), 1u);
        const std::string& text = sentences[0];
        EXPECT_NE(text.find("(test " + std::to_string(c.test) + ")"), std::string::npos) << text;
        const int direction = findings.back()[0].direction;
        if (direction != 0) {
            EXPECT_NE(text.find(direction > 0 ? (c.test == 3 ? "increasing" : "above")
                                              : (c.test == 3 ? "decreasing" : "below")),
                      std::string::npos)
                << text;
        }
    }
    // Not chosen, the test flags nothing.
    TestSet others{1, 2, 3, 4, 5, 6, 7, 8};
    others.set(c.test, false);
    for (const auto& at : judge_sequence(c.points, Zones(0, 1), others))
        for (const Finding& f : at) EXPECT_NE(f.test, c.test);
}

INSTANTIATE_TEST_SUITE_P(Tests, Patterns, testing::ValuesIn(kPatterns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TestSet, DefaultsAreTheWesternElectricRules) {
    EXPECT_EQ(TestSet::defaults().numbers(), (std::vector<int>{1, 2, 5, 6}));
}

Subgroup subgroup(std::vector<std::string> texts) {
    Subgroup g;
    for (const auto& t : texts) g.values.push_back(*Number::parse(t));
    return g;
}

// Phase II against the limits of the hand-computed reference period of the
// freezing test (X-double-bar 3.3333, s-bar 1.3333, n = 3: X-bar limits
// 0.7275 / 5.9392, s UCL 3.424, zone sigma 1.5045 / sqrt 3 = 0.8686): new records judged one
// by one, with the sentence an alarm shows.
TEST(ControlJudge, JudgesNewRecordsAgainstFrozenLimits) {
    const std::vector<Subgroup> reference = {subgroup({"1", "2", "3"}), subgroup({"2", "3", "4"}),
                                             subgroup({"3", "5", "7"})};
    ControlJudge judge(freeze_limits(reference), TestSet::defaults());
    const auto at = [&](std::vector<std::string> texts) {
        const Subgroup g = subgroup(std::move(texts));
        return judge.judge(g.values);
    };
    EXPECT_TRUE(at({"3", "3", "4"}).in_control());
    // Mean 6 > 5.9387, s 1: test 1 on the X-bar chart only.
    const RecordJudgement high = at({"5", "6", "7"});
    EXPECT_EQ(high.point_findings, (std::vector<Finding>{{1, 1}}));
    EXPECT_TRUE(high.spread_findings.empty());
    const auto sentences = describe(high, ChartKind::kMeanAndSd);
    ASSERT_EQ(sentences.size(), 1u);
    EXPECT_EQ(sentences[0], "X̄ 6 above the upper control limit " +
                                round_trip_text(*high.limits.mean_ucl) + " (test 1)");
    // Mean 5.1 is beyond centre + 2 zone sigma = 5.0706, the second of
    // three after the 6; its s of 4.43 is beyond the s UCL.
    const RecordJudgement wide = at({"0", "7.3", "8"});
    EXPECT_EQ(wide.point_findings, (std::vector<Finding>{{5, 1}}));
    EXPECT_EQ(wide.spread_findings, (std::vector<Finding>{{1, 1}}));
    const auto two = describe(wide, ChartKind::kMeanAndSd);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], "X̄ 5.1: 2 of 3 points more than 2σ above the centre line (test 5)");
    EXPECT_EQ(two[1].rfind("s 4.", 0), 0u) << two[1];
    EXPECT_FALSE(at({}).point);
}

// Individuals: the moving range is to the last point judged, with test 1
// against the MR UCL (8.17 for the reference 10 12 11 15 12).
TEST(ControlJudge, IndividualsJudgeTheMovingRange) {
    std::vector<Subgroup> reference;
    for (const char* v : {"10", "12", "11", "15", "12"}) reference.push_back(subgroup({v}));
    ControlJudge judge(freeze_limits(reference), TestSet::defaults());
    const auto at = [&](const char* v) {
        const Subgroup g = subgroup({v});
        return judge.judge(g.values);
    };
    EXPECT_FALSE(at("12").spread);
    const RecordJudgement jump = at("3");  // below 5.35, MR 9 above 8.17
    EXPECT_EQ(jump.point_findings, (std::vector<Finding>{{1, -1}}));
    EXPECT_EQ(jump.spread_findings, (std::vector<Finding>{{1, 1}}));
    const auto sentences = describe(jump, ChartKind::kIndividuals);
    ASSERT_EQ(sentences.size(), 2u);
    EXPECT_EQ(sentences[1].rfind("MR 9 above the upper control limit 8.1", 0), 0u) << sentences[1];
}

}  // namespace
}  // namespace tolvane
