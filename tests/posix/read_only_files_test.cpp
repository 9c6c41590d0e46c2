// Files the user may not write, on real files. Root may write any file, so
// CTest runs this program as an ordinary user (as_ordinary_user.sh).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "fakes/fake_controls.h"
#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "records/backup_file.h"
#include "records/settings_files.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class ReadOnlyFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(::geteuid(), 0u) << "root may write any file; as_ordinary_user.sh runs this "
                                      "program as uid 65534";
        work_.emplace();
    }
    // A file of this user, in a directory this user may write, read-only.
    static void read_only(const char* name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
        ASSERT_EQ(::chmod(name, 0444), 0);
    }
    static std::string contents(const char* name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    PosixFileSystem files;
    std::optional<testing::WorkDir> work_;
};

TEST_F(ReadOnlyFiles, SettingsFilesAreReadButNotReplaced) {
    read_only(kComFileName, "2\r\n");
    read_only(kNumMeasFileName, " 95 \r\n");
    EXPECT_EQ(load_com_port(files), 2);
    EXPECT_EQ(load_num_meas(files), 95);
    EXPECT_EQ(save_com_port(files, 3).reason(), "Permission denied");
    EXPECT_EQ(save_num_meas(files, 85).reason(), "Permission denied");
    EXPECT_EQ(contents(kComFileName), "2\r\n");
    EXPECT_EQ(contents(kNumMeasFileName), " 95 \r\n");
}

TEST_F(ReadOnlyFiles, BackupFileIsListedButNotCleared) {
    const std::string before = "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n1.23\r\n";
    read_only(kBackupFileName, before);
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList lst_backup;
    testing::FakeTextBox txt_backupdes;
    BackupFile backup{files, clock, dialogs, lst_backup, txt_backupdes};
    backup.load_backup_list();
    const std::vector<std::string> rows = lst_backup.rows;
    ASSERT_EQ(rows.size(), 3u);

    backup.cmd_backup_click();
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"The backup file databac.txt could not be cleared "
                                       "(Permission denied). It was left as it was."});
    EXPECT_EQ(lst_backup.rows, rows);
    EXPECT_EQ(contents(kBackupFileName), before);
}

}  // namespace
}  // namespace tolvane
