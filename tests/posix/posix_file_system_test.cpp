#include "posix/posix_file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "fakes/fake_controls.h"
#include "fakes/work_dir.h"
#include "records/backup_file.h"
#include "records/settings_files.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh working directory, as the program does.
class PosixFileSystemTest : public ::testing::Test {
  protected:
    static std::string contents(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    testing::WorkDir work_;
    PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, ReplaceAppendAndReadBack) {
    EXPECT_FALSE(files.exists("a.txt"));
    ASSERT_TRUE(files.replace("a.txt", "one\r\n").ok());
    ASSERT_TRUE(files.append("a.txt", "two\r\n", {}).ok());
    ASSERT_TRUE(files.append("b.txt", "new\r\n", {}).ok());  // append creates
    std::string bytes;
    ASSERT_TRUE(files.read_all("a.txt", bytes).ok());
    EXPECT_EQ(bytes, "one\r\ntwo\r\n");
    EXPECT_EQ(contents("b.txt"), "new\r\n");
    ASSERT_TRUE(files.replace("a.txt", "x").ok());
    EXPECT_EQ(contents("a.txt"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(work_.path()), {}), 2);  // no temp files left
}

TEST_F(PosixFileSystemTest, ReadingMissingFileOrDirectoryFails) {
    std::string bytes;
    EXPECT_EQ(files.read_all("none", bytes).reason(), "No such file or directory");
    fs::create_directory("dir");
    EXPECT_TRUE(files.exists("dir"));
    EXPECT_EQ(files.read_all("dir", bytes).reason(), "Is a directory");
}

TEST_F(PosixFileSystemTest, ReplaceKeepsModeAndWritesThroughSymlinks) {
    ASSERT_TRUE(files.replace("real.txt", "old").ok());
    ::chmod("real.txt", 0640);
    fs::create_symlink("real.txt", "link.txt");
    ASSERT_TRUE(files.replace("link.txt", "new").ok());
    EXPECT_TRUE(fs::is_symlink("link.txt"));
    EXPECT_EQ(contents("real.txt"), "new");
    struct stat st {};
    ::stat("real.txt", &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PosixFileSystemTest, FailedWritesLeaveTheOldContent) {
    fs::create_directory("databac.txt");
    EXPECT_EQ(files.replace("databac.txt", "x").reason(), "Is a directory");
    EXPECT_EQ(files.append("databac.txt", "x", {}).reason(), "Is a directory");
    EXPECT_TRUE(fs::is_directory("databac.txt"));
}

// A FIFO would block the open until a writer comes, a device may be a serial
// line or swallow what is written: start-up goes on as if the files were
// missing, and nothing is read, written or replaced.
TEST_F(PosixFileSystemTest, FifosAndDevicesAreNeitherReadNorWritten) {
    for (const char* name : {kComFileName, kNumMeasFileName, kBackupFileName})
        ASSERT_EQ(::mkfifo(name, 0666), 0);
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList lst_backup;
    testing::FakeTextBox txt_backupdes;
    BackupFile backup{files, clock, dialogs, lst_backup, txt_backupdes};
    EXPECT_EQ(load_num_meas(files), 80);
    EXPECT_EQ(load_com_port(files), 1);
    backup.load_backup_list();
    EXPECT_TRUE(lst_backup.rows.empty());

    fs::create_symlink("/dev/full", "device");
    for (const char* name : {kBackupFileName, "device"}) {
        EXPECT_EQ(files.append(name, "5\r\n", {}).reason(), "Not a regular file") << name;
        EXPECT_EQ(files.replace(name, "5\r\n").reason(), "Not a regular file") << name;
    }
    for (const char* name : {kComFileName, kNumMeasFileName, kBackupFileName})
        EXPECT_TRUE(fs::is_fifo(name)) << name;
}

TEST_F(PosixFileSystemTest, AppendThatRunsOutOfRoomTakesItsPartBack) {
    ASSERT_TRUE(files.replace("databac.txt", "\"Backup Data\"\r\n").ok());
    // A file size limit lets the write start and then stops it half-way,
    // like a disk that fills up during the write.
    struct rlimit old_limit {};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status appended = files.append("databac.txt", "#2026-12-06 05:54:07#\r\n5\r\n", {});
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(appended.ok());
    EXPECT_EQ(appended.reason(), "File too large");
    EXPECT_EQ(contents("databac.txt"), "\"Backup Data\"\r\n");
}

// A record keeps its own lines whatever the file looks like when it comes:
// edited without a last line end, emptied, or deleted while the program runs.
struct ShapeCase {
    const char* name;
    const char* before;  // nullptr: deleted
    const char* after;
};
class BackupShape : public PosixFileSystemTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(BackupShape, AnAppendKeepsTheFileInLines) {
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList lst_backup;
    testing::FakeTextBox txt_backupdes;
    BackupFile backup{files, clock, dialogs, lst_backup, txt_backupdes};
    backup.load_backup_list();
    fs::remove(kBackupFileName);
    if (GetParam().before) std::ofstream(kBackupFileName, std::ios::binary) << GetParam().before;
    backup.append_backup_record_open(clock.now());
    backup.append_backup_record_value(5, "5");
    EXPECT_TRUE(backup.append_backup_record_close());
    EXPECT_EQ(contents(kBackupFileName), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BackupShape,
    ::testing::Values(ShapeCase{"Deleted", nullptr,
                                "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n5\r\n"},
                      ShapeCase{"Empty", "", "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n5\r\n"},
                      ShapeCase{"NoLastLineEnd", "\"Backup Data\"\r\n2.5",
                                "\"Backup Data\"\r\n2.5\r\n#2026-12-06 05:54:07#\r\n5\r\n"},
                      ShapeCase{"LastLineEndLf", "\"Backup Data\"\n2.5\n",
                                "\"Backup Data\"\n2.5\n#2026-12-06 05:54:07#\r\n5\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
