// The tolerances in real settings files: the user's above the computer's.
#include "qt/qt_tolerance_settings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <fstream>

#include "fakes/work_dir.h"
#include "inspect/tolerances.h"

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

    // A file that cannot be written: refused with the reason, nothing changed.
    QtToleranceSettings blocked((dir.path() / "computer.conf/tolvane.conf").string(), computer);
    Tolerances unsaved(blocked);
    const Status status = unsaved.set({"X", {}, 0, 1});
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("computer.conf"), std::string::npos) << status.reason();
    EXPECT_TRUE(unsaved.user().empty());
}

}  // namespace
}  // namespace tolvane
