#include "records/backup_rows.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "fakes/fake_controls.h"
#include "posix/posix_file_system.h"

namespace tolvane {
namespace {

using Rows = std::vector<std::string>;

// The rows as the list held them when it copied the whole file.
Rows rows_read_whole(const std::string& bytes, ClockLocale& clock) {
    Rows rows;
    FieldReader reader(bytes);
    while (!reader.at_end())
        rows.push_back(loaded_row(reader.next_field(), clock));
    return rows;
}

Rows all_rows(BackupRows& source) {
    Rows rows;
    for (size_t i = 0; i < source.row_count(); ++i)
        rows.push_back(source.row(i));
    return rows;
}

// Rows per block and bytes per read: tiny ones put block starts and reads
// at every place in a line.
class BackupRowsTest : public ::testing::TestWithParam<BackupRows::Tuning> {
  protected:
    void expect_rows_as_read_whole(const std::string& bytes) {
        files.files["f"] = bytes;
        Status failure = Status::success();
        auto rows = BackupRows::open(files.open_readable("f", failure), clock, GetParam());
        ASSERT_TRUE(rows);
        EXPECT_EQ(all_rows(*rows), rows_read_whole(bytes, clock)) << ::testing::PrintToString(bytes);
        // Backwards too, so blocks are read again out of order.
        for (size_t i = rows->row_count(); i-- > 0;)
            ASSERT_EQ(rows->row(i), rows_read_whole(bytes, clock)[i]) << i;
    }

    testing::MemoryFileSystem files;
    testing::FakeClock clock;
};

TEST_P(BackupRowsTest, RowsAreThoseOfTheWholeFileRead) {
    const std::string padding(70, 'x');  // lines longer than a 64-byte window
    for (const std::string& bytes : {
             std::string("\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n\"run 2, with \"quotes\"\"\r\n"
                         "1.23\r\n0.5\r\n#2026-12-07#\r\n1.5E+15\r\n"),
             std::string("\"a\",b,c\r\nd,\"e,f\"x,g\r\n  \"h\r\n\t\"i\"\"\r\nj\"k\"\r\n"),
             std::string("lf\nonly\ncr\ronly\r\rmixed\r\n\n\r\nlast without end"),
             std::string("trailing comma,\r\n,\r\n,,\r\nx,"),
             std::string("\"open quote to the end"),
             std::string("\"Sample \xB5m \x96 20 \xB0"
                         "C\"\r\n   \r\n  "),
             std::string(""),
             std::string("\r\n"),
             "\"" + padding + "\",\"" + padding + "\r\n" + padding + "," + padding + "\r",
         }) {
        expect_rows_as_read_whole(bytes);
    }
}

TEST_P(BackupRowsTest, RandomFilesReadAsTheWholeFile) {
    const std::vector<std::string> pieces = {"a", "17", " ", "\t", ",", "\"", "\r", "\n",
                                             "\r\n", "#2026-12-07#", "#2026-12-06 05:54:07#",
                                             "\xB5"};
    std::mt19937 random(350);
    for (int n = 0; n < 300; ++n) {
        std::string bytes;
        const size_t count = random() % 200;
        for (size_t i = 0; i < count; ++i)
            bytes += pieces[random() % pieces.size()];
        expect_rows_as_read_whole(bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, BackupRowsTest,
                         ::testing::Values(BackupRows::Tuning{1, 128}, BackupRows::Tuning{3, 130},
                                           BackupRows::Tuning{128, 256 * 1024}));

// Another program cuts, replaces or deletes the file while the list shows it.
TEST(BackupRowsFile, ChangedUnderTheListShowsOnlyWhatWasLoaded) {
    std::string dir = (std::filesystem::temp_directory_path() / "tolvane-rows-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string name = dir + "/databac.txt";
    std::string bytes = "\"Backup Data\"\r\n";
    for (int i = 0; i < 1000; ++i)
        bytes += std::to_string(i) + "\r\n";
    std::ofstream(name, std::ios::binary) << bytes;

    PosixFileSystem files;
    testing::FakeClock clock;
    Status failure = Status::success();
    auto rows = BackupRows::open(files.open_readable(name, failure), clock, {16, 4096});
    ASSERT_TRUE(rows);
    const Rows loaded = all_rows(*rows);
    ASSERT_EQ(loaded.size(), 1001u);

    // Cut to half: the rows still in the file read as before, the others
    // empty; nothing past the cut.
    ASSERT_EQ(::truncate(name.c_str(), static_cast<off_t>(bytes.size() / 2)), 0);
    Rows now = all_rows(*rows);
    ASSERT_EQ(now.size(), loaded.size());
    EXPECT_EQ(now[400], loaded[400]);
    EXPECT_EQ(now[1000], "");
    for (size_t i = 0; i < now.size(); ++i)
        EXPECT_TRUE(now[i].empty() || now[i] == loaded[i]) << i;
    // Cut to nothing and written anew with other lines.
    ASSERT_EQ(::truncate(name.c_str(), 0), 0);
    std::ofstream(name, std::ios::binary) << std::string(bytes.size() + 100, '9');
    now = all_rows(*rows);
    for (size_t i = 0; i < now.size(); ++i)
        EXPECT_TRUE(now[i].empty() || now[i] == loaded[i]) << i;

    // Replaced and deleted: the list keeps the file it opened.
    auto kept = BackupRows::open(files.open_readable(name, failure), clock, {16, 4096});
    const Rows before = all_rows(*kept);
    std::ofstream(name + ".new", std::ios::binary) << "\"Backup Data\"\r\n";
    std::filesystem::rename(name + ".new", name);
    EXPECT_EQ(all_rows(*kept), before);
    std::filesystem::remove(name);
    EXPECT_EQ(all_rows(*kept), before);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tolvane
