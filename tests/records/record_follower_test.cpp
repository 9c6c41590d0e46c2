#include "records/record_follower.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "quality/statistics.h"
#include "quality/stats_csv.h"
#include "records/field_reader.h"

namespace tolvane {
namespace {

using State = RecordFollower::State;
constexpr const char* kFile = "databac.txt";
constexpr const char* kHeader = "\"Backup Data\"\r\n";

std::string record(int second, const std::string& description, const std::string& values) {
    std::string bytes = "#2026-12-06 05:54:" + std::string(second < 10 ? "0" : "") +
                        std::to_string(second) + "#\r\n";
    if (!description.empty()) bytes += "\"" + description + "\"\r\n";
    return bytes + values;
}

void write(const std::string& name, const std::string& bytes, bool append = false) {
    std::ofstream(name, std::ios::binary | (append ? std::ios::app : std::ios::trunc)) << bytes;
}

// What the polls of one change of the file told, polled until nothing is
// left to read: as a window sees it over several event-loop turns.
struct Seen {
    bool reset = false;
    size_t first = SIZE_MAX;
};

// Polls until nothing is left to read, at most max_bytes a poll.
class Follower : public ::testing::TestWithParam<size_t> {
  protected:
    Seen settle() {
        Seen seen;
        for (int polls = 0; polls < 1000000; ++polls) {
            const auto change = follower.poll(GetParam());
            seen.reset = seen.reset || change.reset;
            if (change.reset) seen.first = 0;
            seen.first = std::min(seen.first, change.first);
            if (!follower.pending()) return seen;
        }
        ADD_FAILURE() << "the follower never finished reading";
        return seen;
    }
    // Each record's description (or "-") and its values' texts.
    std::vector<std::string> records() {
        std::vector<std::string> all;
        for (size_t i = 0; i < follower.record_count(); ++i) {
            const auto r = follower.record(i);
            std::string text = r ? r->description.value_or("-") : "?";
            for (const RecordValue& v : r ? r->values : std::vector<RecordValue>{})
                text += " " + v.text + (v.number ? "" : "!");
            all.push_back(text);
        }
        return all;
    }
    using Texts = std::vector<std::string>;

    testing::WorkDir dir;
    PosixFileSystem files;
    RecordFollower follower{files, kFile};
};

TEST_P(Follower, CopesWithWhatIsDoneToTheFile) {
    settle();
    EXPECT_EQ(follower.state(), State::kMissing);

    write(kFile, kHeader + record(1, "", "1.23\r\n45.6\r\n") + record(2, "run 2, \"x\"", "7\r\n"));
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(follower.state(), State::kCurrent);
    EXPECT_EQ(records(), (Texts{"- 1.23 45.6", "run 2, \"x\" 7"}));

    // A record still being written: its last line waits for its end.
    write(kFile, record(3, "", "8\r\n9"), true);
    Seen seen = settle();
    EXPECT_FALSE(seen.reset);
    EXPECT_EQ(seen.first, 1u);  // the last record known may have grown
    EXPECT_EQ(records(), (Texts{"- 1.23 45.6", "run 2, \"x\" 7", "- 8"}));
    write(kFile, ".5\r\nabc\r\n", true);
    seen = settle();
    EXPECT_EQ(seen.first, 2u);
    EXPECT_EQ(records().back(), "- 8 9.5 abc!");

    // Clear: cut back to the header in place.
    write(kFile, kHeader);
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(records(), Texts{});

    // Deleted: what was read stays, and the state says so; made again.
    write(kFile, kHeader + record(4, "A", "1\r\n"), true);
    settle();
    std::filesystem::remove(kFile);
    settle();
    EXPECT_EQ(follower.state(), State::kMissing);
    EXPECT_EQ(records(), Texts{"A 1"});
    write(kFile, record(5, "B", "2\r\n"));
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(records(), Texts{"B 2"});

    // Replaced by a rename.
    write("new.txt", kHeader + record(6, "C", "3\r\n") + record(7, "D", "4\r\n"));
    std::filesystem::rename("new.txt", kFile);
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(records(), (Texts{"C 3", "D 4"}));

    // Edited by hand, the size kept; then edited and made longer.
    write(kFile, kHeader + record(6, "C", "5\r\n") + record(7, "D", "4\r\n"));
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(records(), (Texts{"C 5", "D 4"}));
    write(kFile, kHeader + record(6, "C", "5\r\n") + record(7, "E", "4\r\n6\r\n"));
    EXPECT_TRUE(settle().reset);
    EXPECT_EQ(records(), (Texts{"C 5", "E 4 6"}));

    // Something that is no file in its place.
    std::filesystem::remove(kFile);
    std::filesystem::create_directory(kFile);
    settle();
    EXPECT_EQ(follower.state(), State::kUnreadable);
    EXPECT_EQ(follower.problem(), "Is a directory");
    std::filesystem::remove(kFile);
    write(kFile, kHeader + record(8, "F", "1\r\n"));
    settle();
    EXPECT_EQ(follower.state(), State::kCurrent);
    EXPECT_EQ(records(), Texts{"F 1"});
}

// A long file read in steps, then a record appended: the index is the same
// as one reading of the whole, and the append reads only its own bytes.
TEST_P(Follower, ReadsALongFileInStepsAndItsAppends) {
    std::string bytes = kHeader;
    for (int i = 0; i < 5000; ++i)
        bytes += record(i % 60, i % 3 ? "" : "lot, \"#" + std::to_string(i) + "\"",
                        "1.5\r\n2\r\n #3\r\n");
    write(kFile, bytes);
    settle();
    ASSERT_EQ(follower.record_count(), 10000u);  // " #3" begins a record too
    EXPECT_EQ(follower.record(9996)->description, "lot, \"#4998\"");

    write(kFile, record(1, "last", "4\r\n"), true);
    const auto change = follower.poll(SIZE_MAX);
    EXPECT_EQ(change.first, 9999u);
    EXPECT_EQ(change.count, 10001u);
    EXPECT_EQ(follower.indexed_bytes(), bytes.size() + record(1, "last", "4\r\n").size());
    EXPECT_EQ(stats_csv_line(*follower.record(10000), {3.5, std::nullopt}),
              "2026-12-06T05:54:01,last,1,4,,4,4,0,3.5,,0,0,,,,,,,,linear,,,,,,\n");
}

// A record of far more values than the instrument sends, one line of
// hundreds of thousands of fields, fields of megabytes: each is read in
// steps and keeps a bounded part, and is still counted.
TEST(RecordBounds, AbsurdRecordsKeepABoundedPartAndAreCounted) {
    testing::WorkDir dir;
    std::string values;
    for (int i = 0; i < 100000; ++i) values += std::to_string(i % 1000) + "\r\n";
    std::string line;
    for (int i = 0; i < 300000; ++i) line += "7,";
    const std::string huge(3'000'000, '1');
    write(kFile, kHeader + record(1, "many", values) + record(2, "line", line + huge + "\r\n") +
                     record(3, huge, "\"" + huge + "\" skipped, 5\r\n" + huge + "\r\n") +
                     record(4, "after", "1\r\n2\r\n"));
    PosixFileSystem files;
    RecordFollower follower(files, kFile, {4096});
    while (follower.poll(1 << 20).count < 4 || follower.pending()) {}
    ASSERT_EQ(follower.record_count(), 4u);

    std::vector<Record> read;
    ASSERT_TRUE(follower.read_records(0, 4, [&](size_t i, std::optional<Record> r) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->values.size(), follower.record(i)->values.size());
        read.push_back(std::move(*r));
    }));
    ASSERT_EQ(read.size(), 4u);
    const Record& many = read[0];
    EXPECT_EQ(many.value_count, 100000u);
    ASSERT_EQ(many.values.size(), kKeptValues);
    EXPECT_TRUE(many.values_cut());
    EXPECT_EQ(many.values[255].text, "255");
    EXPECT_EQ(compute_statistics(many.numbers()).n, kKeptValues);

    EXPECT_EQ(read[1].value_count, 300001u);
    ASSERT_EQ(read[1].values.size(), kKeptValues);
    EXPECT_EQ(read[1].numbers().size(), kKeptValues);

    // A field past the bound is cut, marked, and no number.
    const Record& wide = read[2];
    EXPECT_EQ(*wide.description, std::string(kKeptFieldBytes, '1') + "…");
    // Its quoted line is cut, the rest of that line (", 5") skipped.
    ASSERT_EQ(wide.value_count, 2u);
    EXPECT_EQ(wide.values[0].text, std::string(kKeptFieldBytes, '1') + "…");
    EXPECT_FALSE(wide.values[0].number);
    EXPECT_FALSE(wide.values[1].number);
    for (const Record& r : read)
        for (const RecordValue& v : r.values) EXPECT_LE(v.text.size(), kKeptFieldBytes + 3);

    EXPECT_EQ(read[3].values.size(), 2u);
    EXPECT_FALSE(read[3].values_cut());
}

// However its bytes are handed in, a record reads as FieldReader reads them.
TEST(RecordReader, ReadsAsFieldReaderInPiecesOfAnySize) {
    const auto flat = [](const Record& r) {
        std::vector<std::string> out{r.time_text, r.description.value_or("-")};
        for (const RecordValue& v : r.values) out.push_back(v.text);
        return out;
    };
    for (const std::string bytes : {
             "#1#\r\n\"d, e\"\r\n1.5\r\n2,7\r\n",
             "#1#\r1\n2\r\n\r\n3",
             "  #1#  \r\n\"say \"hi\" now\" junk,b,\r\n\"x\",\r\n \"q\" z\r\n",
             "#1#,\"open\r\n\"\r\n\"\"\"\"\r\n\"a\" ,c, \r\n",
             "#1#\r\n\"\"\"\"",
             "#1#\r\n\"a\",",
             "#1#\r\n\"a\", ",
             "#1#\r\n2,",
             "#1#\r\n  ",
         }) {
        std::vector<Field> fields;
        for (FieldReader reader(bytes); !reader.at_end();) fields.push_back(reader.next_field());
        const bool described = fields.size() > 1 && fields[1].quoted;
        std::vector<std::string> want{fields[0].text, described ? fields[1].text : "-"};
        for (size_t i = described ? 2 : 1; i < fields.size(); ++i) want.push_back(fields[i].text);
        for (const size_t piece : {size_t{1}, size_t{2}, size_t{5}, bytes.size()}) {
            RecordReader reader;
            for (size_t at = 0; at < bytes.size(); at += piece)
                reader.add(std::string_view(bytes).substr(at, piece));
            const Record r = reader.finish();
            EXPECT_EQ(flat(r), want) << bytes << " in pieces of " << piece;
            EXPECT_EQ(r.value_count, want.size() - 2);
        }
    }
}

// Kept while indexing, the time stamps are those a read of the file gives:
// heads cut by the read chunk, odd fields, a date change, forgotten ones.
TEST_P(Follower, KeepsTheTimeStampsThatTheFileHolds) {
    std::string bytes = kHeader;
    for (int i = 0; i < 300; ++i) {
        const std::string two = std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60);
        const std::string day = i < 150 ? "06" : "07";
        const std::string stamps[] = {"#2026-12-" + day + " 05:54:" + two + "#",
                                      "  #2026-12-" + day + " 05:55:" + two + "#",
                                      "#2026-12-" + day + " 05:56:" + two + "# late",
                                      "#today#", "#2026-12-" + day + " 25:00:00#"};
        const char* middle = i % 3 ? "\r\n" : i % 7 ? "\r\n\"x\"\r\n" : ",\"x\",";
        bytes += stamps[i % 5] + middle + "1." + std::string(i % 11, '5') + "\r\n";
    }
    write(kFile, bytes);
    for (const size_t chunk : {128, 200, 4096}) {
        SCOPED_TRACE("read chunk " + std::to_string(chunk));
        RecordFollower kept(files, kFile, {chunk}), read(files, kFile, {chunk});
        kept.set_keep_times(true);
        while (kept.poll(GetParam()).count < 300 || kept.pending()) {}
        read.poll();
        ASSERT_EQ(kept.record_count(), 300u);
        kept.forget_times(100);
        std::vector<int64_t> want, got;
        size_t bytes_read = 0;
        ASSERT_TRUE(read.read_times(0, 300, want, bytes_read));
        for (size_t first = 0; first < 300; first += 50)
            ASSERT_TRUE(kept.read_times(first, 50, got, bytes_read));
        EXPECT_EQ(got, want);
        EXPECT_EQ(std::count(want.begin(), want.end(), RecordFollower::kNoTime), 180);
    }
}

INSTANTIATE_TEST_SUITE_P(, Follower, ::testing::Values(SIZE_MAX, 7, 4096), [](const auto& info) {
    return info.param == SIZE_MAX ? std::string("AtOnce") : "Steps" + std::to_string(info.param);
});

}  // namespace
}  // namespace tolvane
