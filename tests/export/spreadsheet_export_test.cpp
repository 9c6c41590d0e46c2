#include "export/spreadsheet_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"

namespace tolvane {
namespace {

using testing::FakeBusy;
using testing::FakeButton;
using testing::FakeDialogs;
using testing::FakeSpreadsheet;

class SendTest : public ::testing::Test {
  protected:
    SendTest() { sheet.busy_flag = &busy.busy; }

    void block(std::initializer_list<double> values) {
        table.meas_count = 0;
        for (double v : values)
            table.meas(++table.meas_count) = v;
    }
    int count(const std::string& call) const {
        return static_cast<int>(std::count(sheet.calls.begin(), sheet.calls.end(), call));
    }

    MeasTable table;
    FakeDialogs dialogs;
    FakeButton command1;
    FakeSpreadsheet sheet;
    FakeBusy busy;
    SpreadsheetExport send{table, dialogs, command1, sheet, busy};
};

TEST_F(SendTest, VerticalFromC5SelectsC8) {
    block({1.23, 45.6, 700});
    sheet.active = {5, 3};
    send.fill_vertical = true;

    EXPECT_TRUE(send.connect1());

    EXPECT_EQ(sheet.at(5, 3), 1.23);
    EXPECT_EQ(sheet.at(6, 3), 45.6);
    EXPECT_EQ(sheet.at(7, 3), 700);
    EXPECT_EQ(sheet.cells.size(), 3u);
    EXPECT_EQ(sheet.active, (CellPosition{8, 3}));
    EXPECT_EQ(send.xl_row, 8);
    EXPECT_EQ(send.xl_col, 3);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(table.meas_count, 3);
    EXPECT_EQ(sheet.calls.back(), "release");
}

TEST_F(SendTest, HorizontalFromC5SelectsF5) {
    block({1.23, 45.6, 700});
    sheet.active = {5, 3};
    send.fill_vertical = false;

    EXPECT_TRUE(send.connect1());

    EXPECT_EQ(sheet.at(5, 3), 1.23);
    EXPECT_EQ(sheet.at(5, 4), 45.6);
    EXPECT_EQ(sheet.at(5, 5), 700);
    EXPECT_EQ(sheet.cells.size(), 3u);
    EXPECT_EQ(sheet.active, (CellPosition{5, 6}));
    EXPECT_EQ(send.xl_col, 6);
}

TEST_F(SendTest, SecondSendContinuesWhereTheFirstEndedOrWhereTheUserMoved) {
    block({1.5, 2.5});
    sheet.active = {5, 3};
    send.fill_vertical = true;
    ASSERT_TRUE(send.connect1());
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(7, 3), 1.5);
    EXPECT_EQ(sheet.at(8, 3), 2.5);
    EXPECT_EQ(sheet.active, (CellPosition{9, 3}));

    sheet.active = {2, 10};  // the user clicks another cell
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(2, 10), 1.5);
    EXPECT_EQ(sheet.at(3, 10), 2.5);
    EXPECT_EQ(sheet.cells.size(), 6u);
}

TEST_F(SendTest, EmptyTableOnlyShowsTheMessage) {
    block({});
    EXPECT_FALSE(send.connect1());
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"No Measurements To Send To Backup file."});
    EXPECT_TRUE(sheet.calls.empty());
    EXPECT_EQ(busy.begins, 0);
}

TEST_F(SendTest, CreatesTheApplicationWhenNoneAnswersWithTheWaitCursor) {
    block({3.0});
    sheet.running = false;
    sheet.cells[{1, 1}] = 99;  // the new document starts empty

    EXPECT_TRUE(send.connect1());

    EXPECT_EQ(count("create"), 1);
    EXPECT_TRUE(sheet.busy_during_create);
    EXPECT_FALSE(busy.busy);
    EXPECT_EQ(sheet.at(1, 1), 3.0);
    EXPECT_EQ(sheet.active, (CellPosition{1, 2}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SendTest, AttachedApplicationIsNotCreatedAgain) {
    block({3.0});
    EXPECT_TRUE(send.connect1());
    EXPECT_EQ(count("create"), 0);
    EXPECT_EQ(busy.begins, 0);
}

// Every failure from attach-or-create on: one message naming the step and the
// server's reason, nothing further attempted, the table kept, the server let go.
TEST_F(SendTest, EachFailingStepEndsTheSendWithOneMessage) {
    struct Case {
        std::string step;
        std::string says;
    };
    const Case cases[] = {
        {"create", "LibreOffice Calc could not be reached or started"},
        {"active_sheet", "there is no active sheet in LibreOffice Calc"},
        {"active_cell", "the active cell in LibreOffice Calc could not be found"},
        {"set_values", "LibreOffice Calc did not accept the values"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        FakeSpreadsheet server;
        FakeDialogs messages;
        FakeBusy wait;
        SpreadsheetExport export_(table, messages, command1, server, wait);
        block({1.0, 2.0});
        server.active = {4, 4};
        server.running = c.step != "create";
        server.failing[c.step] = "the reason";

        EXPECT_FALSE(export_.connect1());

        ASSERT_EQ(messages.messages.size(), 1u);
        const std::string& m = messages.messages[0];
        EXPECT_NE(m.find(c.says), std::string::npos) << m;
        EXPECT_NE(m.find("(the reason)"), std::string::npos) << m;
        EXPECT_NE(m.find("still in the measurement list"), std::string::npos) << m;
        EXPECT_EQ(server.calls.back(), "release");
        EXPECT_EQ(server.calls.end()[-2], c.step);
        EXPECT_EQ(server.active, (CellPosition{4, 4}));
        EXPECT_FALSE(wait.busy);
        EXPECT_EQ(table.meas_count, 2);
    }
}

TEST_F(SendTest, FailedSelectAfterTheWriteStillCountsAsSent) {
    block({1.0, 2.0});
    sheet.failing["select"] = "refused";
    EXPECT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(1, 2), 2.0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("could not be selected (refused)"), std::string::npos);
}

TEST_F(SendTest, NothingEscapesFromABrokenServer) {
    block({1.0});
    sheet.throwing["active_cell"] = "boom";
    bool sent = true;
    EXPECT_NO_THROW(sent = send.connect1());
    EXPECT_FALSE(sent);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("boom"), std::string::npos);
    EXPECT_EQ(sheet.calls.back(), "release");
}

// Rows and columns are 32-bit: a sheet has 1,048,576 rows and 16,384 columns.
TEST_F(SendTest, RowsAndColumnsBeyondSixteenBits) {
    block({1.0, 2.0});
    sheet.active = {40000, 3};
    send.fill_vertical = true;
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(40001, 3), 2.0);
    EXPECT_EQ(send.xl_row, 40002);

    sheet.active = {1048574, 3};
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(1048575, 3), 2.0);
    EXPECT_EQ(sheet.active, (CellPosition{1048576, 3}));
}

TEST_F(SendTest, RunPastTheLastRowWritesWhatFitsAndReportsTheRest) {
    block({1.0, 2.0, 3.0, 4.0});
    sheet.active = {1048575, 2};
    send.fill_vertical = true;

    EXPECT_FALSE(send.connect1());

    EXPECT_EQ(sheet.at(1048575, 2), 1.0);
    EXPECT_EQ(sheet.at(1048576, 2), 2.0);
    EXPECT_EQ(sheet.cells.size(), 2u);
    EXPECT_EQ(sheet.active, (CellPosition{1048576, 2}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              "Only 2 of 4 measurements fit on the sheet in LibreOffice Calc, which ends at row "
              "1048576; 2 were not written. All of them are still in the measurement list.");
    EXPECT_EQ(table.meas_count, 4);
}

TEST_F(SendTest, RunPastTheLastColumnWritesWhatFitsAndReportsTheRest) {
    block({1.0, 2.0, 3.0});
    sheet.last_cell = {1048576, 16384};
    sheet.active = {7, 16384};
    send.fill_vertical = false;

    EXPECT_FALSE(send.connect1());

    EXPECT_EQ(sheet.at(7, 16384), 1.0);
    EXPECT_EQ(sheet.cells.size(), 1u);
    EXPECT_EQ(sheet.active, (CellPosition{7, 16384}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("Only 1 of 3"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].find("ends at column 16384"), std::string::npos);
}

TEST_F(SendTest, RunEndingExactlyOnTheLastRowIsComplete) {
    block({1.0, 2.0});
    sheet.last_cell = {10, 10};
    sheet.active = {9, 1};
    send.fill_vertical = true;
    EXPECT_TRUE(send.connect1());
    EXPECT_EQ(sheet.at(10, 1), 2.0);
    EXPECT_EQ(sheet.active, (CellPosition{10, 1}));
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"The measurements were written to LibreOffice Calc up to "
                                       "the sheet's last row 10. Select the cell for the next "
                                       "send."});
}

TEST(Controls, AutoConnectFlipsAndGreysOutConnect) {
    MeasTable table;
    FakeDialogs dialogs;
    FakeButton command1;
    FakeSpreadsheet sheet;
    FakeBusy busy;
    SpreadsheetExport send(table, dialogs, command1, sheet, busy);
    ASSERT_FALSE(send.auto_connect);

    send.chk_auto_click();
    EXPECT_TRUE(send.auto_connect);
    EXPECT_FALSE(command1.enabled());
    send.chk_auto_click();
    EXPECT_FALSE(send.auto_connect);
    EXPECT_TRUE(command1.enabled());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(Controls, FillDirectionButtonsSetTheDirectionAndAskToCheckTheCell) {
    MeasTable table;
    FakeDialogs dialogs;
    FakeButton command1;
    FakeSpreadsheet sheet;
    FakeBusy busy;
    SpreadsheetExport send(table, dialogs, command1, sheet, busy);

    send.op_ver_click();
    EXPECT_TRUE(send.fill_vertical);
    send.op_hor_click();
    EXPECT_FALSE(send.fill_vertical);
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"Check the current cell position in LibreOffice Calc",
                                        "Check the current cell position in LibreOffice Calc"}));
    EXPECT_TRUE(sheet.calls.empty());
}

TEST(Controls, ConnectSendsAndKeepsTheTable) {
    MeasTable table;
    table.meas(1) = 4.5;
    table.meas_count = 1;
    FakeDialogs dialogs;
    FakeButton command1;
    FakeSpreadsheet sheet;
    FakeBusy busy;
    SpreadsheetExport send(table, dialogs, command1, sheet, busy);

    send.command1_click();
    send.command1_click();
    EXPECT_EQ(sheet.at(1, 1), 4.5);
    EXPECT_EQ(sheet.at(1, 2), 4.5);
    EXPECT_EQ(table.meas_count, 1);
}

}  // namespace
}  // namespace tolvane
