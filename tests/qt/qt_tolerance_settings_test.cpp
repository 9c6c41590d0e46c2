// The tolerances in real settings files: the user's above the computer's.
#include "qt/qt_tolerance_settings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <fstream>

#include <sstream>

#include "fakes/work_dir.h"
#include "quality/tolerances.h"

namespace tolvane {
namespace {

TEST(QtToleranceSettings, UserFileOverComputerFileAndBackAgain) {
    testing::WorkDir dir;
    const std::string user = (dir.path() / "user/tolvane/tolvane.conf").string();
    const std::string computer = (dir.path() / "computer.conf").string();
    std::ofstream(computer)
        << "[tolerances]\n1\\pattern=Shaft D25*\n1\\nominal=25\n"
           "1\\lower=-0.021\n1\\upper=0\n2\\pattern=Bore\n2\\upper=oops\nsize=2\n";
    QtToleranceSettings settings(user, computer);
    Tolerances tolerances(settings);
    EXPECT_EQ(tolerances.computer().size(), 1u);  // the unreadable entry is left out
    EXPECT_FALSE(tolerances.find("Shaft D25 lot 1")->from_user);

    ASSERT_TRUE(tolerances.set({"Shaft D25*", 25, -0.021, 0.1}).ok());
    ASSERT_TRUE(tolerances.set({"Run-out", {}, {}, 0.02}).ok());
    ASSERT_TRUE(tolerances.remove("Run-out").ok());
    // Read afresh from the file: every number back exactly, the user's first.
    QtToleranceSettings again(user, computer);
    Tolerances reread(again);
    EXPECT_EQ(reread.user(), (std::vector<ToleranceEntry>{{"Shaft D25*", 25, -0.021, 0.1}}));
    EXPECT_TRUE(reread.find("Shaft D25 lot 1")->from_user);
    EXPECT_EQ(QSettings(QString::fromStdString(user), QSettings::IniFormat)
                  .value("tolerances/size")
                  .toInt(),
              1);

    // The file as written: the shortest form of each number, what was typed.
    std::stringstream text;
    text << std::ifstream(user).rdbuf();
    EXPECT_NE(text.str().find("lower=-0.021\n"), std::string::npos) << text.str();

    // A file that cannot be written: refused with the reason, nothing changed.
    QtToleranceSettings blocked((dir.path() / "computer.conf/tolvane.conf").string(), computer);
    Tolerances unsaved(blocked);
    const Status status = unsaved.set({"X", {}, 0, 1});
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("computer.conf"), std::string::npos) << status.reason();
    EXPECT_TRUE(unsaved.user().empty());
}

std::string contents(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Saving one entry writes that entry alone: the others keep their text as
// written by hand, a corrupt size costs nothing, and reading writes nothing.
TEST(QtToleranceSettings, OneEntryWrittenAloneAndAHugeSizeIsHarmless) {
    testing::WorkDir dir;
    const std::string user = (dir.path() / "tolvane.conf").string();
    std::ofstream(user) << "[ports]\nCOM1=/dev/ttyS0\n\n[tolerances]\n1\\pattern=Bore\n"
                           "1\\upper=0.0200\n3\\pattern=Pin\n3\\lower=1e-1\n"
                           "3\\upper=0.30\nsize=2000000000\n";
    const std::string before = contents(user);
    QtToleranceSettings settings(user, (dir.path() / "none.conf").string());
    Tolerances tolerances(settings);
    EXPECT_EQ(tolerances.user(), (std::vector<ToleranceEntry>{{"Bore", {}, {}, 0.02},
                                                              {"Pin", {}, 0.1, 0.3}}));
    EXPECT_EQ(contents(user), before);  // looking is no writing

    ASSERT_TRUE(tolerances.set({"Pin", {}, 0.1, 0.35}).ok());
    ASSERT_TRUE(tolerances.set({"Shaft", 25, -0.021, {}}).ok());
    const std::string after = contents(user);
    for (const char* kept : {"1\\upper=0.0200\n", "COM1=/dev/ttyS0"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept << " in\n" << after;
    for (const char* written : {"3\\lower=0.1\n", "3\\upper=0.35\n", "4\\lower=-0.021\n", "size=4\n"})
        EXPECT_NE(after.find(written), std::string::npos) << written << " in\n" << after;

    ASSERT_TRUE(tolerances.remove("Shaft").ok());
    ASSERT_TRUE(tolerances.remove("Bore").ok());
    QtToleranceSettings again(user, (dir.path() / "none.conf").string());
    EXPECT_EQ(again.user_tolerances(), (std::vector<ToleranceEntry>{{"Pin", {}, 0.1, 0.35}}));
    const std::string last = contents(user);
    EXPECT_NE(last.find("size=3\n"), std::string::npos) << last;
    EXPECT_EQ(last.find("1\\"), std::string::npos) << last;
}

}  // namespace
}  // namespace tolvane
