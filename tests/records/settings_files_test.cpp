#include "records/settings_files.h"

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"

namespace tolvane {
namespace {

TEST(SettingsFiles, FileFormsAreByteExact) {
    EXPECT_EQ(com_file_text(2), "2\r\n");
    EXPECT_EQ(com_file_text(-3), "-3\r\n");
    EXPECT_EQ(num_meas_file_text(80), " 80 \r\n");
    EXPECT_EQ(num_meas_file_text(100), " 100 \r\n");
    EXPECT_EQ(num_meas_file_text(-5), "-5 \r\n");
}

TEST(SettingsFiles, FirstStartInAnEmptyDirectory) {
    testing::MemoryFileSystem files;
    EXPECT_EQ(load_num_meas(files), 80);
    EXPECT_EQ(load_com_port(files), 1);
    EXPECT_EQ(files.files[kComFileName], "1\r\n");
    EXPECT_FALSE(files.exists(kNumMeasFileName));
}

TEST(SettingsFiles, SavedValuesLoadAgain) {
    testing::MemoryFileSystem files;
    ASSERT_TRUE(save_num_meas(files, 95).ok());
    ASSERT_TRUE(save_com_port(files, 3).ok());
    EXPECT_EQ(files.files[kNumMeasFileName], " 95 \r\n");
    EXPECT_EQ(files.files[kComFileName], "3\r\n");
    EXPECT_EQ(load_num_meas(files), 95);
    EXPECT_EQ(load_com_port(files), 3);
    for (int16_t n : {int16_t{7}, int16_t{120}, int16_t{-5}, int16_t{0}}) {
        ASSERT_TRUE(save_num_meas(files, n).ok());
        EXPECT_EQ(load_num_meas(files), n);
    }
}

TEST(SettingsFiles, OnlyTheFirstFieldCounts) {
    testing::MemoryFileSystem files;
    files.files[kComFileName] = "2\r\n4\r\n";
    EXPECT_EQ(load_com_port(files), 2);
    files.files[kComFileName] = " 3,4\r\n";
    EXPECT_EQ(load_com_port(files), 3);
    files.files[kNumMeasFileName] = "\"85\"\r\n";
    EXPECT_EQ(load_num_meas(files), 85);
}

TEST(SettingsFiles, BadContentGivesTheDefaults) {
    testing::MemoryFileSystem files;
    for (const char* bad : {"", "\r\n", "abc\r\n", "95abc\r\n", "40000\r\n", "-32769\r\n", ".\r\n",
                            "1e2\r\n", "- 5\r\n"}) {
        files.files[kNumMeasFileName] = bad;
        files.files[kComFileName] = bad;
        EXPECT_EQ(load_num_meas(files), 80) << bad;
        EXPECT_EQ(load_com_port(files), 1) << bad;
    }
    files.unreadable[kNumMeasFileName] = "Is a directory";
    files.unreadable[kComFileName] = "Permission denied";
    EXPECT_EQ(load_num_meas(files), 80);
    EXPECT_EQ(load_com_port(files), 1);
}

TEST(SettingsFiles, ComFileThatCannotBeCreatedGivesPortOne) {
    testing::MemoryFileSystem files;
    files.failing[kComFileName] = "Read-only file system";
    EXPECT_EQ(load_com_port(files), 1);
    EXPECT_FALSE(files.exists(kComFileName));
}

TEST(SettingsFiles, WriteFailuresReachTheCaller) {
    testing::MemoryFileSystem files;
    files.files[kNumMeasFileName] = " 85 \r\n";
    files.failing[kNumMeasFileName] = "Permission denied";
    const Status saved = save_num_meas(files, 95);
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(saved.reason(), "Permission denied");
    EXPECT_EQ(files.files[kNumMeasFileName], " 85 \r\n");
}

TEST(ParseSettingNumber, WholeNumbersSignsAndRange) {
    EXPECT_EQ(parse_setting_number(" 95 "), 95);
    EXPECT_EQ(parse_setting_number("+7"), 7);
    EXPECT_EQ(parse_setting_number("-5"), -5);
    EXPECT_EQ(parse_setting_number("007"), 7);
    EXPECT_EQ(parse_setting_number("32767"), 32767);
    EXPECT_EQ(parse_setting_number("-32768"), -32768);
    EXPECT_FALSE(parse_setting_number("32768"));
    EXPECT_FALSE(parse_setting_number("99999999999999999999"));
    EXPECT_FALSE(parse_setting_number(""));
    EXPECT_FALSE(parse_setting_number("-"));
}

TEST(ParseSettingNumber, FractionsRoundHalfToEven) {
    EXPECT_EQ(parse_setting_number("85.5"), 86);
    EXPECT_EQ(parse_setting_number("84.5"), 84);
    EXPECT_EQ(parse_setting_number("84.50001"), 85);
    EXPECT_EQ(parse_setting_number("84.4999"), 84);
    EXPECT_EQ(parse_setting_number("-2.5"), -2);
    EXPECT_EQ(parse_setting_number("-3.5"), -4);
    EXPECT_EQ(parse_setting_number(".5"), 0);
    EXPECT_EQ(parse_setting_number("5."), 5);
    EXPECT_FALSE(parse_setting_number("32767.5"));
    EXPECT_FALSE(parse_setting_number("1.2.3"));
}

}  // namespace
}  // namespace tolvane
