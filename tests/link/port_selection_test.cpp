#include "link/port_selection.h"

#include <gtest/gtest.h>

#include "fakes/fake_serial.h"
#include "link/link_rig.h"

namespace tolvane {
namespace {

class PortSelectionTest : public ::testing::Test, public testing::LinkRig<testing::FakeSerial> {
  protected:
    using Marks = std::vector<bool>;
};

TEST_F(PortSelectionTest, StartUpOnAFreePort) {
    ports.comstartup();
    EXPECT_TRUE(com.open);
    EXPECT_FALSE(port_locked);
    EXPECT_EQ(marks(), (Marks{true, false, false, false}));
    EXPECT_TRUE(tmr_main.is_enabled);
    EXPECT_EQ(lb_selectcom.caption, "");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PortSelectionTest, FailedStartUpThenAGoodChoice) {
    com_port = 3;
    com.free_ports = {1};
    ports.comstartup();
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"Com Port 3 Is Locked.  Please Select Another."});
    EXPECT_TRUE(port_locked);
    EXPECT_EQ(lb_selectcom.caption, "Com Port Not Selected!");
    EXPECT_TRUE(tmr_mess.is_enabled);
    EXPECT_FALSE(tmr_main.is_enabled);
    EXPECT_EQ(marks(), (Marks{false, false, false, false}));
    ports.tmr_mess_timer();
    EXPECT_FALSE(lb_selectcom.shown);
    ports.tmr_mess_timer();
    EXPECT_TRUE(lb_selectcom.shown);

    ports.com_click(1);
    EXPECT_EQ(ports.menu_port(), 1);
    EXPECT_EQ(com_port, 1);
    EXPECT_FALSE(port_locked);
    EXPECT_FALSE(lb_selectcom.shown);
    EXPECT_FALSE(tmr_mess.is_enabled);
    EXPECT_TRUE(tmr_main.is_enabled);
    EXPECT_EQ(marks(), (Marks{true, false, false, false}));
}

TEST_F(PortSelectionTest, RefusedAndUnlistedNumbers) {
    for (int16_t n : {0, 17, -1}) {
        com_port = n;
        ports.comstartup();
        EXPECT_TRUE(port_locked) << n;
        EXPECT_EQ(dialogs.messages.back(),
                  "Com Port " + std::to_string(n) + " Is Locked.  Please Select Another.");
    }
    com.free_ports = {6};
    com_port = 6;
    ports.comstartup();
    EXPECT_FALSE(port_locked);
    EXPECT_EQ(com.port, 6);
    EXPECT_EQ(marks(), (Marks{false, false, false, false}));
    EXPECT_TRUE(tmr_main.is_enabled);
}

TEST_F(PortSelectionTest, FailedChoiceAfterAGoodOne) {
    com.free_ports = {1};
    ports.comstartup();
    ports.com_click(2);
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"Com Port Is Locked.  Please Select Another."});
    EXPECT_FALSE(com.open);  // the old port was closed first
    EXPECT_TRUE(port_locked);
    EXPECT_FALSE(tmr_main.is_enabled);
    EXPECT_EQ(com_port, 1);
    EXPECT_EQ(marks(), (Marks{true, false, false, false}));
}

TEST_F(PortSelectionTest, ChoosingTheOpenPortReopensIt) {
    com_port = 2;
    ports.comstartup();
    ports.com_click(2);
    EXPECT_EQ(com.closings, 1);
    EXPECT_EQ(com.openings, 2);
    EXPECT_EQ(marks(), (Marks{false, true, false, false}));
    EXPECT_TRUE(tmr_main.is_enabled);
}

// The ending is asked for while a choice's closing step sends a block: no
// port opens after it, and nothing is said.
TEST_F(PortSelectionTest, AChoiceDuringWhichTheEndingIsAskedOpensNothing) {
    ports.comstartup();
    auto_connect = true;
    during_send = [&] { ports.open_no_more(); };
    com.reads = {std::string("\x01\x21\x23\xFF", 4)};
    ports.com_click(1);
    EXPECT_EQ(sends, 1);
    EXPECT_FALSE(com.open);
    EXPECT_FALSE(tmr_main.is_enabled);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PortSelectionTest, LostPortWarnsAndComesBackByItself) {
    com_port = 2;
    ports.comstartup();
    com.reads = {std::string("\x01\x21\x23", 3)};
    poll.tmr_main_timer();
    com.free_ports = {};
    const MonotonicTime soon = com.now + std::chrono::milliseconds(10);
    com.line.push_back({std::string("\x05\x00", 2), soon, soon});
    com.lose();
    EXPECT_TRUE(port_locked);
    EXPECT_FALSE(tmr_main.is_enabled);
    EXPECT_EQ(lst_meas.rows, (std::vector<std::string>{"123", "5"}));
    EXPECT_EQ(lb_selectcom.caption, "Com Port Not Selected!");
    EXPECT_TRUE(tmr_mess.is_enabled);
    EXPECT_TRUE(dialogs.messages.empty());

    ports.tmr_reopen_timer();
    EXPECT_TRUE(port_locked);
    EXPECT_TRUE(tmr_reopen.is_enabled);
    EXPECT_TRUE(dialogs.messages.empty());

    com.free_ports = {2};
    ports.tmr_reopen_timer();
    EXPECT_FALSE(port_locked);
    EXPECT_TRUE(com.open);
    EXPECT_TRUE(tmr_main.is_enabled);
    EXPECT_FALSE(tmr_mess.is_enabled);
    EXPECT_FALSE(tmr_reopen.is_enabled);
    EXPECT_FALSE(lb_selectcom.shown);
    EXPECT_EQ(marks(), (Marks{false, true, false, false}));

    // A good menu choice ends the retrying too.
    com.lose();
    com.free_ports = {3};
    ports.com_click(3);
    EXPECT_FALSE(tmr_reopen.is_enabled);
    EXPECT_EQ(com_port, 3);
}

}  // namespace
}  // namespace tolvane
