#include "quality/journal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "quality/csv_export.h"

namespace tolvane {
namespace {

std::string contents(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

JournalEntry entry(int minute, std::string description, JournalEvent event, std::string cause,
                   std::string action, std::string user) {
    JournalEntry e;
    e.time = {2026, 12, 8, 9, minute, 7};
    e.record_time = LocalDateTime{2026, 12, 8, 8, minute, 0};
    e.description = std::move(description);
    e.event = event;
    e.tests = {1, 5};
    e.cause = std::move(cause);
    e.action = std::move(action);
    e.user = std::move(user);
    return e;
}

// Texts a person types: commas, quotes, a formula's sign, line ends,
// letters beyond ASCII; and an entry about no record and no test.
std::vector<JournalEntry> awkward_entries() {
    std::vector<JournalEntry> entries = {
        entry(1, "Shaft, Ø 25", JournalEvent::kAcknowledged, "tool \"T4\" worn", "=changed", "Åsa Öberg"),
        entry(2, "-slot", JournalEvent::kLeftOut, "line one\r\nline two", "+1 shim", "@night"),
        entry(3, "Bore*", JournalEvent::kLimitsFrozen, "", "", "Jörg"),
        entry(4, "Bore*", JournalEvent::kLimitsRemoved, "naïve, \"quoted\", =all", "", ""),
        entry(5, "Shaft, Ø 25", JournalEvent::kTakenBackIn, "", "", "x"),
    };
    entries[2].record_time.reset();
    entries[2].tests.clear();
    return entries;
}

// An entry as the journal keeps it: each text printable, so one line.
std::vector<JournalEntry> as_kept(std::vector<JournalEntry> entries) {
    for (JournalEntry& e : entries)
        for (std::string* text : {&e.description, &e.cause, &e.action, &e.user})
            *text = printable_text(*text);
    return entries;
}

class JournalTest : public ::testing::Test {
  protected:
    testing::WorkDir work_;
    PosixFileSystem files_;
    const std::string path_ = journal_path((work_.path() / "databac.txt").string());
};

TEST(JournalPath, BesideTheBackupFile) {
    EXPECT_EQ(journal_path("databac.txt"), "databac-journal.csv");
    EXPECT_EQ(journal_path("/lab/run.1/databac.txt"), "/lab/run.1/databac-journal.csv");
    EXPECT_EQ(journal_path("/lab/records"), "/lab/records-journal.csv");
}

TEST_F(JournalTest, RoundTripOfAwkwardTexts) {
    Journal journal(files_, path_);
    const std::vector<JournalEntry> written = awkward_entries();
    for (const JournalEntry& e : written)
        ASSERT_TRUE(journal.append(e).ok());

    const std::string bytes = contents(path_);
    // The header once, then one line an entry: a formula is guarded as in
    // the CSV export, quotes are doubled.
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n", journal_header().size()) + 2),
              "time,record_time,description,event,tests,cause,action,user\r\n"
              "2026-12-08T09:01:07,2026-12-08T08:01:00,\"Shaft, Ø 25\",acknowledged,1 5,"
              "\"tool \"\"T4\"\" worn\",\"\t=changed\",Åsa Öberg\r\n");
    EXPECT_EQ(bytes.find(journal_header(), 1), std::string::npos);

    JournalReader reader;
    const std::vector<JournalEntry> expected = as_kept(written);
    EXPECT_NE(expected[1].cause, written[1].cause);  // its line end is U+FFFD now
    EXPECT_EQ(reader.read(bytes), expected);
    EXPECT_EQ(reader.offset(), bytes.size());
    EXPECT_EQ(reader.skipped(), 0u);
}

// Two windows on one file: each appends, each entry lands whole and in
// order, and a third follower sees every one as it comes.
TEST_F(JournalTest, TwoWritersAndAFollower) {
    Journal first(files_, path_), second(files_, path_);
    JournalReader follower;
    std::vector<JournalEntry> seen, got;
    ASSERT_TRUE(follower.poll(files_, path_, got).ok());  // no journal yet
    EXPECT_TRUE(got.empty());
    const std::vector<JournalEntry> written = as_kept(awkward_entries());
    for (size_t i = 0; i < written.size(); ++i) {
        ASSERT_TRUE((i % 2 == 0 ? first : second).append(written[i]).ok());
        ASSERT_TRUE(follower.poll(files_, path_, got).ok());
        ASSERT_EQ(got.size(), 1u) << i;
        EXPECT_EQ(got[0], written[i]);
        seen.push_back(got[0]);
    }
    ASSERT_TRUE(follower.poll(files_, path_, got).ok());
    EXPECT_TRUE(got.empty());

    JournalReader fresh;
    EXPECT_EQ(fresh.read(contents(path_)), seen);
    EXPECT_EQ(fresh.skipped(), 0u);

    // A journal made again from nothing (deleted, written anew) is read from its start.
    std::filesystem::remove(path_);
    ASSERT_TRUE(second.append(written[4]).ok());
    ASSERT_TRUE(follower.poll(files_, path_, got).ok());
    EXPECT_TRUE(follower.reset());
    EXPECT_EQ(got, std::vector<JournalEntry>{written[4]});
}

// A sync that fails: the entries are taken back, the file is as it was, and
// the message names the journal and the reason.
struct Fault {
    bool fsync = false;
} g_fault;
int faulty_fsync(int fd) {
    if (!g_fault.fsync) return ::fsync(fd);
    errno = EIO;
    return -1;
}

TEST_F(JournalTest, FailedWriteLeavesTheFileAsItWas) {
    Journal journal(files_, path_);
    const std::vector<JournalEntry> written = awkward_entries();
    ASSERT_TRUE(journal.append(written[0]).ok());
    const std::string before = contents(path_);

    const PosixCalls saved = posix_calls;
    posix_calls.fsync = faulty_fsync;
    g_fault.fsync = true;
    // Two entries of one action: neither stays.
    const Status failed = journal.append(std::span(written).subspan(3, 2));
    g_fault.fsync = false;
    posix_calls = saved;

    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.reason(), "The journal " + path_ +
                                   " could not be written (Input/output error), so nothing was "
                                   "changed.");
    EXPECT_EQ(contents(path_), before);
}

// Bytes as another program (or a hand) may leave them: a quoted line end,
// lines that are no entries, a bare LF. Read in two pieces cut at every
// byte, the entries and the count of skipped lines are those of one read.
const std::string kHandMade =
    "time,record_time,description,event,tests,cause,action,user\r\n"
    "2026-12-08T09:00:00,,\"two\r\nlines\",acknowledged,1 5,\"say \"\"hi\"\"\",,Anna\r\n"
    "2026-12-08T09:00:01,,d,acknowledged,9,,,Anna\r\n"              // no such test
    "2026-12-08T09:00:02,,d,forgotten,,,,Anna\r\n"                  // no such event
    "2026-12-08 09:00:03,,d,acknowledged,,,,Anna\r\n"               // no ISO time
    "2026-12-08T09:00:04,,d\"x,acknowledged,,,,Anna\r\n"            // a stray quote
    "2026-12-08T09:00:05,,\"d\"x,acknowledged,,,,Anna\r\n"          // text after a quote
    "2026-12-08T09:00:06,,d,acknowledged,,,Anna\r\n"                // a field short
    "\r\n"
    "2026-12-08T09:00:07,2026-12-08T08:59:59,\"\t=1+1\",left out,3,,,Bo\n";

TEST(JournalReader, ReadsInPiecesAcrossAPartialLastLine) {
    JournalReader whole;
    const std::vector<JournalEntry> all = whole.read(kHandMade);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].description, "two\r\nlines");
    EXPECT_EQ(all[0].cause, "say \"hi\"");
    EXPECT_EQ(all[1].description, "=1+1");
    EXPECT_EQ(all[1].tests, std::vector<int>{3});
    EXPECT_EQ(all[1].record_time, (LocalDateTime{2026, 12, 8, 8, 59, 59}));
    EXPECT_EQ(whole.skipped(), 6u);
    EXPECT_EQ(whole.offset(), kHandMade.size());

    for (size_t cut = 0; cut <= kHandMade.size(); ++cut) {
        JournalReader reader;
        std::vector<JournalEntry> got = reader.read(std::string_view(kHandMade).substr(0, cut));
        EXPECT_LE(reader.offset(), cut);
        // What it has not taken is read again with what came since.
        const std::vector<JournalEntry> rest =
            reader.read(std::string_view(kHandMade).substr(reader.offset()));
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, all) << "cut at " << cut;
        EXPECT_EQ(reader.skipped(), 6u) << "cut at " << cut;
        EXPECT_EQ(reader.offset(), kHandMade.size()) << "cut at " << cut;
    }
}

}  // namespace
}  // namespace tolvane
