#include "link/reception_poll.h"

#include <gtest/gtest.h>

#include "export/spreadsheet_export.h"
#include "fakes/bytes.h"
#include "fakes/fake_serial.h"
#include "fakes/fake_spreadsheet.h"
#include "link/link_rig.h"

namespace tolvane {
namespace {

using testing::Rows;

using testing::bytes;

// 01, n pairs (value 1.00 x 10^0 .. ), FF
std::string block_of(int pairs, int terminator = 0xFF) {
    std::string s(1, '\x01');
    for (int i = 0; i < pairs; ++i)
        s += bytes({0x01 + (i % 9), 0x00});
    if (terminator >= 0) s.push_back(static_cast<char>(terminator));
    return s;
}

class ReceptionPollTest : public ::testing::Test, public testing::LinkRig<testing::FakeSerial> {
  protected:
    ReceptionPollTest() { port_locked = false; }
    void tick() { poll.tmr_main_timer(); }
};

TEST_F(ReceptionPollTest, WorkedBlocksThroughOneTickEach) {
    com.reads = {bytes({0x01, 0x21, 0x23, 0xFF}), "",
                 bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xF3, 0x45, 0xFF})};
    tick();
    EXPECT_EQ(lst_meas.rows, Rows{"123"});
    EXPECT_EQ(lb_numpoints.caption, "1 Measurements Received");
    EXPECT_EQ(files.files[kBackupFileName], "\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n123\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"6.12.2026 5:54:07", "123"}));

    tick();  // idle
    txt_backupdes.value = "Sample A";
    clock.separator = ",";
    tick();
    EXPECT_EQ(lst_meas.rows, (Rows{"123", "5", "3,45E+15"}));
    EXPECT_EQ(lb_numpoints.caption, "3 Measurements Received");
    EXPECT_EQ(records().back(), (Rows{"\"Sample A\"", "123", "5", "3.45E+15"}));
    EXPECT_EQ(lst_backup.rows.size(), 2u + 5u);
}

TEST_F(ReceptionPollTest, NothingWhileNoPortIsOpen) {
    port_locked = true;
    com.reads = {bytes({0x01, 0x21, 0x23, 0xFF})};
    tick();
    EXPECT_EQ(com.inputs, 0);
    EXPECT_FALSE(files.files.count(kBackupFileName));
}

TEST_F(ReceptionPollTest, BlocksAreReassembledAcrossReads) {
    const std::string block = block_of(100);
    // Split in three; two blocks in one read; a block and the start of the next.
    com.reads = {block.substr(0, 50),
                 block.substr(50, 100),
                 block.substr(150),
                 block_of(2) + block_of(3),
                 block_of(4) + block.substr(0, 7),
                 block.substr(7)};
    for (int i = 0; i < 6; ++i)
        tick();
    const auto r = records();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].size(), 80u);  // N.M. limits the values, not the frame
    EXPECT_EQ(r[1].size(), 2u);
    EXPECT_EQ(r[2].size(), 3u);
    EXPECT_EQ(r[3].size(), 4u);
    EXPECT_EQ(r[4].size(), 80u);
    EXPECT_EQ(poll.assembler().frames_joined(), 2);
}

TEST_F(ReceptionPollTest, NoiseAndUnterminatedFrames) {
    // A read starting with 0x00 is dropped; inside a frame 0x00 is data.
    com.reads = {bytes({0x00, 0x01, 0x21, 0x23, 0xFF}), bytes({0x01, 0x21}),
                 bytes({0x00, 0x05, 0x00, 0xFF})};
    tick();
    EXPECT_FALSE(files.files.count(kBackupFileName));
    tick();
    tick();
    EXPECT_EQ(lst_meas.rows, (Rows{"100", "5"}));

    // No terminator: handled as it stands once a tick brings nothing.
    com.reads = {bytes({0x01, 0x21, 0x23, 0x12}), ""};
    tick();
    EXPECT_EQ(records().size(), 1u);
    tick();
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(records()[1], Rows{"123"});  // the lone half pair gives no value

    // 256 bytes without a terminator end the frame; the rest starts anew.
    num_meas = 127;
    com.reads = {std::string(256, '\x11') + bytes({0x01, 0x21, 0x23, 0xFF})};
    tick();
    const auto r = records();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[2], Rows(127, "11.1"));
    EXPECT_EQ(r[3], Rows{"123"});
    EXPECT_FALSE(poll.assembler().pending());
}

TEST_F(ReceptionPollTest, AutoConnectClearsOnlyWhatWasSentAndSaved) {
    auto_connect = true;
    com.reads = {block_of(3)};
    tick();
    EXPECT_EQ(sends, 1);
    EXPECT_TRUE(lst_meas.rows.empty());
    EXPECT_EQ(table.meas_count, 0);
    EXPECT_EQ(lb_numpoints.caption, "0 Measurements Received");
    EXPECT_EQ(lst_backup.rows.size(), 4u);

    send_succeeds = false;
    com.reads = {block_of(3)};
    tick();
    EXPECT_EQ(lst_meas.rows.size(), 3u);
    EXPECT_EQ(table.meas_count, 3);
    EXPECT_EQ(lb_numpoints.caption, "3 Measurements Received");

    send_succeeds = true;
    files.failing[kBackupFileName] = "No space left on device";
    com.reads = {block_of(2)};
    tick();
    EXPECT_EQ(sends, 3);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(lst_meas.rows.size(), 2u);
}

TEST_F(ReceptionPollTest, AutoConnectThroughTheSpreadsheetSend) {
    testing::FakeSpreadsheet sheet;
    testing::FakeBusy busy;
    testing::FakeButton command1;
    SpreadsheetExport send{table, dialogs, command1, sheet, busy};
    send.fill_vertical = true;
    send.chk_auto_click();
    ReceptionPoll p{{com, table, backup, clock, lst_meas, lb_numpoints, num_meas, port_locked,
                     [&] { return send.auto_connect; }, [&] { return send.connect1(); }}};
    sheet.active = {5, 3};
    com.reads = {bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xFF})};
    p.tmr_main_timer();
    EXPECT_EQ(sheet.at(5, 3), 123);
    EXPECT_EQ(sheet.at(6, 3), 5);
    EXPECT_EQ(sheet.active, (CellPosition{7, 3}));
    EXPECT_TRUE(lst_meas.rows.empty());
    EXPECT_EQ(lb_numpoints.caption, "0 Measurements Received");
    EXPECT_EQ(lst_backup.rows.size(), 3u);

    // The office went away: one message, and the values wait in the list.
    sheet.running = false;
    sheet.failing["create"] = "soffice: No such file or directory";
    com.reads = {bytes({0x01, 0x21, 0x23, 0xFF})};
    p.tmr_main_timer();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(lst_meas.rows, Rows{"123"});
    EXPECT_EQ(table.meas_count, 1);
}

// A message box of a tick runs the event loop, and with it further ticks.
struct ReenteringDialogs : testing::FakeDialogs {
    std::function<void()> while_open;
    void message(std::string_view text) override {
        FakeDialogs::message(text);
        if (while_open) while_open();
    }
};

TEST_F(ReceptionPollTest, NoTickInsideATickAndNothingLost) {
    ReenteringDialogs boxes;
    BackupFile failing_backup{files, clock, boxes, lst_backup, txt_backupdes};
    ReceptionPoll p{{com, table, failing_backup, clock, lst_meas, lb_numpoints, num_meas,
                     port_locked, nullptr, nullptr}};
    files.failing[kBackupFileName] = "Input/output error";
    boxes.while_open = [&] { p.tmr_main_timer(); };
    com.reads = {block_of(2), block_of(5)};
    p.tmr_main_timer();
    EXPECT_EQ(boxes.messages.size(), 1u);
    EXPECT_EQ(com.reads.size(), 1u);  // waits for the next tick
    boxes.while_open = nullptr;
    files.failing.clear();
    p.tmr_main_timer();
    EXPECT_EQ(lst_meas.rows.size(), 5u);
}

TEST_F(ReceptionPollTest, AHeldPollReadsNothingAndCatchesUpAfterwards) {
    com.reads = {block_of(2)};
    {
        const ReceptionPoll::Hold waiting = poll.hold();
        tick();
        EXPECT_EQ(com.inputs, 0);
        port_locked = true;  // the port goes while held: its block waits too
        poll.take_remaining_input();
        EXPECT_TRUE(records().empty());
    }
    EXPECT_EQ(records(), (std::vector<Rows>{{"1", "2"}}));
}

TEST_F(ReceptionPollTest, LostPortLeavesNoBlockBehind) {
    com.reads = {block_of(4).substr(0, 6)};
    tick();
    port_locked = true;
    com.reads = {bytes({0x00, 0x31})};
    poll.take_remaining_input();
    EXPECT_EQ(records(), (std::vector<Rows>{{"1", "2", "3"}}));
}

}  // namespace
}  // namespace tolvane
