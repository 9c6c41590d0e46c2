// The send against a real LibreOffice Calc: the headless office of the CTest
// fixture "office", listening on TOLVANE_UNO_PIPE.
#include "uno/uno_spreadsheet_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include "export/spreadsheet_export.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "uno/office/office.h"

namespace tolvane {
namespace {

namespace t = tolvane::testing;

// The fixture's office must answer: should it be gone, failing at once beats
// starting another one.
UnoSpreadsheetServer::Options attach_only() {
    UnoSpreadsheetServer::Options o;
    o.launcher = "false";
    return o;
}

// A send given up while its call's thread has not reached the call yet: the
// call must not go on to start an office.
TEST(UnoSpreadsheetServer, ABreakBeforeTheCallBeginsStillBreaksItOff) {
    UnoSpreadsheetServer server{attach_only()};
    server.abandon();
    EXPECT_EQ(server.create().reason(), "the start was broken off");
}

class OfficeSend : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop = t::desktop_on(uno_pipe_from_environment());
        t::close_documents(desktop);
        doc = t::new_calc_document(desktop);
        t::select(doc, "C5");
    }
    void TearDown() override {
        if (desktop.is()) t::close_documents(desktop);
    }

    void block(std::initializer_list<double> values) {
        table.meas_count = 0;
        for (double v : values)
            table.meas(++table.meas_count) = v;
    }
    double at(const std::string& cell) { return t::value(doc, cell); }

    Reference<css::frame::XDesktop2> desktop;
    Reference<css::sheet::XSpreadsheetDocument> doc;
    MeasTable table;
    t::FakeDialogs dialogs;
    t::FakeButton command1;
    t::FakeBusy busy;
    UnoSpreadsheetServer server{attach_only()};
    SpreadsheetExport send{table, dialogs, command1, server, busy};
};

TEST_F(OfficeSend, VerticalFromC5) {
    block({1.23, 45.6, 700});
    send.fill_vertical = true;

    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);

    EXPECT_EQ(at("C5"), 1.23);
    EXPECT_EQ(at("C6"), 45.6);
    EXPECT_EQ(at("C7"), 700);
    EXPECT_TRUE(std::isnan(at("C8")));
    EXPECT_TRUE(std::isnan(at("D5")));
    EXPECT_EQ(t::selection(doc), "C8");
    EXPECT_EQ(send.xl_row, 8);
    EXPECT_EQ(send.xl_col, 3);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(busy.begins, 0);
}

TEST_F(OfficeSend, HorizontalFromC5) {
    block({1.23, 45.6, 700});
    send.fill_vertical = false;

    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);

    EXPECT_EQ(at("C5"), 1.23);
    EXPECT_EQ(at("D5"), 45.6);
    EXPECT_EQ(at("E5"), 700);
    EXPECT_TRUE(std::isnan(at("C6")));
    EXPECT_EQ(t::selection(doc), "F5");
}

TEST_F(OfficeSend, SecondSendContinuesAfterTheFirst) {
    block({0.01, 9.99e15});
    send.fill_vertical = true;
    ASSERT_TRUE(send.connect1());
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(at("C7"), 0.01);
    EXPECT_EQ(at("C8"), 9.99e15);
    EXPECT_EQ(t::selection(doc), "C9");

    send.op_hor_click();
    t::select(doc, "C5");
    ASSERT_TRUE(send.connect1());
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(at("E5"), 0.01);
    EXPECT_EQ(at("F5"), 9.99e15);
    EXPECT_EQ(t::selection(doc), "G5");
}

TEST_F(OfficeSend, RangeStartsAtItsTopLeftCell) {
    t::select(doc, "C5:E9");
    block({1, 2, 3});
    send.fill_vertical = true;
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(at("C5"), 1);
    EXPECT_EQ(at("C7"), 3);
    EXPECT_TRUE(std::isnan(at("D5")));
    EXPECT_EQ(t::selection(doc), "C8");
}

// The office hands over several ranges in its own order, by position, not in
// the order they were selected.
TEST_F(OfficeSend, SeveralRangesStartAtTheFirstRangeTheOfficeGives) {
    t::select(doc, "E7:F8;B2");
    block({1, 2});
    send.fill_vertical = true;
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(at("B2"), 1);
    EXPECT_EQ(at("B3"), 2);
    EXPECT_TRUE(std::isnan(at("E7")));
    EXPECT_EQ(t::selection(doc), "B4");
}

TEST_F(OfficeSend, EmptyTableWritesNothing) {
    block({});
    EXPECT_FALSE(send.connect1());
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"No Measurements To Send To Backup file."});
    EXPECT_TRUE(std::isnan(at("C5")));
    EXPECT_EQ(t::selection(doc), "C5");
}

TEST_F(OfficeSend, NoSpreadsheetDocumentOpensANewOne) {
    t::close_documents(desktop);
    doc.clear();
    block({4.5});
    ASSERT_TRUE(send.connect1()) << ::testing::PrintToString(dialogs.messages);

    doc.set(desktop->getCurrentComponent(), UNO_QUERY);
    ASSERT_TRUE(doc.is());
    EXPECT_EQ(at("A1"), 4.5);
    EXPECT_EQ(t::selection(doc), "B1");
}

TEST_F(OfficeSend, SelectedShapeIsNoCell) {
    t::select_a_shape(doc);
    block({1});
    EXPECT_FALSE(send.connect1());
    EXPECT_NE(dialogs.messages[0].find("the selection is not a cell"), std::string::npos)
        << dialogs.messages[0];
    EXPECT_TRUE(std::isnan(at("A1")));
    EXPECT_TRUE(std::isnan(at("C5")));
}

TEST_F(OfficeSend, ProtectedSheetRefusesTheValues) {
    Reference<css::util::XProtectable>(t::active_sheet_of(doc), UNO_QUERY_THROW)
        ->protect(rtl::OUString());
    block({1, 2});
    EXPECT_FALSE(send.connect1());
    EXPECT_NE(dialogs.messages[0].find("did not accept the values (the sheet is protected"),
              std::string::npos)
        << dialogs.messages[0];
    EXPECT_TRUE(std::isnan(at("C5")));
}

TEST_F(OfficeSend, RunPastTheLastRowWritesWhatFits) {
    t::select(doc, "C1048575");
    block({1, 2, 3});
    send.fill_vertical = true;
    EXPECT_FALSE(send.connect1());
    EXPECT_EQ(at("C1048575"), 1);
    EXPECT_EQ(at("C1048576"), 2);
    EXPECT_EQ(t::selection(doc), "C1048576");
    EXPECT_NE(dialogs.messages[0].find("Only 2 of 3"), std::string::npos) << dialogs.messages[0];
    EXPECT_NE(dialogs.messages[0].find("row 1048576"), std::string::npos);
}

TEST_F(OfficeSend, RunPastTheLastColumnWritesWhatFits) {
    t::select(doc, "XFC5");
    block({1, 2, 3});
    send.fill_vertical = false;
    EXPECT_FALSE(send.connect1());
    EXPECT_EQ(at("XFC5"), 1);
    EXPECT_EQ(at("XFD5"), 2);
    EXPECT_NE(dialogs.messages[0].find("column 16384"), std::string::npos) << dialogs.messages[0];
}

// The server alone: a document closed between two steps of one send.
TEST_F(OfficeSend, DocumentClosedMidSendIsAFailure) {
    ASSERT_TRUE(server.attach().ok());
    CellPosition last;
    ASSERT_TRUE(server.active_sheet(last).ok());
    EXPECT_EQ(last, (CellPosition{1048576, 16384}));
    Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    doc.clear();

    const double values[] = {1, 2};
    const Status written = server.set_values({5, 3}, FillDirection::down, values);
    EXPECT_FALSE(written.ok());
    EXPECT_FALSE(written.reason().empty());
    EXPECT_FALSE(server.select({7, 3}).ok());
    server.release();
}

}  // namespace
}  // namespace tolvane
