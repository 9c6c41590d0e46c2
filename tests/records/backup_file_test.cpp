#include "records/backup_file.h"

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"
#include "records/meas_table.h"

namespace tolvane {
namespace {

using Rows = std::vector<std::string>;

class BackupFileTest : public ::testing::Test {
  protected:
    // One block's record, as the poll writes it.
    bool record(const std::vector<double>& values) {
        backup.append_backup_record_open(clock.now());
        for (double v : values)
            backup.append_backup_record_value(v, meas_text(v, clock.separator));
        return backup.append_backup_record_close();
    }
    std::string& file() { return files.files[kBackupFileName]; }

    testing::MemoryFileSystem files;
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList lst_backup;
    testing::FakeTextBox txt_backupdes;
    BackupFile backup{files, clock, dialogs, lst_backup, txt_backupdes};
};

TEST(DateTimeField, FullOrDateAloneAtMidnight) {
    EXPECT_EQ(date_time_field({2026, 12, 6, 5, 54, 7}), "#2026-12-06 05:54:07#");
    EXPECT_EQ(date_time_field({2026, 12, 7, 0, 0, 0}), "#2026-12-07#");
    EXPECT_EQ(date_time_field({2026, 1, 2, 0, 0, 1}), "#2026-01-02 00:00:01#");
    EXPECT_EQ(parse_date_time_field("#2026-12-06 05:54:07#"),
              (LocalDateTime{2026, 12, 6, 5, 54, 7}));
    EXPECT_EQ(parse_date_time_field("#2024-02-29#"), (LocalDateTime{2024, 2, 29, 0, 0, 0}));
    for (const char* bad : {"#2026-02-29#", "#2026-13-01#", "#2026-12-06 24:00:00#", "2026-12-06",
                            "#2026-12-06 05:54#", "#20x6-12-06#", "##"}) {
        EXPECT_FALSE(parse_date_time_field(bad)) << bad;
    }
}

TEST_F(BackupFileTest, FirstStartCreatesTheHeaderAndListsIt) {
    backup.load_backup_list();
    EXPECT_EQ(file(), "\"Backup Data\"\r\n");
    EXPECT_EQ(file().size(), 15u);
    EXPECT_EQ(lst_backup.rows, Rows{"Backup Data"});
}

TEST_F(BackupFileTest, RecordWithoutDescription) {
    backup.load_backup_list();
    ASSERT_TRUE(record({1.23, 45.6, 700}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n1.23\r\n45.6\r\n700\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"Backup Data", "6.12.2026 5:54:07", "1.23", "45.6", "700"}));
    EXPECT_EQ(files.appends, 1);  // the whole record in one write
}

TEST_F(BackupFileTest, DescriptionFollowsTheTimeStamp) {
    file() = kBackupHeader;
    txt_backupdes.value = "run 2";
    ASSERT_TRUE(record({1.5e15}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n\"run 2\"\r\n1.5E+15\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"6.12.2026 5:54:07", "run 2", "1.5E+15"}));

    txt_backupdes.value = "   ";  // blanks are a description; empty is none
    file() = kBackupHeader;
    lst_backup.rows.clear();
    ASSERT_TRUE(record({5}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n\"   \"\r\n5\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"6.12.2026 5:54:07", "   ", "5"}));
}

// The row shows the stamped moment, even when the clock turns over meanwhile.
TEST_F(BackupFileTest, TimeStampRowShowsTheStampedMoment) {
    clock.times = {{2026, 12, 6, 23, 59, 59}, {2026, 12, 7, 0, 0, 0}};
    ASSERT_TRUE(record({5}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 23:59:59#\r\n5\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"6.12.2026 23:59:59", "5"}));
}

TEST_F(BackupFileTest, NumberFieldsUseAPointWhateverTheRegion) {
    clock.separator = ",";
    ASSERT_TRUE(record({0, 0.01, 999e12, 9.99e15, 4.109999999999999, 200.99999999999997}));
    EXPECT_EQ(
        file(),
        "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n0\r\n0.01\r\n999000000000000\r\n9.99E+15\r\n"
        "4.11\r\n201\r\n");
    EXPECT_EQ(lst_backup.rows[2], "0,01");  // the list follows the region
}

TEST_F(BackupFileTest, MidnightStampIsTheDateAlone) {
    clock.times = {{2026, 12, 7, 0, 0, 0}};
    ASSERT_TRUE(record({5}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-07#\r\n5\r\n");
}

TEST_F(BackupFileTest, DeletedFileIsCreatedWithItsHeaderByTheNextBlock) {
    backup.load_backup_list();
    files.files.clear();
    ASSERT_TRUE(record({5}));
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n5\r\n");
}

TEST_F(BackupFileTest, FileReadsBackRowForRow) {
    backup.load_backup_list();
    for (const char* description : {"", "Sample A", "a, b", "say \"hi\"", "\"", "\"lead",
                                    "20 \u00B0C \u2013 \u00B5m", "  "}) {
        txt_backupdes.value = description;
        ASSERT_TRUE(record({1.23, 0.5, 3449999999999999.5}));
    }
    EXPECT_NE(file().find("\"20 \xB0"
                          "C \x96 \xB5m\""),
              std::string::npos);  // Windows-1252

    testing::FakeList reloaded;
    BackupFile again{files, clock, dialogs, reloaded, txt_backupdes};
    again.load_backup_list();
    EXPECT_EQ(reloaded.rows, lst_backup.rows);
}

TEST_F(BackupFileTest, LoadedTimeStampsUseTheRegionalTextUnlessMalformed) {
    file() =
        "\"Backup Data\"\r\n#2026-12-07#\r\n#2026-02-30 01:00:00#\r\n\"#2026-12-07#\"\r\n.5\r\n";
    backup.load_backup_list();
    EXPECT_EQ(lst_backup.rows,
              (Rows{"Backup Data", "7.12.2026", "#2026-02-30 01:00:00#", "#2026-12-07#", ".5"}));
}

TEST_F(BackupFileTest, UnreadableFileAtStartUpLeavesTheListEmptyQuietly) {
    file() = "\"Backup Data\"\r\n";
    files.unreadable[kBackupFileName] = "Permission denied";
    backup.load_backup_list();
    EXPECT_TRUE(lst_backup.rows.empty());
    EXPECT_TRUE(dialogs.messages.empty());

    testing::MemoryFileSystem read_only;
    read_only.failing[kBackupFileName] = "Read-only file system";
    BackupFile cannot_create{read_only, clock, dialogs, lst_backup, txt_backupdes};
    cannot_create.load_backup_list();
    EXPECT_TRUE(lst_backup.rows.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

// A file that stops taking writes while blocks keep coming: one message, the
// records wait in order and are written whole once it takes writes again.
TEST_F(BackupFileTest, FailingEpisodeKeepsEveryRecordAndSaysSoTwice) {
    backup.load_backup_list();
    files.failing[kBackupFileName] = "No space left on device";
    for (int second = 1; second <= 3; ++second) {
        clock.times = {{2026, 12, 6, 5, 54, second}};
        EXPECT_FALSE(record({1.0 * second}));
    }
    EXPECT_EQ(dialogs.messages,
              Rows{"The measurements could not be saved in the backup file databac.txt (No space "
                   "left on device). The records are kept and will be saved as soon as the file "
                   "can be written."});
    EXPECT_EQ(file(), kBackupHeader);
    EXPECT_EQ(lst_backup.rows, Rows{"Backup Data"});  // the list mirrors the file

    files.failing.clear();
    clock.times = {{2026, 12, 6, 5, 54, 4}};
    ASSERT_TRUE(record({4}));
    EXPECT_EQ(file(),
              "\"Backup Data\"\r\n#2026-12-06 05:54:01#\r\n1\r\n#2026-12-06 05:54:02#\r\n2\r\n"
              "#2026-12-06 05:54:03#\r\n3\r\n#2026-12-06 05:54:04#\r\n4\r\n");
    EXPECT_EQ(lst_backup.rows.size(), 1u + 4 * 2);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1],
              "The backup file databac.txt can be written again: 3 records that waited have been "
              "saved.");
    EXPECT_EQ(backup.waiting_records(), 0u);

    // A new episode is a new message; a retry without a block ends it.
    files.failing[kBackupFileName] = "Permission denied";
    EXPECT_FALSE(record({5}));
    backup.save_waiting_records();
    EXPECT_EQ(dialogs.messages.size(), 3u);
    files.failing.clear();
    backup.save_waiting_records();
    ASSERT_EQ(dialogs.messages.size(), 4u);
    EXPECT_EQ(dialogs.messages[3],
              "The backup file databac.txt can be written again: 1 record that waited has been "
              "saved.");
}

// At the end, records the file refuses go to a file of its own format that
// can be appended to it; only when that fails too are they lost.
TEST_F(BackupFileTest, AtTheEndWaitingRecordsAreTriedOnceMoreThenKeptAside) {
    backup.load_backup_list();
    files.failing[kBackupFileName] = "No space left on device";
    record({1});
    record({2});
    backup.save_waiting_records_at_end();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    const std::string aside = "/state/databac-unsaved-2026-12-06-055407.txt";
    EXPECT_EQ(dialogs.messages[1],
              "2 records could not be saved in the backup file databac.txt (No space left on "
              "device). They were saved in " +
                  aside +
                  " instead, in the same format. To add them to /lab/databac.txt, append that "
                  "file without its first line: tail -n +2 \"" +
                  aside + "\" >> \"/lab/databac.txt\"");
    EXPECT_EQ(files.files[aside],
              "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n1\r\n#2026-12-06 05:54:07#\r\n2\r\n");
    EXPECT_EQ(backup.waiting_records(), 0u);

    record({3});
    files.failing["aside"] = "Read-only file system";
    backup.save_waiting_records_at_end();
    EXPECT_EQ(dialogs.messages.back(),
              "1 record could not be saved in the backup file databac.txt (No space left on "
              "device) nor in " +
                  aside + " (Read-only file system). It is lost.");

    files.failing.clear();
    backup.save_waiting_records_at_end();
    EXPECT_EQ(dialogs.messages.size(), 3u);  // saved: nothing more to say
    EXPECT_EQ(lst_backup.rows.size(), 1u + 2);
}

// Records that waited were never in the file the user chose to clear: they
// follow the new header.
TEST_F(BackupFileTest, ClearKeepsRecordsThatWait) {
    backup.load_backup_list();
    ASSERT_TRUE(record({1}));
    files.failing[kBackupFileName] = "No space left on device";
    record({2});
    files.failing.clear();
    backup.cmd_backup_click();
    EXPECT_EQ(file(), "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n2\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"Backup Data", "6.12.2026 5:54:07", "2"}));
}

TEST_F(BackupFileTest, ClearAnsweredNoChangesNothing) {
    backup.load_backup_list();
    ASSERT_TRUE(record({5}));
    const std::string before = file();
    const Rows rows_before = lst_backup.rows;
    dialogs.answer_yes = false;
    backup.cmd_backup_click();
    EXPECT_EQ(dialogs.questions, Rows{"Delete Backup Data File?"});
    EXPECT_EQ(file(), before);
    EXPECT_EQ(lst_backup.rows, rows_before);
}

TEST_F(BackupFileTest, ClearAnsweredYesLeavesTheHeaderAlone) {
    backup.load_backup_list();
    ASSERT_TRUE(record({5}));
    backup.cmd_backup_click();
    EXPECT_EQ(file(), "\"Backup Data\"\r\n");
    EXPECT_EQ(lst_backup.rows, Rows{"Backup Data"});
}

TEST_F(BackupFileTest, FailedClearIsReportedAndKeepsTheRecords) {
    backup.load_backup_list();
    ASSERT_TRUE(record({5}));
    const std::string before = file();
    const Rows rows_before = lst_backup.rows;
    files.failing[kBackupFileName] = "Permission denied";
    backup.cmd_backup_click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              "The backup file databac.txt could not be cleared (Permission denied). It was left "
              "as it was.");
    EXPECT_EQ(file(), before);
    EXPECT_EQ(lst_backup.rows, rows_before);
}

}  // namespace
}  // namespace tolvane
