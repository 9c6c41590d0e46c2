// The Inspection window over a real databac.txt in a temporary folder, as the
// polling window (another process) writes it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLogValueAxis>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
#include "inspection/inspect_charts.h"
#include "inspection/inspect_lot.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_panels.h"
#include "inspection/inspect_window.h"
#include "posix/posix_file_system.h"

namespace tolvane::testing {
namespace {

constexpr const char* kHeader = "\"Backup Data\"\r\n";

class InspectWindowTest : public ::testing::Test {
  protected:
    // The window keeps its size in the settings file of a home of its own.
    InspectWindowTest() : config_(qgetenv("XDG_CONFIG_HOME")) {
        ::setenv("XDG_CONFIG_HOME", (work_.path() / "config").c_str(), 1);
        QLocale::setDefault(QLocale::c());
    }
    ~InspectWindowTest() override {
        window_.reset();
        QLocale::setDefault(QLocale::system());
        qputenv("XDG_CONFIG_HOME", config_);
        if (config_.isNull()) qunsetenv("XDG_CONFIG_HOME");
    }

    void write(const std::string& bytes, std::ios::openmode mode = std::ios::trunc) {
        std::ofstream(work_.path() / "databac.txt", std::ios::binary | mode) << bytes;
    }
    InspectWindow& open() {
        window_ = std::make_unique<InspectWindow>("databac.txt", files_, settings_);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return *window_;
    }
    QString cell(const QAbstractItemModel* model, int row, int column, int role = Qt::DisplayRole) {
        return model->data(model->index(row, column), role).toString();
    }

    QByteArray config_;
    WorkDir work_;
    PosixFileSystem files_;
    MemoryToleranceSettings settings_;
    std::unique_ptr<InspectWindow> window_;
};

TEST_F(InspectWindowTest, ANewRecordAppearsSelectedWithItsValuesJudged) {
    settings_.user = {{"Shaft D25*", 25.0, -0.021, 0.0}};
    write(std::string(kHeader) + "#2026-12-06 05:54:07#\r\n\"Shaft D25 lot 16\"\r\n25\r\n");
    InspectWindow& window = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.records()->rowCount() == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 0; }));

    write(
        "#2026-12-06 05:55:12#\r\n\"Shaft D25 lot 17\"\r\n24.97\r\n24.99\r\n25.01\r\n25\r\nx1\r\n",
        std::ios::app);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.records()->rowCount() == 2; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 1; }));
    EXPECT_TRUE(window.record_list()->selectionModel()->isRowSelected(1, {}));
    EXPECT_EQ(cell(window.records(), 1, RecordListModel::kVerdict), "2 out of tolerance");
    EXPECT_EQ(cell(window.records(), 0, RecordListModel::kVerdict), "OK");

    // Value, deviation and verdict of each value; out of tolerance in a colour too.
    const struct {
        const char *value, *deviation, *verdict;
        bool coloured;
    } expected[] = {{"24.97", "-0.03", "LOW", true},
                    {"24.99", "-0.01", "", false},
                    {"25.01", "+0.01", "HIGH", true},
                    {"25.00", "0.00", "", false},
                    {"x1", "", "not a number", false}};
    const ValueTableModel* values = window.values();
    ASSERT_EQ(values->rowCount(), 5);
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(cell(values, row, ValueTableModel::kValue), expected[row].value);
        EXPECT_EQ(cell(values, row, ValueTableModel::kDeviation), expected[row].deviation);
        EXPECT_EQ(cell(values, row, ValueTableModel::kVerdict), expected[row].verdict);
        const QVariant colour =
            values->data(values->index(row, ValueTableModel::kVerdict), Qt::ForegroundRole);
        EXPECT_EQ(colour.isValid() && colour.value<QColor>() == ValueTableModel::kLowColour,
                  expected[row].coloured);
    }
    const StatisticsPanel* stats = window.statistics();
    EXPECT_EQ(stats->figure("n"), "4");
    EXPECT_EQ(stats->figure("below"), "1");
    EXPECT_EQ(stats->figure("above"), "1");
    EXPECT_EQ(stats->figure("not_numbers"), "1 field is not a number, left out");

    // Records chosen together, the newest among them, stay chosen as the next comes.
    window.record_list()->selectAll();
    write("#2026-12-06 05:56:00#\r\n\"Shaft D25 lot 18\"\r\n25\r\n", std::ios::app);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.records()->rowCount() == 3; }));
    QTest::qWait(100);
    EXPECT_EQ(window.record_list()->selectionModel()->selectedRows().size(), 2);
}

TEST_F(InspectWindowTest, ToleranceInputInTheRegionalFormAndRefusals) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    write(std::string(kHeader) + "#2026-12-06 05:54:07#\r\n\"Pin\"\r\n4.99\r\n5.03\r\n");
    InspectWindow& window = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 0; }));
    ToleranceEditor* editor = window.tolerance();
    EXPECT_EQ(editor->pattern()->text(), "Pin");

    const auto attempt = [&](const char* nominal, const char* lower, const char* upper) {
        for (QLineEdit* field : {editor->nominal(), editor->lower(), editor->upper()})
            field->clear();
        QTest::keyClicks(editor->nominal(), nominal);
        QTest::keyClicks(editor->lower(), lower);
        QTest::keyClicks(editor->upper(), upper);
        QTest::mouseClick(editor->save_button(), Qt::LeftButton);
        return editor->message()->text();
    };
    // A point is no decimal separator in German (but a group separator: -0.021
    // would be -21); text; lower above upper.
    EXPECT_TRUE(attempt("5", "-0.021", "0,02").contains("is not a number"));
    EXPECT_TRUE(attempt("5", "abc", "0,02").contains("is not a number"));
    EXPECT_FALSE(attempt("", "5,1", "4,9").isEmpty());
    EXPECT_TRUE(settings_.user.empty());

    attempt("5", "-0,02", "0,02");
    ASSERT_EQ(settings_.user.size(), 1u);
    EXPECT_EQ(settings_.user[0], (ToleranceEntry{"Pin", 5.0, -0.02, 0.02}));
    EXPECT_EQ(cell(window.records(), 0, RecordListModel::kVerdict), "1 out of tolerance");
    EXPECT_EQ(cell(window.values(), 1, ValueTableModel::kDeviation), "+0,03");

    // The scale is kept with the entry; its factor in the regional form.
    QComboBox* scale = editor->findChild<QComboBox*>("scale");
    ASSERT_TRUE(scale);
    scale->setCurrentIndex(scale->findText("Logarithmic"));
    QTest::mouseClick(editor->save_button(), Qt::LeftButton);
    ASSERT_EQ(settings_.user.size(), 1u);
    EXPECT_EQ(settings_.user[0].scale, Scale::kLog);
    EXPECT_EQ(window.statistics()->figure("gsd"), "×/÷ 1,0057");
}

// Leak rates over five decades, one of them 0, on the logarithmic scale: the
// geometric figures and the lognormal ones, log axes, the 0 counted; back on
// the linear scale the panel suggests the log one for a record that spans
// decades, and changes nothing by itself.
TEST_F(InspectWindowTest, ACharacteristicOnTheLogarithmicScale) {
    settings_.user = {{"Leak*", std::nullopt, std::nullopt, 1e-3}};
    settings_.user[0].scale = Scale::kLog;
    write(std::string(kHeader) +
          "#2026-12-06 05:54:07#\r\n\"Leak B\"\r\n2E-06\r\n3E-05\r\n4E-04\r\n"
          "#2026-12-06 06:10:00#\r\n\"Leak A\"\r\n2.1E-06\r\n3.4E-05\r\n8.8E-05\r\n1.2E-04\r\n"
          "5.5E-06\r\n0\r\n4.0E-05\r\n2.2E-05\r\n9.1E-06\r\n6.3E-05\r\n");
    InspectWindow& window = open();
    window.resize(1280, 800);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 1; }));
    const StatisticsPanel* stats = window.statistics();
    // The mean and the sd of log10 of the nine values above 0: 10^m = 2.3386E-05,
    // 10^s = 3.868; Ppk = (log 1E-03 - m) / 3 s = 0.925.
    EXPECT_EQ(stats->figure("n"), "9");
    EXPECT_EQ(stats->figure("gmean"), "2.339E-05");
    EXPECT_EQ(stats->figure("gsd"), "×/÷ 3.87");
    EXPECT_EQ(stats->figure("min"), "0.0E+00");
    EXPECT_EQ(stats->figure("not_positive"), "1 value is 0: no logarithm");
    EXPECT_EQ(stats->figure("ppk"), "0.93");
    EXPECT_EQ(stats->figure("pp"), "—");
    EXPECT_NE(stats->figure("ppk_pct"), "—");
    EXPECT_EQ(stats->caption("ppk"), "Ppk (Z-score, lognormal):");
    EXPECT_EQ(stats->caption("ppk_pct"), "Ppk (percentile, lognormal):");
    EXPECT_TRUE(stats->figure("normality").contains("AD p"));
    EXPECT_TRUE(stats->shown("gmean"));
    EXPECT_FALSE(stats->shown("mean"));
    EXPECT_FALSE(stats->log_hint()->isVisibleTo(window.statistics()));
    EXPECT_TRUE(qobject_cast<QLogValueAxis*>(
        window.run_chart()->chart()->axes(Qt::Vertical).front()));
    EXPECT_TRUE(qobject_cast<QLogValueAxis*>(
        window.histogram()->chart()->axes(Qt::Horizontal).front()));
    std::filesystem::create_directories(TOLVANE_ARTIFACTS);
    window.grab().save(TOLVANE_ARTIFACTS "/inspect_log.png");

    // Leak B, three values over two decades, on the linear scale: the hint.
    ToleranceEditor* editor = window.tolerance();
    QComboBox* scale = editor->findChild<QComboBox*>("scale");
    EXPECT_EQ(scale->currentText(), "Logarithmic");
    scale->setCurrentIndex(scale->findText("Linear"));
    QTest::mouseClick(editor->save_button(), Qt::LeftButton);
    ASSERT_EQ(settings_.user[0].scale, Scale::kLinear);
    window.record_list()->selectRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 0; }));
    EXPECT_TRUE(stats->log_hint()->isVisibleTo(window.statistics()));
    EXPECT_TRUE(stats->shown("mean"));
    EXPECT_EQ(stats->caption("pp_pct"), "Pp (percentile, normal):");
    EXPECT_EQ(stats->figure("normality"), "—");
    EXPECT_FALSE(qobject_cast<QLogValueAxis*>(
        window.run_chart()->chart()->axes(Qt::Vertical).front()));
    EXPECT_EQ(settings_.user[0].scale, Scale::kLinear);
}

// Two stations, each its own databac.txt in its own folder, appended to as
// their polling windows would: one list in time order with the station of
// each record, a station filter, a lot across both stations, and a station's
// name kept in tolvane.conf for the next window.
TEST_F(InspectWindowTest, TwoStationsInOneListInTimeOrder) {
    const auto append = [&](const char* folder, const std::string& bytes) {
        std::filesystem::create_directories(work_.path() / folder);
        std::ofstream(work_.path() / folder / "databac.txt", std::ios::binary | std::ios::app) << bytes;
    };
    const auto rec = [](const char* time, const char* description, const char* value) {
        return std::string("#2026-12-06 ") + time + "#\r\n\"" + description + "\"\r\n" + value + "\r\n";
    };
    append("north", std::string(kHeader) + rec("05:00:00", "Pin A", "5"));
    append("south", std::string(kHeader) + rec("05:30:00", "Pin B", "6"));
    window_ = std::make_unique<InspectWindow>(
        std::vector<StationFile>{{"north/databac.txt", "north"}, {"south/databac.txt", "south"}},
        files_, settings_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    InspectWindow& window = *window_;
    const RecordListModel* list = window.records();
    const auto rows = [&] {
        QStringList shown;
        for (int row = 0; row < list->rowCount(); ++row)
            shown << cell(list, row, RecordListModel::kStation) + " " +
                         cell(list, row, RecordListModel::kDescription);
        return shown.join(", ");
    };
    // After each append, the whole list; a station whose record comes late
    // (06:15 after the other's 06:30) has it put in its place.
    const struct {
        const char *folder, *time, *description, *list;
    } steps[] = {
        {nullptr, nullptr, nullptr, "north Pin A, south Pin B"},
        {"north", "06:00:00", "Pin C", "north Pin A, south Pin B, north Pin C"},
        {"south", "06:30:00", "Pin D", "north Pin A, south Pin B, north Pin C, south Pin D"},
        {"north", "06:15:00", "Pin E",
         "north Pin A, south Pin B, north Pin C, north Pin E, south Pin D"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.list);
        if (step.folder) append(step.folder, rec(step.time, step.description, "5"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return rows() == step.list; })) << rows().toStdString();
    }
    EXPECT_EQ(list->headerData(RecordListModel::kStation, Qt::Horizontal, Qt::DisplayRole), "Station");
    EXPECT_FALSE(window.record_list()->isColumnHidden(RecordListModel::kStation));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.file_status()->text().startsWith("2 stations: 5 records"); }))
        << window.file_status()->text().toStdString();
    EXPECT_EQ(window.windowTitle(), "KLD-350 Inspection — 2 stations");

    // The filter: one station's records, then all again.
    auto* filter = window.findChild<QComboBox*>("station_filter");
    ASSERT_TRUE(filter && filter->isVisible());
    ASSERT_EQ(filter->count(), 3);
    filter->setCurrentIndex(2);
    emit filter->activated(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() == "south Pin B, south Pin D"; })) << rows().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.file_status()->text().startsWith("1 of 2 stations shown"); }));

    // A lot of what the filter shows comes from that station alone ...
    window.record_list()->selectAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.lot()->panel()->isVisible(); }));
    EXPECT_EQ(window.lot()->lot().records.size(), 2u);
    EXPECT_EQ(window.lot()->lot_stations(), QStringList{"south"});
    filter->setCurrentIndex(0);
    emit filter->activated(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount() == 5; }));
    // ... and a lot of the whole list from both, with both named in the panel.
    window.record_list()->selectionModel()->select(
        QItemSelection(list->index(1, 0), list->index(3, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        auto* line = window.lot()->panel()->findChild<QLabel*>("lot_stations");
        return line && line->isVisible() && line->text() == "Stations: north, south";
    }));
    EXPECT_EQ(window.lot()->lot().records.size(), 3u);
    // The report says so too; the CSV names each row's station and its
    // number in its own file.
    ASSERT_TRUE(window.lot()->report_to("lot.pdf"));
    QProcess text;
    text.start("pdftotext", {"-layout", "lot.pdf", "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(QRegularExpression("Stations +north, south\n").match(report).hasMatch())
        << report.left(600).toStdString();
    ASSERT_TRUE(window.lot()->export_csv_to("lot.csv"));
    std::stringstream csv;
    csv << std::ifstream(work_.path() / "lot.csv", std::ios::binary).rdbuf();
    EXPECT_NE(csv.str().find("\n2026-12-06T06:15:00,Pin E,3,1,5,,,north\r\n"), std::string::npos)
        << csv.str();

    // A name given here, kept for the next window over the same file.
    window.rename_station(1, "Bench 2");
    EXPECT_EQ(cell(list, 0, RecordListModel::kStation), "north");
    EXPECT_EQ(cell(list, 1, RecordListModel::kStation), "Bench 2");
    window.close();
    window_.reset();
    InspectWindow again({{"north/databac.txt", "north"}, {"south/databac.txt", "south"}}, files_,
                        settings_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.records()->rowCount() == 5; }));
    EXPECT_EQ(cell(again.records(), 4, RecordListModel::kStation), "Bench 2");
    EXPECT_EQ(InspectWindow::remembered_files(),
              (QStringList{QString::fromStdString((work_.path() / "north/databac.txt").string()),
                           QString::fromStdString((work_.path() / "south/databac.txt").string())}));

    // Removed and added again: the list follows the set of files.
    again.remove_station(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.records()->rowCount() == 2; }));
    EXPECT_EQ(again.windowTitle(), "KLD-350 Inspection — databac.txt");
    EXPECT_TRUE(again.record_list()->isColumnHidden(RecordListModel::kStation));
    again.add_file("north/databac.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.records()->rowCount() == 5; }));
    EXPECT_EQ(cell(again.records(), 0, RecordListModel::kStation), "north");
    // A file gone is named in the status line by its station.
    std::filesystem::remove(work_.path() / "south/databac.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return again.file_status()->text().contains("Bench 2 (databac.txt) is missing");
    })) << again.file_status()->text().toStdString();
}

TEST_F(InspectWindowTest, ClearedDeletedAndMadeAgain) {
    write(std::string(kHeader) + "#2026-12-06 05:54:07#\r\n1.5\r\n");
    InspectWindow& window = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 0; }));

    write(kHeader);  // Clear
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.records()->rowCount() == 0; }));
    EXPECT_EQ(window.values()->rowCount(), 0);
    EXPECT_EQ(window.statistics()->figure("mean"), "—");

    std::filesystem::remove(work_.path() / "databac.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.file_status()->text().contains("missing"); }));

    // Made again by another name and renamed over, as an editor saves it.
    std::ofstream(work_.path() / "new.txt", std::ios::binary)
        << kHeader << "#2026-12-07#\r\n\"Again\"\r\n2\r\n3\r\n";
    std::filesystem::rename(work_.path() / "new.txt", work_.path() / "databac.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.records()->rowCount() == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shown_row() == 0; }));
    EXPECT_EQ(window.statistics()->figure("mean"), "2.50");
    EXPECT_TRUE(window.file_status()->text().contains("1 record;"));
}

}  // namespace
}  // namespace tolvane::testing
