// An office that goes away: killed between two sends, or in the middle of
// one. Each test starts its own headless office on TOLVANE_UNO_PIPE with its
// profile in the build directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export/spreadsheet_export.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "platform/office/office.h"
#include "platform/uno_spreadsheet_server.h"

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
