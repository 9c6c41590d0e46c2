// The Inspection window over a real databac.txt in a temporary folder, as the
// polling window (another process) writes it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>

#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
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
