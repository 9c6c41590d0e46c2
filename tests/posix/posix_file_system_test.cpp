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

// Faults that only some file systems give (a network share's late close, a
// truncate refused), through the adapter's seam; the directories synced.
struct Faults {
    bool close = false, fsync = false, truncate = false;
} g_faults;
std::vector<std::string> g_synced_dirs;

int failed(int) {
    errno = EIO;
    return -1;
}
int faulty_close(int fd) {
    return g_faults.close ? failed(::close(fd)) : ::close(fd);
}
int faulty_fsync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))
        return g_faults.fsync ? failed(fd) : ::fsync(fd);
    g_synced_dirs.push_back(fs::read_symlink("/proc/self/fd/" + std::to_string(fd)));
    return ::fsync(fd);
}
int faulty_truncate(int fd, off_t size) {
    return g_faults.truncate ? failed(fd) : ::ftruncate(fd, size);
}

class WithFaults : public PosixFileSystemTest {
  protected:
    void SetUp() override { posix_calls = {faulty_close, faulty_truncate, faulty_fsync}; }
    void TearDown() override { posix_calls = saved_; }
    const PosixCalls saved_ = posix_calls;
};

// An append whose bytes are on the disk is saved; one that is not is taken
// back before it fails; either way the retry leaves the record there once.
class AppendFault : public WithFaults, public ::testing::WithParamInterface<Faults> {};

TEST_P(AppendFault, NeverMakesASecondCopy) {
    ASSERT_TRUE(files.replace("d.txt", "h\r\n").ok());
    g_faults = GetParam();
    const bool saved = files.append("d.txt", "r\r\n", {}).ok();
    g_faults = {};
    EXPECT_EQ(saved, !GetParam().fsync || GetParam().truncate);
    if (!saved) {  // the backup file's retry
        ASSERT_TRUE(files.append("d.txt", "r\r\n", {}).ok());
    }
    EXPECT_EQ(contents("d.txt"), "h\r\nr\r\n");
}

// A close that fails after the sync; a sync that fails, taken back or not.
INSTANTIATE_TEST_SUITE_P(Faults, AppendFault,
                         ::testing::Values(Faults{true, false, false}, Faults{false, true, false},
                                           Faults{false, true, true}));

// The file of unsaved records: named by the process, never over another,
// private, its folders made and synced; a relative XDG_STATE_HOME is no
// place (the home's is used).
TEST_F(WithFaults, WriteAsideNamesItsProcessAndSyncsItsFolders) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const fs::path work = work_.path(), dir = work / "new/state/tolvane",
                   home_dir = work / "home/.local/state/tolvane";
    const std::string pid = std::to_string(::getpid());
    std::string first, second, third;
    ::setenv("XDG_STATE_HOME", (work / "new/state").c_str(), 1);
    ASSERT_TRUE(files.write_aside("d-1.txt", "one", first).ok());
    ASSERT_TRUE(files.write_aside("d-1.txt", "two", second).ok());
    ::setenv("XDG_STATE_HOME", "relative", 1);
    ::setenv("HOME", (work / "home").c_str(), 1);
    EXPECT_TRUE(files.write_aside("d-1.txt", "three", third).ok());
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_STATE_HOME");

    EXPECT_EQ(first, (dir / ("d-1-" + pid + ".txt")).string());
    EXPECT_EQ(second, (dir / ("d-1-" + pid + "-2.txt")).string());
    EXPECT_EQ(third, (home_dir / ("d-1-" + pid + ".txt")).string());
    EXPECT_EQ(contents(first) + contents(second), "onetwo");
    EXPECT_EQ(fs::status(first).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(dir).permissions(), fs::perms::owner_all);
    // Each folder made, in its parent; each file in its folder.
    EXPECT_EQ(g_synced_dirs,
              (std::vector<std::string>{work, work / "new", work / "new/state", dir, dir, work,
                                        work / "home", work / "home/.local",
                                        work / "home/.local/state", home_dir}));
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
