#include "quality/freezing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "quality/frozen_chart.h"

namespace tolvane {
namespace {

const LocalDateTime kWhen{2026, 12, 8, 9, 30, 0};

Record record(const std::string& description, int minute, std::vector<std::string> values) {
    Record r;
    r.time = LocalDateTime{2026, 12, 1, 8, minute, 0};
    r.description = description;
    for (const std::string& v : values) r.values.push_back({v, Number::parse(v)});
    r.value_count = r.values.size();
    return r;
}

// A lot as the window or the command chooses it: each record with the entry
// its description matches.
Lot lot_of(std::vector<Record> records, const Tolerances& tolerances) {
    Lot lot;
    for (Record& r : records) {
        const auto match = tolerances.find(r.description.value_or(""));
        lot.tolerances.push_back(match ? std::optional(match->entry) : std::nullopt);
        lot.numbers.push_back(lot.records.size() + 1);
        lot.records.push_back(std::move(r));
    }
    complete_lot(lot);
    return lot;
}

std::string contents(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Characteristic, OneForAllOrASentenceNamingThoseFound) {
    testing::MemoryToleranceSettings settings;
    settings.user = {{"Shaft*", 25.0, -0.021, 0.0}};
    Tolerances tolerances(settings);
    tolerances.reload();
    struct Case {
        std::vector<std::string> descriptions;
        std::string pattern, problem;
        bool several = false;
    } cases[] = {
        {{"Shaft 1", "Shaft 2"}, "Shaft*", ""},
        {{"Pin", "Pin"}, "Pin", ""},
        {{"Pin", "Shaft 1"}, "",
         "the records chosen belong to 2 characteristics (\"Pin\", \"Shaft*\"); limits are frozen for one",
         true},
        {{"", ""}, "", "the records chosen have no description: limits are kept with one"},
        {{}, "", "no record is chosen: no limits to freeze"},
    };
    for (const Case& c : cases) {
        std::vector<Record> records;
        for (const std::string& d : c.descriptions) records.push_back(record(d, 0, {"1"}));
        const Characteristic found = characteristic_of(lot_of(records, tolerances));
        EXPECT_EQ(found.pattern.value_or(""), c.pattern) << c.descriptions.size();
        EXPECT_EQ(found.problem, c.problem);
        EXPECT_EQ(found.several, c.several);
    }
}

class FreezingTest : public ::testing::Test {
  protected:
    FreezingTest() {
        settings.user = {{"Shaft*", 25.0, -0.021, 0.0}};
        tolerances.reload();
    }
    // Four records of "Shaft 1", the first left out.
    ToleranceEntry frozen_shaft(std::vector<JournalEntry>& events) {
        const Lot lot = lot_of({record("Shaft 1", 0, {"1", "9", "0"}), record("Shaft 1", 1, {"1", "2", "3"}),
                                record("Shaft 1", 2, {"2", "3", "4"}), record("Shaft 1", 3, {"3", "5", "7"})},
                               tolerances);
        std::vector<Subgroup> subgroups = subgroups_of(lot.records);
        subgroups[0].left_out = "loose part";
        const ControlLimits limits = freeze_limits(subgroups);
        const ToleranceEntry entry =
            entry_to_freeze(lot, "Shaft*", limits, subgroups, kWhen, tests_to_freeze_with(lot));
        events = freezing_events("Shaft*", *entry.control, kWhen, "Åsa");
        return entry;
    }
    testing::WorkDir dir;
    PosixFileSystem files;
    testing::MemoryToleranceSettings settings;
    Tolerances tolerances{settings};
};

TEST_F(FreezingTest, JournalFirstThenTheEntryWithItsToleranceKept) {
    std::vector<JournalEntry> events;
    const ToleranceEntry entry = frozen_shaft(events);
    EXPECT_EQ(entry.nominal, 25.0);
    EXPECT_EQ(entry.lower, -0.021);
    EXPECT_EQ(entry.control->tests, (std::vector<int>{1, 2, 5, 6}));
    EXPECT_EQ(entry.control->records_used, 3u);
    Journal journal(files, "databac-journal.csv");
    ASSERT_TRUE(keep_frozen(journal, tolerances, entry, events).ok());
    EXPECT_EQ(contents("databac-journal.csv"),
              journal_header() +
                  "2026-12-08T09:30:00,2026-12-01T08:00:00,Shaft*,left out,,loose part,,Åsa\r\n"
                  "2026-12-08T09:30:00,,Shaft*,limits frozen,,,\"from 3 records, 1 left out\",Åsa\r\n");
    ASSERT_EQ(settings.user.size(), 1u);
    EXPECT_EQ(settings.user[0], entry);
}

TEST_F(FreezingTest, AJournalThatCannotBeWrittenSavesNothing) {
    std::vector<JournalEntry> events;
    const ToleranceEntry entry = frozen_shaft(events);
    Journal journal(files, "no such folder/databac-journal.csv");
    const Status kept = keep_frozen(journal, tolerances, entry, events);
    EXPECT_FALSE(kept.ok());
    EXPECT_NE(kept.reason().find("no such folder/databac-journal.csv"), std::string::npos) << kept.reason();
    EXPECT_EQ(settings.writes, 0u);
    ASSERT_TRUE(tolerances.set(entry).ok());
    EXPECT_FALSE(remove_frozen(journal, tolerances, entry, kWhen, "Åsa").ok());
    EXPECT_EQ(settings.user[0], entry);
}

TEST_F(FreezingTest, RemovingKeepsTheToleranceOrTakesAnEntryOfLimitsAlone) {
    std::vector<JournalEntry> events;
    ToleranceEntry entry = frozen_shaft(events);
    ToleranceEntry alone{"Pin", std::nullopt, std::nullopt, std::nullopt, entry.control};
    ASSERT_TRUE(tolerances.set(entry).ok());
    ASSERT_TRUE(tolerances.set(alone).ok());
    Journal journal(files, "databac-journal.csv");
    ASSERT_TRUE(remove_frozen(journal, tolerances, entry, kWhen, "Åsa").ok());
    ASSERT_TRUE(remove_frozen(journal, tolerances, alone, kWhen, "Åsa").ok());
    EXPECT_EQ(settings.user, (std::vector<ToleranceEntry>{{"Shaft*", 25.0, -0.021, 0.0}}));
    EXPECT_EQ(contents("databac-journal.csv"),
              journal_header() + "2026-12-08T09:30:00,,Shaft*,limits removed,,,,Åsa\r\n" +
                  "2026-12-08T09:30:00,,Pin,limits removed,,,,Åsa\r\n");
}

// Phase II: individuals 10 11 9 10 frozen, 11 left out;
// a later lot of the same characteristic is judged against them, not its own.
TEST(FrozenChart, TheLotJudgedAgainstFrozenLimitsWithItsMarks) {
    testing::MemoryToleranceSettings settings;
    Tolerances tolerances(settings);
    std::vector<Subgroup> reference;
    for (const char* v : {"10", "11", "9", "10"}) reference.push_back({{*Number::parse(v)}, {}, {}});
    reference[1].time = LocalDateTime{2026, 12, 1, 8, 1, 0};
    reference[1].left_out = "new tool";
    ToleranceEntry entry{"Pin", std::nullopt, std::nullopt, std::nullopt,
                         kept_limits(freeze_limits(reference), reference, kWhen, {1})};
    ASSERT_TRUE(tolerances.set(entry).ok());
    Lot lot = lot_of({record("Pin", 0, {"10"}), record("Pin", 1, {"11"}), record("Pin", 2, {}),
                      record("Pin", 3, {"14"}), record("Pin", 4, {"10"})},
                     tolerances);
    const JournalEntry ack{kWhen, LocalDateTime{2026, 12, 1, 8, 3, 0}, "Pin", JournalEvent::kAcknowledged,
                           {1}, "burr", "deburred", "Åsa"};
    JournalEntry other = ack;
    other.description = "Shaft";
    lot.journal = {ack, other, {kWhen, std::nullopt, "Pin", JournalEvent::kLimitsFrozen, {}, "", "", ""}};
    const std::optional<FrozenChart> chart = frozen_chart(lot);
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->pattern, "Pin");
    ASSERT_EQ(chart->points.size(), 4u);
    std::vector<size_t> records;
    for (const FrozenPoint& p : chart->points) records.push_back(p.record);
    EXPECT_EQ(records, (std::vector<size_t>{0, 1, 3, 4}));
    // Used 10 9 10: centre 9.6667, MR-bar 1, UCL 12.327; 14 beyond it, its
    // moving range 3 within the MR UCL 3.267.
    EXPECT_NEAR(*chart->points[2].limits.mean_ucl, 29.0 / 3 + 2.66, 2e-3);
    EXPECT_EQ(chart->points[2].tests, (std::vector<int>{1}));
    EXPECT_TRUE(chart->points[1].tests.empty());
    EXPECT_EQ(chart->points[0].spread, std::nullopt);
    EXPECT_EQ(chart->points[1].left_out, "new tool");
    EXPECT_EQ(chart->points[0].left_out, std::nullopt);
    EXPECT_EQ(chart->points[2].causes, (std::vector<std::string>{"burr"}));
    EXPECT_TRUE(chart->points[3].causes.empty());
    EXPECT_EQ(lot_events(lot), (std::vector<JournalEntry>{ack}));

    // Of another characteristic too, or without frozen limits: none.
    lot = lot_of({record("Pin", 0, {"10"}), record("Shaft", 1, {"11"})}, tolerances);
    EXPECT_FALSE(frozen_chart(lot));
    lot = lot_of({record("Shaft", 0, {"10"}), record("Shaft", 1, {"11"})}, tolerances);
    EXPECT_FALSE(frozen_chart(lot));
}

}  // namespace
}  // namespace tolvane
