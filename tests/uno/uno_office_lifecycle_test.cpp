// An office that goes away (killed between two sends, or in the middle of
// one) or cannot be started. The first tests start their own headless office
// on TOLVANE_UNO_PIPE with its profile in the build directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <signal.h>

#include "export/spreadsheet_export.h"
#include "export/spreadsheet_worker.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "fakes/fake_waiting.h"
#include "uno/office/office.h"
#include "uno/uno_spreadsheet_server.h"

namespace tolvane {
namespace {

namespace t = tolvane::testing;

class OfficeGoesAway : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(dir);
        office = t::start_office(dir, pipe);
        t::new_calc_document(t::desktop_on(pipe));
    }
    void TearDown() override { t::stop_office(office, pipe); }

    std::string dir = TOLVANE_TEST_OFFICE_DIR;
    std::string pipe = uno_pipe_from_environment();
    t::OfficeProcess office;
};

TEST_F(OfficeGoesAway, KilledBetweenTwoSendsGivesOneMessageAndTheNextSendWorks) {
    MeasTable table;
    table.meas(1) = 1.5;
    table.meas(2) = 2.5;
    table.meas_count = 2;
    t::FakeDialogs dialogs;
    t::FakeButton command1;
    t::FakeBusy busy;
    // No office can be started here: the second send has nothing to reach.
    UnoSpreadsheetServer::Options options;
    options.launcher = "false";
    UnoSpreadsheetServer server(options);
    SpreadsheetExport send(table, dialogs, command1, server, busy);
    send.fill_vertical = true;

    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    t::kill_office(office);

    EXPECT_FALSE(send.connect1());
    EXPECT_NE(dialogs.messages[0].find("LibreOffice Calc could not be reached or started"),
              std::string::npos)
        << dialogs.messages[0];
    EXPECT_EQ(busy.begins, 1);
    EXPECT_FALSE(busy.busy);
    EXPECT_EQ(table.meas_count, 2);

    office = t::start_office(dir, pipe);
    auto doc = t::new_calc_document(t::desktop_on(pipe));
    t::select(doc, "B3");
    EXPECT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    EXPECT_EQ(t::value(doc, "B3"), 1.5);
    EXPECT_EQ(t::value(doc, "B4"), 2.5);
    EXPECT_EQ(t::selection(doc), "B5");
}

// An office that hangs (stopped) while the send waits on it, through the
// worker as the window uses it.
class OfficeHangs : public OfficeGoesAway {
  protected:
    void SetUp() override {
        OfficeGoesAway::SetUp();
        table.meas(1) = 1.5;
        table.meas(2) = 2.5;
        table.meas_count = 2;
        send.fill_vertical = true;
        doc.set(t::desktop_on(pipe)->getCurrentComponent(), css::uno::UNO_QUERY_THROW);
        t::select(doc, "B3");
    }
    void TearDown() override {
        kill(-office.launcher, SIGCONT);
        OfficeGoesAway::TearDown();
    }

    static std::shared_ptr<SpreadsheetServer> make_server() {
        UnoSpreadsheetServer::Options o;
        o.launcher = "false";
        return std::make_shared<UnoSpreadsheetServer>(o);
    }

    MeasTable table;
    t::FakeDialogs dialogs;
    t::FakeButton command1;
    t::FakeBusy busy;
    t::BlockingWaiting waiting;
    SpreadsheetWorker worker{
        make_server, waiting,
        SendDeadlines{std::chrono::seconds(2), std::chrono::seconds(5), std::chrono::seconds(5)}};
    SpreadsheetExport send{table, dialogs, command1, worker, busy};
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
};

TEST_F(OfficeHangs, StoppedOfficeIsGivenUpAtTheDeadlineAndAnswersAgainAfterwards) {
    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    kill(-office.launcher, SIGSTOP);

    // Twice: each try ends at its deadline, and no call is left waiting.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(send.connect1());
        ASSERT_EQ(dialogs.messages.size(), static_cast<size_t>(i + 1));
        EXPECT_EQ(
            dialogs.messages[i],
            "The measurements were not sent: LibreOffice Calc did not answer within 2\u00a0s. "
            "They are still in the measurement list.");
        EXPECT_EQ(worker.running_calls(), 0);
    }
    EXPECT_EQ(busy.begins, 0) << "no office was started";
    EXPECT_EQ(table.meas_count, 2);

    kill(-office.launcher, SIGCONT);
    EXPECT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    EXPECT_EQ(t::value(doc, "B5"), 1.5);
    EXPECT_EQ(t::value(doc, "B6"), 2.5);
    EXPECT_EQ(t::selection(doc), "B7");
}

TEST_F(OfficeHangs, OfficeKilledWhileTheSendWaitsIsOneFailure) {
    kill(-office.launcher, SIGSTOP);
    std::thread killer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        t::kill_office(office);
    });
    EXPECT_FALSE(send.connect1());
    killer.join();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("The measurements were not sent: "), std::string::npos);
    EXPECT_EQ(worker.running_calls(), 0);
}

TEST_F(OfficeGoesAway, KilledInTheMiddleOfASendIsAFailureOfEachStep) {
    UnoSpreadsheetServer server;
    ASSERT_TRUE(server.attach().ok());
    CellPosition last;
    ASSERT_TRUE(server.active_sheet(last).ok());
    t::kill_office(office);

    const double values[] = {1, 2, 3};
    const Status written = server.set_values({1, 1}, FillDirection::down, values);
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.reason().find("LibreOffice Calc was closed or the connection to it was lost"),
              std::string::npos)
        << written.reason();
    CellPosition cell;
    EXPECT_FALSE(server.active_cell(cell).ok());
    EXPECT_FALSE(server.select({4, 1}).ok());
    server.release();
    EXPECT_FALSE(server.attach().ok());
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// Children of this process that have ended but were not reaped.
int zombie_children() {
    int zombies = 0;
    for (const testing::ProcessState& p : testing::processes())
        zombies += p.ppid == getpid() && p.state == 'Z';
    return zombies;
}

bool no_zombie_children_within(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (zombie_children() > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

UnoSpreadsheetServer::Options nobody_listens(std::string launcher) {
    UnoSpreadsheetServer::Options o;
    o.pipe = "tolvane-nobody-" + std::to_string(getpid());
    o.launcher = std::move(launcher);
    o.start_timeout = std::chrono::seconds(1);
    return o;
}

TEST(StartingTheOffice, LauncherThatFailsEndsTheWaitAtOnce) {
    UnoSpreadsheetServer server(nobody_listens("false"));
    EXPECT_FALSE(server.attach().ok());
    const Status s = server.create();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.reason(), "false could not start an office: it ended with exit status 1");
    EXPECT_TRUE(no_zombie_children_within(std::chrono::seconds(5)));
}

TEST(StartingTheOffice, MissingLauncherIsNamed) {
    UnoSpreadsheetServer server(nobody_listens("tolvane-no-such-office"));
    const Status s = server.create();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.reason(), "tolvane-no-such-office: No such file or directory");
}

// A launcher that hands the request on and exits 0, but no office follows.
TEST(StartingTheOffice, OfficeThatNeverAnswersTimesOut) {
    UnoSpreadsheetServer server(nobody_listens("true"));
    const Status s = server.create();
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.reason().find("did not answer on the pipe \"tolvane-nobody-"), std::string::npos)
        << s.reason();
    EXPECT_NE(s.reason().find("within 1\u00a0s"), std::string::npos) << s.reason();
    EXPECT_TRUE(no_zombie_children_within(std::chrono::seconds(5)));
}

}  // namespace
}  // namespace tolvane
