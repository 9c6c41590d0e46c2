// Several records selected in the Inspection window as one lot: the panel's
// figures with their sigma, the selection commands, the export and report.
// Waits through QTest::qWaitFor under ASSERT: QTRY_* report to QTest, not to
// GoogleTest, and a test would pass after their time-out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDockWidget>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "shell/inspect_lot.h"
#include "shell/inspect_models.h"
#include "shell/inspect_window.h"

namespace tolvane::testing {
namespace {

// Record 1 and 3 "Shaft D25" of 5 and 3 values, record 2 "Hub" of 5.
constexpr const char* kFile =
    "\"Backup Data\"\r\n"
    "#2026-12-06 05:54:07#\r\n\"Shaft D25\"\r\n24.99\r\n25.00\r\n25.01\r\n24.98\r\n25.02\r\n"
    "#2026-12-07 06:00:00#\r\n\"Hub\"\r\n25.00\r\n25.01\r\n25.00\r\n25.02\r\n25.00\r\n"
    "#2026-12-07 07:00:00#\r\n\"Shaft D25\"\r\n24.97\r\n25.03\r\n25.00\r\n";

class InspectLotTest : public ::testing::Test {
  protected:
    InspectLotTest() {
        ::setenv("XDG_CONFIG_HOME", (work_.path() / "config").c_str(), 1);
        QLocale::setDefault(QLocale::c());
        std::ofstream(work_.path() / "databac.txt", std::ios::binary) << kFile;
        settings_.user = {{"Shaft*", 25.0, -0.05, 0.05}, {"Hub", 25.0, -0.05, 0.05}};
        window_ = std::make_unique<InspectWindow>("databac.txt", files_, settings_);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window_->records()->rowCount() == 3; }));
    }
    ~InspectLotTest() override { QLocale::setDefault(QLocale::system()); }

    void select(int first, int last) {
        QAbstractItemModel* model = window_->record_list()->model();
        window_->record_list()->selectionModel()->select(
            QItemSelection(model->index(first, 0), model->index(last, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QLabel* figure(const QString& name) {
        for (QLabel* label : window_->lot()->panel()->findChildren<QLabel*>())
            if (label->accessibleName() == name) return label;
        return nullptr;
    }
    std::string read(const std::string& name) {
        std::stringstream bytes;
        bytes << std::ifstream(work_.path() / name, std::ios::binary).rdbuf();
        return bytes.str();
    }

    WorkDir work_;
    PosixFileSystem files_;
    MemoryToleranceSettings settings_;
    std::unique_ptr<InspectWindow> window_;
};

TEST_F(InspectLotTest, SeveralRecordsShowTheirFiguresWithTheSigmaEachUsed) {
    select(0, 0);
    QTest::qWait(150);
    EXPECT_FALSE(window_->lot()->panel()->isVisible());
    select(0, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->lot()->panel()->isVisible(); }));
    // Sizes 5, 5, 3: the pooled s; the overall s for Pp.
    ASSERT_TRUE(figure("Cp") && figure("Pp") && figure("Values (n)"));
    EXPECT_EQ(figure("Values (n)")->text(), "13");
    EXPECT_EQ(figure("Cp")->accessibleDescription(), "σ within = pooled s (sizes differ)");
    EXPECT_EQ(figure("Pp")->accessibleDescription(), "σ = s of all values");
    EXPECT_NE(figure("Cpk")->text(), "—");
    std::filesystem::create_directories(TOLVANE_ARTIFACTS);
    window_->grab().save(TOLVANE_ARTIFACTS "/inspect_lot.png");

    // The same tolerance for all: the lot has limits; the CSV of 13 values.
    ASSERT_TRUE(window_->lot()->export_csv_to("lot.csv"));
    const std::string csv = read("lot.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 14);
    EXPECT_NE(csv.find("2026-12-07T07:00:00,Shaft D25,3,1,24.97,-0.03,OK\r\n"), std::string::npos);
    EXPECT_TRUE(window_->lot()->saved()->isVisible());
    EXPECT_TRUE(window_->lot()->saved()->text().endsWith((work_.path() / "lot.csv").c_str()))
        << window_->lot()->saved()->text().toStdString();
    ASSERT_TRUE(window_->lot()->report_to("lot.pdf"));
    EXPECT_EQ(read("lot.pdf").substr(0, 5), "%PDF-");

    // Printing draws the same report on the printer's paper (Letter here).
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName("printed.pdf");
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    paint_lot_report(printer, window_->lot()->lot(), QLocale(), QDateTime::currentDateTime());
    EXPECT_EQ(read("printed.pdf").substr(0, 5), "%PDF-");
    EXPECT_NE(read("printed.pdf").find("/MediaBox [0 0 612.000000 792.000000]"), std::string::npos);

    // A folder that is not there: nothing written, and a message says why.
    EXPECT_FALSE(window_->lot()->export_csv_to("missing/lot.csv"));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = window_->findChild<QMessageBox*>("lot_not_saved")); }));
    EXPECT_TRUE(box->text().contains("No such file or directory")) << box->text().toStdString();
    EXPECT_FALSE(std::filesystem::exists(work_.path() / "missing"));
    box->close();

    // The followed file, by its full path: refused in a box, left as it was.
    const std::string backup = (work_.path() / "databac.txt").string();
    for (const bool csv_asked : {true, false}) {
        EXPECT_FALSE(csv_asked ? window_->lot()->export_csv_to(backup.c_str())
                               : window_->lot()->report_to(backup.c_str()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return (box = window_->findChild<QMessageBox*>("lot_refused")); }));
        EXPECT_TRUE(box->text().contains("is the file the records are read from")) << box->text().toStdString();
        delete box;
        EXPECT_EQ(read("databac.txt"), kFile);
    }
}

TEST_F(InspectLotTest, SelectsByDescriptionAndByTimeRange) {
    QItemSelectionModel* selection = window_->record_list()->selectionModel();
    selection->setCurrentIndex(window_->records()->index(0, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    bool done = false;
    window_->lot()->select_description([&] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }));
    EXPECT_TRUE(selection->isRowSelected(0, {}) && selection->isRowSelected(2, {}));
    EXPECT_FALSE(selection->isRowSelected(1, {}));

    done = false;
    window_->lot()->select_time_range(QDateTime(QDate(2026, 12, 7), QTime(0, 0)),
                                      QDateTime(QDate(2026, 12, 7), QTime(6, 30)),
                                      [&] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }));
    EXPECT_EQ(selection->selectedRows().size(), 1);
    EXPECT_TRUE(selection->isRowSelected(1, {}));
}

}  // namespace
}  // namespace tolvane::testing
