// Several records selected in the Inspection window as one lot: the panel's
// figures with their sigma, the selection commands, the export and report.
// Waits through QTest::qWaitFor under ASSERT: QTRY_* report to QTest, not to
// GoogleTest, and a test would pass after their time-out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QDialog>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
#include "inspection/inspect_aqdef.h"
#include "inspection/inspect_freeze.h"
#include "inspection/inspect_lot.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_panels.h"
#include "inspection/inspect_window.h"
#include "posix/posix_file_system.h"

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

// File > Export AQDEF…: the selected records, a characteristic per
// tolerance, the station named after the folder; the outcome in the status bar.
TEST_F(InspectLotTest, ExportsTheSelectionAsAqdef) {
    ASSERT_TRUE(window_->findChild<QAction*>("export_aqdef"));
    select(0, 2);
    ASSERT_TRUE(export_aqdef_to(*window_, *window_->lot(), files_, window_->follower(), "lot.dfq"));
    const std::string dfq = read("lot.dfq");
    EXPECT_EQ(dfq.substr(0, 9), "K0100 2\r\n");
    size_t values = 0;
    for (size_t at = dfq.find("K0001/"); at != std::string::npos; at = dfq.find("K0001/", at + 1)) ++values;
    EXPECT_EQ(values, 13u);
    const std::string folder = work_.path().filename().string();
    EXPECT_NE(dfq.find("K0001/2 25.00\r\nK0004/2 07.12.2026/06:00:00\r\nK0006/2 Hub\r\nK0009/2 " + folder +
                       "\r\nK0012/2 1\r\n"),
              std::string::npos)
        << dfq;
    EXPECT_TRUE(window_->statusBar()->currentMessage().startsWith("AQDEF saved to "));
    // Never over the backup file: a message, and the file stays.
    EXPECT_FALSE(export_aqdef_to(*window_, *window_->lot(), files_, window_->follower(), "databac.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->findChild<QMessageBox*>("aqdef_not_saved"); }));
    EXPECT_EQ(read("databac.txt"), kFile);
}

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
    EXPECT_TRUE(window_->lot()->saved()->text().startsWith("CSV of 3 records saved to "));
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

// The window with the lot panel on a 1280 × 800 laptop and a 1024 × 768
// projector (the offscreen platform's two screens, tests/inspection/two_screens.json):
// restored, maximised, and after a size saved larger than the screen.
struct OnScreen {
    int screen;
    bool maximised, saved_too_big;
};

class InspectLotOnScreenTest : public ::testing::TestWithParam<OnScreen> {
  protected:
    InspectLotOnScreenTest() {
        ::setenv("XDG_CONFIG_HOME", (work_.path() / "config").c_str(), 1);
        QLocale::setDefault(QLocale::c());
        std::ofstream(work_.path() / "databac.txt", std::ios::binary) << kFile;
    }
    ~InspectLotOnScreenTest() override { QLocale::setDefault(QLocale::system()); }

    std::unique_ptr<InspectWindow> open(QScreen* on) {
        auto window = std::make_unique<InspectWindow>("databac.txt", files_, settings_);
        if (!GetParam().saved_too_big) {
            window->setScreen(on);
            window->move(on->availableGeometry().topLeft());
        }
        return window;
    }

    WorkDir work_;
    PosixFileSystem files_;
    MemoryToleranceSettings settings_;
};

TEST_P(InspectLotOnScreenTest, TheWindowKeepsToTheScreenWithTheLotPanel) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2) << "needs the offscreen platform's configuration two_screens.json";
    ASSERT_EQ(screens[0]->geometry(), QRect(0, 0, 1280, 800));
    ASSERT_EQ(screens[1]->geometry(), QRect(1280, 0, 1024, 768));
    QScreen* on = screens[GetParam().screen];
    const QRect room = on->availableGeometry();
    if (GetParam().saved_too_big) {
        // An earlier run on that screen kept 1240 × 988 (a window a lot had stretched).
        std::unique_ptr<InspectWindow> earlier =
            std::make_unique<InspectWindow>("databac.txt", files_, settings_);
        earlier->setScreen(on);
        earlier->move(room.topLeft());
        earlier->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(earlier.get()));
        earlier->setGeometry(QRect(room.topLeft() + QPoint(8, 30), QSize(1240, 988)));
        ASSERT_EQ(earlier->height(), 988);
        earlier->close();
    }
    std::unique_ptr<InspectWindow> window = open(on);
    if (GetParam().maximised)
        window->showMaximized();
    else
        window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records()->rowCount() == 3; }));
    ASSERT_EQ(window->screen(), on);

    QAbstractItemModel* model = window->record_list()->model();
    window->record_list()->selectionModel()->select(
        QItemSelection(model->index(0, 0), model->index(2, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->lot()->panel()->isVisible(); }));
    QTest::qWait(50);  // the layout's answer to the panel
    ASSERT_TRUE(window->lot()->export_csv_to("lot.csv"));  // its line in the status bar
    QTest::qWait(50);

    const auto on_screen = [](const QWidget* part) {
        return QRect(part->mapToGlobal(QPoint(0, 0)), part->size());
    };
    EXPECT_TRUE(room.contains(window->frameGeometry()))
        << window->frameGeometry().width() << " × " << window->frameGeometry().height();
    EXPECT_TRUE(room.contains(on_screen(window->lot()->panel())));
    EXPECT_TRUE(room.contains(on_screen(window->statusBar())));
    EXPECT_TRUE(window->statusBar()->isVisible() && window->lot()->saved()->isVisible());
    EXPECT_GE(window->lot()->panel()->height(), 150);
    EXPECT_EQ(window->isMaximized(), GetParam().maximised);
}

INSTANTIATE_TEST_SUITE_P(LaptopAndProjector, InspectLotOnScreenTest,
                         ::testing::Values(OnScreen{0, false, false}, OnScreen{0, true, false},
                                           OnScreen{0, false, true}, OnScreen{1, false, false},
                                           OnScreen{1, true, false}, OnScreen{1, false, true}),
                         [](const ::testing::TestParamInfo<OnScreen>& info) {
                             return std::string(info.param.screen == 0 ? "Laptop" : "Projector") +
                                    (info.param.maximised ? "Maximised" : "Restored") +
                                    (info.param.saved_too_big ? "AfterATooBigSize" : "");
                         });


QAction* action(QWidget& window, const QString& text) {
    for (QAction* a : window.findChildren<QAction*>())
        if (a->text() == text) return a;
    return nullptr;
}

// The shafts' characteristic set to the log scale in the Tolerance panel:
// the lot's geometric figures, its percentile figures named by method, and
// the freezing dialog's limits shown as values.
TEST_F(InspectLotTest, TheLotOfACharacteristicOnTheLogScale) {
    window_->record_list()->selectRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->shown_row() == 0; }));
    QComboBox* scale = window_->tolerance()->findChild<QComboBox*>("scale");
    ASSERT_TRUE(scale);
    scale->setCurrentIndex(scale->findText("Logarithmic"));
    QTest::mouseClick(window_->tolerance()->save_button(), Qt::LeftButton);
    ASSERT_EQ(settings_.user[0].scale, Scale::kLog);
    select(0, 2);
    QAbstractItemModel* model = window_->record_list()->model();
    window_->record_list()->selectionModel()->select(
        QItemSelection(model->index(1, 0), model->index(1, 0)),
        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->lot()->panel()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return figure("Geometric mean") != nullptr; }));
    // 10^(mean of the logs of the eight values) = 24.999993; 10^s = 1.0008.
    EXPECT_EQ(figure("Geometric mean")->text(), "25.0000");
    EXPECT_EQ(figure("Geometric sd")->text(), "×/÷ 1.00");
    ASSERT_TRUE(figure("Ppk (percentile, lognormal)"));
    EXPECT_NE(figure("Ppk (percentile, lognormal)")->text(), "—");
    EXPECT_TRUE(figure("Ppk (percentile, lognormal)")->toolTip().contains("ISO 22514-2"));
    ASSERT_TRUE(figure("Normality"));

    QAction* freeze = action(*window_, "&Freeze Control Limits from the Selection…");
    ASSERT_TRUE(freeze);
    ASSERT_TRUE(QTest::qWaitFor([&] { return freeze->isEnabled(); }));
    freeze->trigger();
    FreezeDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return (dialog = dynamic_cast<FreezeDialog*>(window_->findChild<QDialog*>("freeze_dialog")));
    }));
    const QString preview = dialog->preview()->text();
    EXPECT_TRUE(preview.contains("limits of log10 of the values")) << preview.toStdString();
    // The centre as a value near 25, not its logarithm 1.39794.
    EXPECT_TRUE(preview.contains("centre 25")) << preview.toStdString();
    ASSERT_FALSE(dialog->subgroups().empty());
    EXPECT_NEAR(dialog->subgroups()[0].values[0].value(), std::log10(24.99), 1e-12);
    dialog->reject();
}

// Phase I and back: limits frozen from two records of one characteristic,
// a record left out recomputed live, a journal that cannot be written
// keeps everything as it was; then the lot is judged against the limits,
// and removing them journals it and keeps the tolerance.
TEST_F(InspectLotTest, FreezingFromTheSelectionJournalsAndJudgesTheLot) {
    QAction* freeze = action(*window_, "&Freeze Control Limits from the Selection…");
    QAction* remove = action(*window_, "&Remove Frozen Limits");
    ASSERT_TRUE(freeze && remove);
    select(0, 1);  // Shaft and Hub
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->lot()->panel()->isVisible(); }));
    EXPECT_FALSE(freeze->isEnabled());
    window_->record_list()->selectionModel()->setCurrentIndex(
        window_->record_list()->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    select(0, 2);
    QAbstractItemModel* model = window_->record_list()->model();
    window_->record_list()->selectionModel()->select(QItemSelection(model->index(1, 0), model->index(1, 0)),
                                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return freeze->isEnabled(); }));
    EXPECT_EQ(window_->lot()->control_sentence()->text(), "Limits computed from the selected records.");
    EXPECT_FALSE(remove->isEnabled());

    std::filesystem::create_directory(work_.path() / "databac-journal.csv");  // cannot be appended to
    freeze->trigger();
    FreezeDialog* dialog = nullptr;
    // Through QDialog: Qt 6.8 takes only classes with Q_OBJECT in findChild.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return (dialog = dynamic_cast<FreezeDialog*>(window_->findChild<QDialog*>("freeze_dialog")));
    }));
    ASSERT_EQ(dialog->records()->rowCount(), 2);
    EXPECT_TRUE(dialog->preview()->text().contains("records used 2, left out 0")) << dialog->preview()->text().toStdString();
    QPushButton* save = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save);
    EXPECT_TRUE(save->isEnabled());
    dialog->records()->item(1, 0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(dialog->preview()->text().contains("records used 1, left out 1"));
    EXPECT_FALSE(save->isEnabled());
    dialog->records()->item(1, 0)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(save->isEnabled());
    dialog->findChild<QCheckBox*>("test_3")->setChecked(true);
    save->click();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = window_->findChild<QMessageBox*>("limits_not_saved")); }));
    EXPECT_TRUE(box->text().contains("databac-journal.csv")) << box->text().toStdString();
    box->close();
    EXPECT_FALSE(settings_.user[0].control);
    EXPECT_TRUE(dialog->isVisible());

    std::filesystem::remove(work_.path() / "databac-journal.csv");
    save->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return settings_.user[0].control.has_value(); }));
    EXPECT_EQ(settings_.user[0].nominal, 25.0);
    EXPECT_EQ(settings_.user[0].control->tests, (std::vector<int>{1, 2, 3, 5, 6}));
    EXPECT_EQ(settings_.user[0].control->records_used, 2u);
    EXPECT_NE(read("databac-journal.csv").find(",Shaft*,limits frozen,,,\"from 2 records, 0 left out\","),
              std::string::npos);
    const QString sentence = window_->lot()->control_sentence()->text();
    EXPECT_TRUE(sentence.startsWith("Phase II: limits frozen on ")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(" from 2 records (") && sentence.endsWith("), 0 left out; judged with tests 1 2 3 5 6."))
        << sentence.toStdString();
    ASSERT_TRUE(window_->lot()->chart()->frozen());
    EXPECT_EQ(window_->lot()->chart()->frozen()->points.size(), 2u);
    EXPECT_TRUE(remove->isEnabled());
    window_->resize(1280, 800);
    QTest::qWait(100);
    std::filesystem::create_directories(TOLVANE_ARTIFACTS);
    window_->grab().save(TOLVANE_ARTIFACTS "/inspect_lot_frozen.png");
    ASSERT_TRUE(window_->lot()->report_to(TOLVANE_ARTIFACTS "/lot_frozen.pdf"));

    remove->trigger();
    QMessageBox* ask = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (ask = window_->findChild<QMessageBox*>("remove_limits")); }));
    ask->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings_.user[0].control; }));
    EXPECT_EQ(settings_.user[0], (ToleranceEntry{"Shaft*", 25.0, -0.05, 0.05}));
    EXPECT_NE(read("databac-journal.csv").find(",Shaft*,limits removed,,,,"), std::string::npos);
    EXPECT_EQ(window_->lot()->control_sentence()->text(), "Limits computed from the selected records.");
}

}  // namespace
}  // namespace tolvane::testing
