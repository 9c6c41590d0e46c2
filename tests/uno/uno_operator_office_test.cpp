// The operator's own office: started from the desktop (the user's profile, no
// pipe of tolvane's), a document open. The first send goes through the
// launcher, which hands the pipe to that office; the values go into its
// active document. Run by run_with_xvfb.sh: a display, a throw-away HOME and
// a pipe name of its own.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/util/XCloseable.hpp>

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

class OperatorsOffice : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_THROW(t::desktop_on(pipe), css::uno::Exception) << "an office already listens";
        office = t::start_office(std::string(getenv("HOME")) + "/office", own_pipe, false,
                                 std::chrono::seconds(90), false);
        desktop = t::desktop_on(own_pipe);
        table.meas(1) = 1.23;
        table.meas(2) = 45.6;
        table.meas(3) = 700;
        table.meas_count = 3;
        send.fill_vertical = true;
    }
    void TearDown() override { t::stop_office(office, own_pipe); }

    const std::string pipe = uno_pipe_from_environment();
    // The office's own way in for this test, not the one tolvane uses.
    const std::string own_pipe = pipe + "-operator";
    t::OfficeProcess office;
    Reference<css::frame::XDesktop2> desktop;
    MeasTable table;
    t::FakeDialogs dialogs;
    t::FakeButton command1;
    t::FakeBusy busy;
    UnoSpreadsheetServer server;
    SpreadsheetExport send{table, dialogs, command1, server, busy};
};

TEST_F(OperatorsOffice, FirstSendWritesAtTheActiveCellOfTheOpenSpreadsheet) {
    Reference<css::sheet::XSpreadsheetDocument> doc = t::new_calc_document(desktop);
    t::select(doc, "C5");
    ASSERT_EQ(t::document_count(desktop), 1);

    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    EXPECT_EQ(busy.begins, 1) << "the first send goes through the launcher";
    EXPECT_EQ(t::value(doc, "C5"), 1.23);
    EXPECT_EQ(t::value(doc, "C6"), 45.6);
    EXPECT_EQ(t::value(doc, "C7"), 700);
    EXPECT_EQ(t::selection(doc), "C8");
    EXPECT_EQ(t::document_count(desktop), 1) << "no document was opened";

    // The office now listens on tolvane's pipe: a plain attach.
    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    EXPECT_EQ(busy.begins, 1);
    EXPECT_EQ(t::value(doc, "C8"), 1.23);
    EXPECT_EQ(t::value(doc, "C10"), 700);
    EXPECT_EQ(t::selection(doc), "C11");
    EXPECT_EQ(t::document_count(desktop), 1);
}

// Its last document closed: the Start Center is what it has to offer.
TEST_F(OperatorsOffice, StartCenterActiveOpensANewSpreadsheet) {
    Reference<css::util::XCloseable>(t::new_calc_document(desktop), UNO_QUERY_THROW)->close(true);
    ASSERT_FALSE(
        Reference<css::sheet::XSpreadsheetDocument>(desktop->getCurrentComponent(), UNO_QUERY)
            .is());

    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);
    Reference<css::sheet::XSpreadsheetDocument> doc(desktop->getCurrentComponent(), UNO_QUERY);
    ASSERT_TRUE(doc.is());
    EXPECT_EQ(t::value(doc, "A1"), 1.23);
    EXPECT_EQ(t::value(doc, "A3"), 700);
    EXPECT_EQ(t::selection(doc), "A4");
}

// Children of this process still running, the office aside.
int live_children_but(pid_t office) {
    int n = 0;
    for (const t::ProcessState& p : t::processes())
        n += p.ppid == getpid() && p.state != 'Z' && p.pid != office;
    return n;
}

// The office hangs before the first send: the launcher, handing it the pipe,
// hangs with it. The send gives up at the start deadline, and the launcher
// does not stay behind.
TEST_F(OperatorsOffice, HungOfficeIsGivenUpAtTheStartDeadlineAndLeavesNoLauncher) {
    t::select(t::new_calc_document(desktop), "C5");
    t::BlockingWaiting waiting;
    SpreadsheetWorker worker(
        [] { return std::make_shared<UnoSpreadsheetServer>(); }, waiting,
        SendDeadlines{std::chrono::seconds(5), std::chrono::seconds(3), std::chrono::seconds(5)});
    SpreadsheetExport hung_send{table, dialogs, command1, worker, busy};
    kill(-office.launcher, SIGSTOP);

    EXPECT_FALSE(hung_send.connect1());
    kill(-office.launcher, SIGCONT);
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"The measurements were not sent: LibreOffice Calc did not "
                                       "start within 3\u00a0s. They are still in the measurement "
                                       "list."});
    EXPECT_EQ(worker.running_calls(), 0);
    bool launcher_gone = false;
    for (int i = 0; i < 100 && !launcher_gone; ++i) {
        launcher_gone = live_children_but(office.launcher) == 0;
        if (!launcher_gone) usleep(50000);
    }
    EXPECT_TRUE(launcher_gone);
}

}  // namespace
}  // namespace tolvane
