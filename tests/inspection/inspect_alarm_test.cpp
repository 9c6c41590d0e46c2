// The Control column and the alarms of the Inspection window, over a real
// databac.txt and its journal in a temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/fake_desktop_notifier.h"
#include "fakes/fake_tolerance_settings.h"
#include "fakes/work_dir.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_window.h"
#include "posix/posix_file_system.h"

namespace tolvane::testing {
namespace {

// Rings: individuals limits 7 and 13 (ring_individuals), tolerance 5 .. 15.

std::string record(const char* time, const char* value) {
    return std::string("#2026-12-06 ") + time + "#\r\n\"Ring 1\"\r\n" + value + "\r\n";
}

class InspectAlarmTest : public ::testing::Test {
  protected:
    InspectAlarmTest() : config_(qgetenv("XDG_CONFIG_HOME")) {
        ::setenv("XDG_CONFIG_HOME", (work_.path() / "config").c_str(), 1);
        QLocale::setDefault(QLocale::c());
        settings_.user = {{"Ring*", std::nullopt, 5.0, 15.0, ring_individuals()}, {"Pin", 5.0, -0.5, 1.0}};
    }
    ~InspectAlarmTest() override {
        windows_.clear();
        QLocale::setDefault(QLocale::system());
        qputenv("XDG_CONFIG_HOME", config_);
        if (config_.isNull()) qunsetenv("XDG_CONFIG_HOME");
    }

    void write(const std::string& bytes, std::ios::openmode mode = std::ios::app) {
        std::ofstream(work_.path() / "databac.txt", std::ios::binary | mode) << bytes;
    }
    InspectWindow& open() {
        windows_.push_back(std::make_unique<InspectWindow>(
            "databac.txt", files_, settings_, InspectBench{&notifier_, "Ada Lovelace"}));
        InspectWindow& window = *windows_.back();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        return window;
    }
    static QString text_of(const InspectWindow& window) {
        return window.findChild<QLabel*>("alarm_text")->text();
    }
    std::string journal() {
        std::ifstream in(work_.path() / "databac-journal.csv", std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // Asks for the first alarm's cause and types the answer as a person would.
    QDialog* answer(InspectWindow& window, const char* cause, const char* action) {
        QTest::mouseClick(window.findChild<QPushButton*>("acknowledge"), Qt::LeftButton);
        auto* dialog = window.findChild<QDialog*>("acknowledge_dialog");
        if (!dialog || !QTest::qWaitForWindowExposed(dialog)) return nullptr;
        auto* cause_box = dialog->findChild<QComboBox*>("cause");
        EXPECT_TRUE(QApplication::focusWidget() == cause_box ||
                    QApplication::focusWidget() == cause_box->lineEdit());
        QTest::keyClicks(QApplication::focusWidget(), cause);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), dialog->findChild<QLineEdit*>("action"));
        QTest::keyClicks(QApplication::focusWidget(), action);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        return dialog;
    }

    QByteArray config_;
    WorkDir work_;
    PosixFileSystem files_;
    MemoryToleranceSettings settings_;
    RecordingNotifier notifier_;
    std::vector<std::unique_ptr<InspectWindow>> windows_;
};

TEST_F(InspectAlarmTest, TheHistoryIsJudgedQuietlyAndARecordThatArrivesRaisesAnAlarm) {
    write("\"Backup Data\"\r\n" + record("05:00:00", "10") + record("05:01:00", "20") +
              record("05:02:00", "10.5"),
          std::ios::trunc);
    InspectWindow& window = open();
    const RecordListModel* list = window.records();
    const auto control = [&](int row) {
        return list->data(list->index(row, RecordListModel::kControl), Qt::DisplayRole).toString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.control().judged() == 3; }));
    EXPECT_EQ(list->headerData(RecordListModel::kControl, Qt::Horizontal, Qt::DisplayRole), "Control");
    EXPECT_EQ(control(0), "in control");
    EXPECT_EQ(control(1), "Test 1; Test 1 (MR)");
    EXPECT_EQ(window.alarm_count(), 0u);
    EXPECT_FALSE(window.alarm_banner()->isVisible());

    write(record("05:03:00", "16.25"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.alarm_count() == 1; }));
    EXPECT_TRUE(window.alarm_banner()->isVisible());
    const QString text = text_of(window);
    EXPECT_TRUE(text.startsWith("Alarm — Ring*, ")) << text.toStdString();
    EXPECT_TRUE(text.contains("x 16.25 above the upper control limit 13 (test 1)")) << text.toStdString();
    EXPECT_TRUE(text.contains("1 value out of tolerance")) << text.toStdString();
    ASSERT_EQ(notifier_.notices.size(), 1u);
    EXPECT_EQ(notifier_.notices[0].summary, "Alarm: Ring*");
    EXPECT_NE(notifier_.notices[0].body.find("(test 1)"), std::string::npos);
    EXPECT_EQ(control(3), "Test 1, 5; Test 1 (MR)");

    // Out of tolerance alarms without frozen limits too; alarms queue.
    write(record("05:04:00", "10") + "#2026-12-06 05:05:00#\r\n\"Pin\"\r\n7\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.alarm_count() == 3; }));
    EXPECT_TRUE(text_of(window).startsWith("Alarm 1 of 3 — Ring*")) << text_of(window).toStdString();
    EXPECT_EQ(control(4), "Test 1 (MR)");
    EXPECT_EQ(control(5), "");
    ASSERT_EQ(notifier_.notices.size(), 3u);
    EXPECT_EQ(notifier_.notices[2].summary, "Alarm: Pin");
    EXPECT_NE(notifier_.notices[2].body.find("1 value out of tolerance"), std::string::npos);
}

TEST_F(InspectAlarmTest, AnAcknowledgementInOneWindowTakesTheAlarmFromTheOther) {
    write("\"Backup Data\"\r\n" + record("05:00:00", "10"), std::ios::trunc);
    InspectWindow& first = open();
    InspectWindow& second = open();
    for (InspectWindow* w : {&first, &second})
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->control().judged() == 1; }));
    write(record("05:01:00", "20"));
    for (InspectWindow* w : {&first, &second})
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->alarm_count() == 1; }));

    QDialog* dialog = answer(first, "worn tool", "tool changed");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.alarm_count() == 0; }));
    EXPECT_FALSE(first.alarm_banner()->isVisible());
    const std::string lines = journal();
    EXPECT_NE(lines.find(",2026-12-06T05:01:00,Ring 1,acknowledged,1,worn tool,tool changed,"
                         "Ada Lovelace\r\n"),
              std::string::npos)
        << lines;
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.alarm_count() == 0; }));
    EXPECT_FALSE(second.alarm_banner()->isVisible());

    // The next alarm offers the characteristic's causes, as the other window wrote them.
    write(record("05:03:00", "2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.alarm_count() == 1; }));
    QTest::mouseClick(second.findChild<QPushButton*>("acknowledge"), Qt::LeftButton);
    auto* asked = second.findChild<QDialog*>("acknowledge_dialog");
    ASSERT_TRUE(asked);
    auto* cause = asked->findChild<QComboBox*>("cause");
    ASSERT_EQ(cause->count(), 1);
    EXPECT_EQ(cause->itemText(0), "worn tool");
    EXPECT_EQ(asked->findChild<QLineEdit*>("user")->text(), "Ada Lovelace");
}

// Two stations record the same part at the same second and both alarm: each
// acknowledgement goes into the journal beside its own record's file, takes
// only that alarm away, and is seen by a window on the other file. A late
// record alarms too.
TEST_F(InspectAlarmTest, EachStationsAlarmIsAcknowledgedInItsOwnJournal) {
    for (const char* folder : {"north", "south"}) {
        std::filesystem::create_directories(work_.path() / folder);
        std::ofstream(work_.path() / folder / "databac.txt", std::ios::binary)
            << "\"Backup Data\"\r\n" + record("05:00:00", "10");
    }
    const auto in = [&](const char* folder, const char* name) {
        std::stringstream bytes;
        bytes << std::ifstream(work_.path() / folder / name, std::ios::binary).rdbuf();
        return bytes.str();
    };
    windows_.push_back(std::make_unique<InspectWindow>(
        std::vector<StationFile>{{"north/databac.txt", "north"}, {"south/databac.txt", "south"}},
        files_, settings_, InspectBench{&notifier_, "Ada Lovelace"}));
    InspectWindow& both = *windows_.back();
    both.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&both));
    ASSERT_TRUE(QTest::qWaitFor([&] { return both.control().judged() == 2; }));
    for (const char* folder : {"north", "south"})
        std::ofstream(work_.path() / folder / "databac.txt", std::ios::binary | std::ios::app)
            << record("05:01:00", "20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return both.alarm_count() == 2; }));

    // The first is north's (equal times: the station first in the list).
    ASSERT_TRUE(answer(both, "worn tool", "tool changed"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return both.alarm_count() == 1; }));
    EXPECT_NE(in("north", "databac-journal.csv").find(",2026-12-06T05:01:00,Ring 1,acknowledged,"),
              std::string::npos);
    EXPECT_EQ(in("south", "databac-journal.csv"), "");
    QTest::qWait(200);
    EXPECT_EQ(both.alarm_count(), 1u);

    // South's, acknowledged in a window on south's file alone.
    windows_.push_back(std::make_unique<InspectWindow>("south/databac.txt", files_, settings_,
                                                       InspectBench{&notifier_, "Grace Hopper"}));
    InspectWindow& south = *windows_.back();
    south.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return south.control().judged() == 2; }));
    std::ofstream(work_.path() / "south" / "databac.txt", std::ios::binary | std::ios::app)
        << record("05:02:00", "20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return south.alarm_count() == 1 && both.alarm_count() == 2; }));
    ASSERT_TRUE(answer(south, "loose clamp", "clamped"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return both.alarm_count() == 1; }));
    EXPECT_NE(in("south", "databac-journal.csv").find("loose clamp"), std::string::npos);

    // North's clock is behind: its new record goes first in the list, and
    // alarms as new all the same, once.
    std::ofstream(work_.path() / "north" / "databac.txt", std::ios::binary | std::ios::app)
        << record("04:30:00", "20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return both.alarm_count() == 2; }));
    QTest::qWait(300);
    EXPECT_EQ(both.alarm_count(), 2u);
    EXPECT_NE(notifier_.notices.back().body.find("04:30:00"), std::string::npos)
        << notifier_.notices.back().body;
}

TEST_F(InspectAlarmTest, AJournalThatCannotBeWrittenKeepsTheAlarm) {
    std::filesystem::create_directory(work_.path() / "databac-journal.csv");
    write("\"Backup Data\"\r\n" + record("05:00:00", "10"), std::ios::trunc);
    InspectWindow& window = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.control().judged() == 1; }));
    write(record("05:01:00", "20"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.alarm_count() == 1; }));

    QDialog* dialog = answer(window, "worn tool", "tool changed");
    ASSERT_TRUE(dialog);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = dialog->findChild<QMessageBox*>("journal_failed")); }));
    EXPECT_TRUE(box->text().contains("databac-journal.csv")) << box->text().toStdString();
    EXPECT_EQ(window.alarm_count(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->findChild<QComboBox*>("cause")->currentText(), "worn tool");
    box->close();
}

}  // namespace
}  // namespace tolvane::testing
