// A send to a spreadsheet application that hangs: the window goes on,
// blocks keep being recorded afterwards, Cancel, close and Exit end the send.
#include <QCheckBox>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "kld350_sim.h"
#include "qt/qt_send_progress.h"
#include "shell/main_window_rig.h"

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;
using Rows = std::vector<std::string>;

std::string block(const char* a, const char* b) {
    const kld350::Reading r[] = {*kld350::reading_from_text(a), *kld350::reading_from_text(b)};
    return kld350::encode_block(r);
}

Rows rows(QListView* v) {
    Rows out;
    for (int i = 0; i < v->model()->rowCount(); ++i)
        out.push_back(v->model()->index(i, 0).data().toString().toStdString());
    return out;
}

class HungOffice : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        deadlines = {800ms, 800ms, 2000ms};
        start();
        sheet.active = {5, 3};
    }
    // Runs `step` on the event loop once the send is waiting.
    void meanwhile(int after_ms, std::function<void()> step) {
        QTimer::singleShot(after_ms, window.get(), std::move(step));
    }
    Rows list(const char* name) { return rows(find<QListView>(name)); }
    void press_connect() { find<QPushButton>("Command1")->click(); }
};

TEST_F(HungOffice, BlocksArrivingWhileASendWaitsAreRecordedAfterItInOrder) {
    find<QCheckBox>("chk_auto")->click();
    sheet.hang("attach");
    com.reads.push_back(block("1.11", "2.22"));
    // While the first block's send waits: two more blocks, and the window
    // still repaints and runs its timers.
    int ticks = 0;
    QTimer counter;
    QObject::connect(&counter, &QTimer::timeout, [&] { ++ticks; });
    counter.start(20);
    meanwhile(700, [&] {
        com.reads.push_back(block("3.33", "4.44"));
        com.reads.push_back(block("5.55", "6.66"));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 5000));
    EXPECT_GT(ticks, 5) << "the window went on while the send waited";
    EXPECT_EQ(dialogs.messages[0],
              "The measurements were not sent: LibreOffice Calc did not answer within 0.8\u00a0s. "
              "They are still in the measurement list.");
    // Not sent: Auto Connect leaves them in the list.
    EXPECT_EQ(list("lst_meas"), (Rows{"1.11", "2.22"}));

    sheet.answer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.at(8, 3).has_value(); }, 5000));
    EXPECT_DOUBLE_EQ(sheet.at(5, 3).value_or(0), 3.33);
    EXPECT_DOUBLE_EQ(sheet.at(6, 3).value_or(0), 4.44);
    EXPECT_DOUBLE_EQ(sheet.at(7, 3).value_or(0), 5.55);
    EXPECT_DOUBLE_EQ(sheet.at(8, 3).value_or(0), 6.66);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(list("lst_backup"),
              (Rows{"Backup Data", "6.12.2026 5:54:07", "1.11", "2.22", "6.12.2026 5:54:07", "3.33",
                    "4.44", "6.12.2026 5:54:07", "5.55", "6.66"}));
    EXPECT_EQ(window->spreadsheet_worker().running_calls(), 0);
}

TEST_F(HungOffice, CancelInTheProgressWindowEndsTheSend) {
    deadlines.answer = 60s;
    start();
    com.reads.push_back(block("1.11", "2.22"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list("lst_meas").empty(); }));
    sheet.hang("set_values");
    QProgressDialog* shown = nullptr;
    meanwhile(900, [&] {
        shown = window->send_progress().window();
        if (!shown) return;
        // A real click, through the window as the display delivers it.
        auto* cancel = shown->findChild<QPushButton*>();
        QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, {},
                          cancel->mapTo(shown, cancel->rect().center()));
    });
    press_connect();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->labelText().toStdString(),
              "Sending the measurements to LibreOffice Calc\u2026");
    EXPECT_FALSE(shown->isVisible());
    EXPECT_EQ(dialogs.messages,
              Rows{"The measurements were not sent: the send was cancelled. They are still in "
                   "the measurement list."});
    EXPECT_EQ(list("lst_meas"), (Rows{"1.11", "2.22"}));

    // The next send starts afresh.
    sheet.answer();
    press_connect();
    EXPECT_DOUBLE_EQ(sheet.at(5, 3).value_or(0), 1.11);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// A Cancel that lands as a step ends (a failed attach, its result already
// in) stops the send all the same: no office is started, no value written.
TEST_F(HungOffice, ACancelAsAStepEndsStartsNothingAfterIt) {
    deadlines.answer = 60s;
    start();
    com.reads.push_back(block("1.11", "2.22"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list("lst_meas").empty(); }));
    sheet.running = false;  // nothing answers: the send would start an office
    sheet.hang("attach");
    meanwhile(100, [&] {
        window->send_progress().cancel();
        sheet.answer();
        // The call is back before the wait looks again.
        while (window->spreadsheet_worker().running_calls() > 0)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
    });
    press_connect();
    EXPECT_EQ(sheet.calls, Rows{"attach"});
    EXPECT_TRUE(sheet.cells.empty());
    EXPECT_EQ(dialogs.messages,
              Rows{"The measurements were not sent: the send was cancelled. They are still in "
                   "the measurement list."});
}

// Close box or Exit while a send waits: the send ends, then the window
// closes (or the program ends) without a word.
TEST_F(HungOffice, ClosingOrExitWhileASendWaitsEndsTheSendFirst) {
    for (const bool exit : {false, true}) {
        deadlines.answer = 60s;
        std::filesystem::remove("numdat.dat");
        ended = 0;  // closing the window ends the program too
        start();
        com.reads.push_back(block("1.11", "2.22"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !list("lst_meas").empty(); }));
        sheet.hang("attach");
        meanwhile(100, [&] {
            if (exit)
                find<QAction>("exitmain")->trigger();
            else
                window->close();
        });
        press_connect();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended == 1; }));
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(file("numdat.dat"), " 80 \r\n");
        EXPECT_EQ(window->spreadsheet_worker().running_calls(), 0);
        sheet.answer();
    }
}

}  // namespace
}  // namespace tolvane::testing
