#include "quality/control_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/fake_tolerance_settings.h"

namespace tolvane {
namespace {

// Individuals: ring_individuals (X limits 7 / 13, zones 1 sigma apart,
// MR UCL 3.267 MR-bar = 3.685), tolerance 5 .. 15. X-bar and s: centre 10,
// sigma within 1, n = 4 (X-bar limits 8.5 / 11.5, zone sigma 0.5, s UCL
// B4 s-bar = 2.088). Trend: individuals with test 3 only.
FrozenControl means() {
    FrozenControl c;
    c.sigma_method = FrozenControl::Sigma::kSBarOverC4;
    c.centre = 10;
    c.sigma_within = 1;
    c.subgroup_size = 4;
    c.s_bar = 0.9213;
    return c;
}

struct Step {
    const char* description;  // nullptr: a record without one
    std::vector<const char*> values;
    const char* control;
    size_t out_of_tolerance = 0;
};
struct TrackCase {
    const char* name;
    std::vector<Step> steps;
};

const TrackCase kTracks[] = {
    {"IndividualsAndTheirMovingRange",
     {{"Ring 1", {"10"}, "in control"},
      {"Ring 1", {"14"}, "Test 1; Test 1 (MR)"},
      {"Ring 1", {"16"}, "Test 1, 5", 1},
      {"Ring 1", {}, ""},
      {"Ring 1", {"6.5"}, "Test 1; Test 1 (MR)"}}},
    {"MeansAndTheirSpread",
     {{"Shaft A", {"10", "10.5", "9.5", "10"}, "in control"},
      {"Shaft A", {"11.6", "11.6", "11.6", "11.6"}, "Test 1"},
      {"Shaft A", {"7", "13", "10", "10"}, "Test 1 (s)"}}},
    {"ToleranceWithoutFrozenLimitsAndNoDescription",
     {{"Pin", {"4", "5", "6.5", "7"}, "", 3}, {nullptr, {"1"}, ""}, {"Pin", {"5"}, ""}}},
    // Each characteristic's sequence apart: a Shaft between two Ring points
    // beyond 2 sigma does not break their pair, nor do they break its.
    {"SequencesInterleaved",
     {{"Ring 1", {"12.5"}, "in control"},
      {"Shaft A", {"11.1", "11.1", "11.1", "11.1"}, "in control"},
      {"Ring 1", {"12.5"}, "Test 5"},
      {"Shaft B", {"11.1", "11.1", "11.1", "11.1"}, "Test 5"}}},
    {"TheTestsChosen",
     {{"Trend", {"10"}, "in control"},
      {"Trend", {"20"}, "in control"},
      {"Trend", {"10.2"}, "in control"},
      {"Trend", {"10.3"}, "in control"},
      {"Trend", {"10.4"}, "in control"},
      {"Trend", {"10.5"}, "in control"},
      {"Trend", {"10.6"}, "in control"},
      {"Trend", {"10.7"}, "Test 3"}}},
};

class Tracks : public ::testing::TestWithParam<TrackCase> {};

TEST_P(Tracks, JudgeEachCharacteristicInFileOrder) {
    testing::MemoryToleranceSettings settings;
    settings.user = {{"Ring*", std::nullopt, 5.0, 15.0, testing::ring_individuals({1, 2, 5, 6})},
                     {"Shaft*", std::nullopt, std::nullopt, std::nullopt, means()},
                     {"Pin", 5.0, -0.5, 1.0},
                     {"Trend", std::nullopt, std::nullopt, std::nullopt, testing::ring_individuals({3})}};
    const Tolerances tolerances(settings);
    ControlTrack track(tolerances);
    const std::vector<Step>& steps = GetParam().steps;
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        std::string bytes = "#2026-12-06 05:54:07#\r\n";
        if (steps[i].description) bytes += std::string("\"") + steps[i].description + "\"\r\n";
        for (const char* v : steps[i].values) bytes += std::string(v) + "\r\n";
        const TrackedRecord tracked = track.judge(parse_record(bytes));
        EXPECT_EQ(control_text(tracked.verdict), steps[i].control);
        EXPECT_EQ(tracked.out_of_tolerance, steps[i].out_of_tolerance);
        const std::string broken = steps[i].control;
        EXPECT_EQ(tracked.alarming(), (!broken.empty() && broken != "in control") ||
                                          steps[i].out_of_tolerance > 0);
    }
    ASSERT_EQ(track.judged(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(control_text(track.verdict(i)), steps[i].control) << i;
}

INSTANTIATE_TEST_SUITE_P(ControlTrack, Tracks, ::testing::ValuesIn(kTracks),
                         [](const auto& info) { return std::string(info.param.name); });

Record ring(const char* value) {
    return parse_record(std::string("#2026-12-06 05:54:07#\r\n\"Ring 1\"\r\n") + value + "\r\n");
}

// The last record read again with more values is judged from where its
// sequence stood before it; an earlier change means judging from the start.
TEST(ControlTrack, TheLastRecordJudgedAgainAfterAChange) {
    testing::MemoryToleranceSettings settings;
    settings.user = {{"Ring*", std::nullopt, 5.0, 15.0, testing::ring_individuals({1, 2, 5, 6})}};
    const Tolerances tolerances(settings);
    ControlTrack track(tolerances);
    track.judge(ring("12.5"));
    track.judge(ring("10"));
    track.judge(ring("10"));
    track.changed_from(2);
    EXPECT_EQ(track.judged(), 2u);
    // The second beyond 2 sigma of three: not if the second 10 still counted.
    EXPECT_EQ(control_text(track.judge(ring("12.5")).verdict), "Test 5");
    track.changed_from(5);
    EXPECT_EQ(track.judged(), 3u);
    track.changed_from(0);
    EXPECT_EQ(track.judged(), 0u);
    EXPECT_EQ(control_text(track.verdict(0)), "");
    EXPECT_EQ(control_text(track.judge(ring("12.5")).verdict), "in control");
}

TEST(ControlTrack, AlarmWordsInTheWindowsNumberForm) {
    testing::MemoryToleranceSettings settings;
    settings.user = {{"Ring*", std::nullopt, 5.0, 15.0, testing::ring_individuals({1})}};
    const Tolerances tolerances(settings);
    ControlTrack track(tolerances);
    track.judge(ring("10"));
    const TrackedRecord tracked = track.judge(ring("16.25"));
    EXPECT_EQ(tracked.characteristic, "Ring*");
    const auto comma = [](double x) {
        std::string text = round_trip_text(x);
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    const std::vector<std::string> words = alarm_words(tracked, comma);
    ASSERT_EQ(words.size(), 3u) << words[0];
    EXPECT_EQ(words[0], "x 16,25 above the upper control limit 13 (test 1)");
    EXPECT_EQ(words[1].rfind("MR 6,25 above the upper control limit 3,68", 0), 0u) << words[1];
    EXPECT_EQ(words[2], "1 value out of tolerance");
}

}  // namespace
}  // namespace tolvane
