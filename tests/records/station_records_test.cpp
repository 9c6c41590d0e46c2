#include "records/station_records.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fakes/fake_controls.h"
#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "records/station_files.h"

namespace tolvane {
namespace {

using Texts = std::vector<std::string>;
constexpr const char* kHeader = "\"Backup Data\"\r\n";
constexpr const char* kNorth = "n/databac.txt";
constexpr const char* kSouth = "s/databac.txt";

// A record `second`s after 05:54:00 (below 0: no valid time stamp)
// described `text`.
std::string record(int second, const std::string& text) {
    const auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    const std::string time =
        second < 0 ? "#today#"
                   : "#2026-12-06 " + two(5 + (54 + second / 60) / 60) + ":" +
                         two((54 + second / 60) % 60) + ":" + two(second % 60) + "#";
    return time + "\r\n\"" + text + "\"\r\n1\r\n";
}

// A change to one file: its new bytes appended, the whole file, or gone.
struct Edit {
    const char* file;
    enum { kAppend, kWrite, kErase } how;
    std::string bytes;
};

struct Step {
    std::vector<Edit> edits;
    Texts records;  // each record's description, in the list's order
    bool reset;
    size_t first;   // the least Change::first of the polls
};

// Polled until nothing is left, at most GetParam() bytes a poll.
class Stations : public ::testing::TestWithParam<size_t> {
  protected:
    std::pair<bool, size_t> settle() {
        bool reset = false;
        size_t first = SIZE_MAX;
        for (int polls = 0; polls < 100000; ++polls) {
            const auto change = stations.poll(GetParam());
            reset = reset || change.reset;
            first = std::min(change.reset ? 0 : first, change.first);
            if (!stations.pending()) return {reset, first};
        }
        ADD_FAILURE() << "never finished";
        return {reset, first};
    }
    // The descriptions by record(i), checked against read_all_records.
    Texts records() {
        Texts one_by_one, all;
        for (size_t i = 0; i < stations.record_count(); ++i)
            one_by_one.push_back(stations.record(i).value_or(Record{}).description.value_or("?"));
        EXPECT_TRUE(stations.read_all_records(
            [&](size_t, Record&& r) { all.push_back(r.description.value_or("?")); }));
        EXPECT_EQ(all, one_by_one);
        return one_by_one;
    }
    static void apply(const Edit& edit) {
        std::filesystem::create_directories(std::filesystem::path(edit.file).parent_path());
        if (edit.how == Edit::kErase)
            std::filesystem::remove(edit.file);
        else
            std::ofstream(edit.file, std::ios::binary | (edit.how == Edit::kWrite
                                                             ? std::ios::trunc
                                                             : std::ios::app))
                << edit.bytes;
    }

    testing::WorkDir dir;
    PosixFileSystem files;
    StationRecords stations{files, {{kNorth, "n"}, {kSouth, "s"}}};
};

TEST_P(Stations, MergesTheFilesInTimeOrderAsTheyChange) {
    using E = Edit;
    const std::vector<Step> steps = {
        // Equal times: the first station first; no valid time: after the
        // record before it in its file.
        {{{kNorth, E::kWrite, kHeader + record(1, "n1") + record(5, "n5") + record(9, "n9")},
          {kSouth, E::kWrite, kHeader + record(2, "s2") + record(5, "s5") + record(-1, "sx")}},
         {"n1", "s2", "n5", "s5", "sx", "n9"}, true, 0},
        // Appends to both; the south's goes before the north's last.
        {{{kNorth, E::kAppend, record(10, "n10")}, {kSouth, E::kAppend, record(7, "s7")}},
         {"n1", "s2", "n5", "s5", "sx", "s7", "n9", "n10"}, false, 4},
        // The north cleared.
        {{{kNorth, E::kWrite, kHeader}}, {"s2", "s5", "sx", "s7"}, true, 0},
        // The south missing: its records stay.
        {{{kSouth, E::kErase, ""}}, {"s2", "s5", "sx", "s7"}, false, 4},
        // ... and back, made anew, while the north gets a record.
        {{{kSouth, E::kWrite, kHeader + record(1, "s1") + record(8, "s8")},
          {kNorth, E::kAppend, record(6, "n6")}},
         {"s1", "n6", "s8"}, true, 0},
        // Late ones: the north's of the same time as the south's newest
        // goes before it, the south's stays after it.
        {{{kNorth, E::kAppend, record(8, "n8")}, {kSouth, E::kAppend, record(6, "s6")}},
         {"s1", "n6", "n8", "s8", "s6"}, false, 1},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        for (const Edit& edit : steps[i].edits) apply(edit);
        const auto [reset, first] = settle();
        EXPECT_EQ(records(), steps[i].records);
        EXPECT_EQ(reset, steps[i].reset);
        EXPECT_EQ(first, steps[i].first);
    }
    EXPECT_EQ(stations.stations()[1].state, StationRecords::State::kCurrent);
}

TEST_P(Stations, ShowsTheChosenStationsOnly) {
    apply({kNorth, Edit::kWrite, kHeader + record(1, "n1") + record(3, "n3")});
    apply({kSouth, Edit::kWrite, kHeader + record(2, "s2") + record(3, "s3")});
    settle();
    const auto stations_of = [&] {
        std::vector<size_t> of;
        for (size_t i = 0; i < stations.record_count(); ++i) of.push_back(stations.station_of(i));
        return of;
    };
    EXPECT_EQ(stations_of(), (std::vector<size_t>{0, 1, 0, 1}));
    stations.set_shown({false, true});
    EXPECT_TRUE(settle().first);  // a reset
    EXPECT_EQ(records(), (Texts{"s2", "s3"}));
    EXPECT_EQ(stations_of(), (std::vector<size_t>{1, 1}));
    // One station shown: its follower's list and changes, one for one.
    apply({kSouth, Edit::kAppend, record(1, "s1")});
    RecordFollower alone(files, kSouth);
    alone.poll();
    const auto [reset, first] = settle();
    EXPECT_FALSE(reset);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(stations.record_count(), alone.record_count());
    stations.set_shown({true, true});
    EXPECT_TRUE(settle().first);  // a reset
    EXPECT_EQ(records(), (Texts{"n1", "s2", "n3", "s3", "s1"}));
    stations.rename_station(0, "north");
    stations.remove_file(1);
    settle();
    EXPECT_EQ(records(), (Texts{"n1", "n3"}));
    EXPECT_EQ(stations.stations()[0].name, "north");
}

// A station's record of the same time as the last of a checkpoint's
// records of a later station: before it, found past the earlier blocks.
TEST_P(Stations, PutsALateRecordBeforeOneOfTheSameTimeFromALaterStation) {
    std::string south = kHeader;
    for (int i = 0; i < 600; ++i) south += record(i, "s" + std::to_string(i));
    apply({kSouth, Edit::kWrite, south});
    apply({kNorth, Edit::kWrite, kHeader});
    settle();
    apply({kNorth, Edit::kAppend, record(255, "late")});
    const auto [reset, first] = settle();
    const Texts all = records();
    ASSERT_EQ(all.size(), 601u);
    EXPECT_FALSE(reset);
    EXPECT_EQ(first, 255u);
    EXPECT_EQ((Texts{all[254], all[255], all[256]}), (Texts{"s254", "late", "s255"}));
}

INSTANTIATE_TEST_SUITE_P(Polls, Stations, ::testing::Values(SIZE_MAX, 7));

struct Expansion {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<StationFile> files;
    std::string error;
};

class StationFilesOf : public ::testing::TestWithParam<Expansion> {};

TEST_P(StationFilesOf, NamesEachFileAfterItsFolder) {
    testing::MemoryFileSystem files;
    for (const char* name :
         {"databac.txt", "/lab/databac.txt", "/lab/a/databac.txt", "/lab/b/databac.txt",
          "/lab/a/deep/databac.txt", "/lab/c/other.txt", "/n/bench/databac.txt",
          "/s/bench/databac.txt"})
        files.files[name] = kHeader;
    const StationFiles got = station_files(files, GetParam().arguments);
    EXPECT_EQ(got.files, GetParam().files);
    EXPECT_EQ(got.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StationFilesOf,
    ::testing::Values(
        Expansion{"AFile", {"databac.txt"}, {{"databac.txt", "lab"}}, ""},
        Expansion{"AFolderAndItsSubfolders", {"/lab"},
                  {{"/lab/a/databac.txt", "a"},
                   {"/lab/b/databac.txt", "b"},
                   {"/lab/databac.txt", "lab"}},
                  ""},
        Expansion{"AFileOnce", {"/lab/b/databac.txt", "/lab/./b/databac.txt", "/lab/"},
                  {{"/lab/b/databac.txt", "b"},
                   {"/lab/a/databac.txt", "a"},
                   {"/lab/databac.txt", "lab"}},
                  ""},
        Expansion{"SameFolderNames", {"/n/bench/databac.txt", "/s/bench/databac.txt", "/lab/a/databac.txt"},
                  {{"/n/bench/databac.txt", "n/bench"},
                   {"/s/bench/databac.txt", "s/bench"},
                   {"/lab/a/databac.txt", "a"}},
                  ""},
        Expansion{"AFolderOfNone", {"/lab/c"},
                  {},
                  "/lab/c: no databac.txt in this folder or in its subfolders"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
