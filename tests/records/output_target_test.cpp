#include "records/output_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"

namespace tolvane {
namespace {

void write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

// OUT, then what the refusal says (empty: OUT may be written). The records
// are read from data/databac.txt; every file is made fresh for each case.
struct Case {
    const char* out;
    const char* refusal;
};

TEST(OutputTarget, NeverAnInputNorABackupFile) {
    const Case cases[] = {
        {"data/databac.txt", "data/databac.txt is the file the records are read from; no output replaces it."},
        {"./data/../data/databac.txt", "./data/../data/databac.txt is the same file as data/databac.txt, which the records are read from; no output replaces it."},
        {"symlink.pdf", "symlink.pdf is the same file as data/databac.txt, which the records are read from; no output replaces it."},
        {"hardlink.csv", "hardlink.csv is the same file as data/databac.txt, which the records are read from; no output replaces it."},
        {"read-only.txt", "read-only.txt is the same file as data/databac.txt, which the records are read from; no output replaces it."},
        {"old-backup.txt", "old-backup.txt holds backup data (its first line is \"Backup Data\"); no output replaces it."},
        {"header-only-lf.txt", "header-only-lf.txt holds backup data (its first line is \"Backup Data\"); no output replaces it."},
        {"header-no-end.txt", "header-no-end.txt holds backup data (its first line is \"Backup Data\"); no output replaces it."},
        {"new.pdf", ""},
        {"old-report.pdf", ""},
        {"longer-header.txt", ""},
        {"header-later.txt", ""},
        {"empty.csv", ""},
        {"folder", ""},  // the write itself says why it cannot
    };
    for (const Case& c : cases) {
        testing::WorkDir dir;
        std::filesystem::create_directory("data");
        std::filesystem::create_directory("folder");
        write("data/databac.txt", "\"Backup Data\"\r\n#2026-12-01 08:00:00#\r\n24.99\r\n");
        std::filesystem::create_symlink("data/databac.txt", "symlink.pdf");
        std::filesystem::create_hard_link("data/databac.txt", "hardlink.csv");
        std::filesystem::create_hard_link("data/databac.txt", "read-only.txt");
        ::chmod("read-only.txt", 0444);
        write("old-backup.txt", "\"Backup Data\"\r\n#2020-01-01#\r\n1\r\n");
        write("header-only-lf.txt", "\"Backup Data\"\n");
        write("header-no-end.txt", "\"Backup Data\"");
        write("old-report.pdf", "%PDF-1.4\n");
        write("longer-header.txt", "\"Backup Data\" of 2020\r\n");
        write("header-later.txt", "notes\r\n\"Backup Data\"\r\n");
        write("empty.csv", "");
        PosixFileSystem files;
        const std::optional<std::string> refusal =
            output_refusal(files, c.out, {"data/databac.txt"});
        EXPECT_EQ(refusal.value_or(""), c.refusal) << c.out;
    }
}

}  // namespace
}  // namespace tolvane
