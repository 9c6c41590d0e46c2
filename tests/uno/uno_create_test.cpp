// The create path: no office listens, so the send starts one with `soffice`,
// visible, and the values arrive in its new spreadsheet. Run by
// run_with_xvfb.sh, which gives it a display, a throw-away HOME and a pipe of
// its own.
#include <gtest/gtest.h>

#include <cmath>

#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>

#include "export/spreadsheet_export.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "uno/office/office.h"
#include "uno/uno_spreadsheet_server.h"

namespace tolvane {
namespace {

namespace t = tolvane::testing;

TEST(CreatePath, StartsAVisibleOfficeAndTheValuesArrive) {
    const std::string pipe = uno_pipe_from_environment();
    ASSERT_THROW(t::desktop_on(pipe), css::uno::Exception) << "an office already listens";

    MeasTable table;
    table.meas(1) = 1.23;
    table.meas(2) = 45.6;
    table.meas(3) = 700;
    table.meas_count = 3;
    t::FakeDialogs dialogs;
    t::FakeButton command1;
    t::FakeBusy busy;
    UnoSpreadsheetServer server;
    SpreadsheetExport send(table, dialogs, command1, server, busy);
    send.fill_vertical = true;

    const bool sent = send.connect1();

    Reference<css::frame::XDesktop2> desktop = t::desktop_on(pipe);
    EXPECT_TRUE(sent) << ::testing::PrintToString(dialogs.messages);
    EXPECT_EQ(busy.begins, 1);
    EXPECT_FALSE(busy.busy);
    Reference<css::sheet::XSpreadsheetDocument> doc(desktop->getCurrentComponent(), UNO_QUERY);
    ASSERT_TRUE(doc.is());
    EXPECT_EQ(t::value(doc, "A1"), 1.23);
    EXPECT_EQ(t::value(doc, "A2"), 45.6);
    EXPECT_EQ(t::value(doc, "A3"), 700);
    EXPECT_EQ(t::selection(doc), "A4");

    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    Reference<css::awt::XWindow2> window(
        model->getCurrentController()->getFrame()->getContainerWindow(), UNO_QUERY_THROW);
    EXPECT_TRUE(window->isVisible());

    // A second send attaches to the office the first one started.
    ASSERT_TRUE(send.connect1());
    EXPECT_EQ(busy.begins, 1);
    EXPECT_EQ(t::value(doc, "A6"), 700);

    t::close_documents(desktop);
    desktop->terminate();
}

}  // namespace
}  // namespace tolvane
