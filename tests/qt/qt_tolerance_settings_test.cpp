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

// Frozen limits kept with their entry come back exactly, whichever chart,
// and an entry written without them has none left in the file.
TEST(QtToleranceSettings, FrozenLimitsRoundTrip) {
    testing::WorkDir dir;
    const std::string user = (dir.path() / "tolvane.conf").string();
    FrozenControl mean_and_sd{FrozenControl::Chart::kMeanAndSd,
                              FrozenControl::Sigma::kSBarOverC4,
                              74.00118,
                              0.009829,
                              5,
                              0.0092,
                              std::nullopt,
                              23,
                              {{LocalDateTime{2026, 12, 1, 8, 5, 0}, "gauge dropped, a \"bad\" one"},
                               {std::nullopt, "no time"}},
                              LocalDateTime{2026, 12, 1, 8, 0, 0},
                              LocalDateTime{2026, 12, 3, 16, 40, 9},
                              LocalDateTime{2026, 12, 8, 9, 30, 0},
                              {1, 3}};
    FrozenControl individuals = mean_and_sd;
    individuals.chart = FrozenControl::Chart::kIndividuals;
    individuals.sigma_method = FrozenControl::Sigma::kMovingRange;
    individuals.subgroup_size = 1;
    individuals.s_bar.reset();
    individuals.mr_bar = 0.1;
    individuals.left_out.clear();
    FrozenControl differ = mean_and_sd;
    differ.sigma_method = FrozenControl::Sigma::kPooled;
    differ.subgroup_size.reset();
    differ.tests.clear();
    const std::vector<ToleranceEntry> entries{{"Shaft D25*", 25, -0.021, 0.1, mean_and_sd},
                                              {"Pin", {}, {}, {}, individuals},
                                              {"Bore", {}, {}, 0.02, differ},
                                              {"Leak*", {}, 1e-9, 1e-3, differ, Scale::kLog}};
    QtToleranceSettings settings(user, (dir.path() / "none.conf").string());
    for (const ToleranceEntry& entry : entries) ASSERT_TRUE(settings.save_user_tolerance(entry).ok());
    EXPECT_EQ(QtToleranceSettings(user, "").user_tolerances(), entries);
    const std::string text = contents(user);
    for (const char* written : {"1\\control\\centre=74.00118\n", "1\\control\\n=5\n",
                                "1\\control\\first=2026-12-01T08:00:00\n",
                                "1\\control\\tests=1 3\n", "3\\control\\n=sizes differ\n",
                                "4\\scale=log\n"})
        EXPECT_NE(text.find(written), std::string::npos) << written << " in\n" << text;
    // A scale this program does not know leaves the entry out rather than
    // judge it on a guess.
    std::string unknown = text;
    unknown.replace(unknown.find("4\\scale=log"), 12, "4\\scale=ln!");
    { std::ofstream(user, std::ios::trunc) << unknown; }
    EXPECT_EQ(QtToleranceSettings(user, "").user_tolerances().size(), 3u);
    { std::ofstream(user, std::ios::trunc) << text; }

    ASSERT_TRUE(settings.save_user_tolerance({"Pin", {}, {}, 0.3}).ok());
    EXPECT_EQ(contents(user).find("2\\control"), std::string::npos) << contents(user);
    EXPECT_FALSE(settings.user_tolerances().at(1).control);
}

}  // namespace
}  // namespace tolvane
