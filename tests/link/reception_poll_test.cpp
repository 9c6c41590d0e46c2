#include "link/reception_poll.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

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

// The line as the tests feed it: bytes at explicit times, read by ticks.
class LineTest : public ReceptionPollTest {
  public:
    LineTest() {
        com.ticking = false;
        com.now = testing::at_ms(kOpened);
        ports.comstartup();
        com.now = {};
    }
    // Before the first bytes by more than a pause: they are no block's tail.
    static constexpr long kOpened = -200;
    // Bytes at 9600 baud from `start_ms`, in 10-byte chunks 10 ms apart, as
    // a port that is read as bytes arrive delivers them. Returns the end.
    long send(long start_ms, std::string_view b) {
        long t = start_ms;
        for (size_t i = 0; i < b.size(); i += 10)
            com.arrive(t += 10, std::string(b.substr(i, 10)));
        return t;
    }
    // Ticks every 500 ms until a second after the last byte.
    void run() {
        const long last = com.line.empty() ? 0 : long(com.line.back().by.time_since_epoch() /
                                                       std::chrono::milliseconds(1));
        for (long t = 500; t <= last + 1000; t += 500) {
            com.now = testing::at_ms(t);
            tick();
        }
    }
};

// Values 1 .. n of block_of(n), as listed.
Rows values_of(int pairs) {
    Rows r;
    for (int i = 0; i < pairs; ++i)
        r.push_back(std::to_string(1 + i % 9));
    return r;
}

struct LineCase {
    const char* name;
    std::function<void(LineTest&)> feed;
    std::vector<Rows> records;
};

// Named by its name: by its bytes, the test list would change from build to
// build.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class LineCases : public LineTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineCases, GiveTheirBlocksAndNothingElse) {
    GetParam().feed(*this);
    run();
    EXPECT_EQ(records(), GetParam().records);
    EXPECT_FALSE(poll.assembler().pending());
}

INSTANTIATE_TEST_SUITE_P(
    Framing, LineCases,
    ::testing::Values(
        LineCase{"StrayByteThenAStream",
                 [](LineTest& t) {
                     // Just after the opening, as a plugged-in line does.
                     t.com.arrive(LineTest::kOpened + 20, "\x7E");
                     for (long i = 0, at = LineTest::kOpened + 120; i < 10; ++i)
                         at = t.send(at, block_of(60)) + 100;
                 },
                 std::vector<Rows>(10, values_of(60))},
        LineCase{"OpeningMidBlock",
                 [](LineTest& t) {
                     // The tail of a block: its 0xFF falls on a pair boundary.
                     const long end = t.send(LineTest::kOpened - 5, block_of(60).substr(82));
                     t.send(end + 300, block_of(3));
                 },
                 {values_of(3)}},
        LineCase{"CrLfTails",
                 [](LineTest& t) {
                     for (long at : {100, 700, 800})
                         t.send(at, block_of(2) + "\r\n");
                 },
                 std::vector<Rows>(3, values_of(2))},
        LineCase{"LineAt0xFF",
                 [](LineTest& t) {
                     t.send(100, std::string(1000, '\xFF'));
                     t.send(1700, std::string(3, '\xFF'));
                 },
                 {}},
        LineCase{"ZeroBetweenBlocksOfOneRead",
                 [](LineTest& t) {
                     t.send(100, block_of(2) + '\0');
                     t.send(300, block_of(3));
                 },
                 {values_of(2), values_of(3)}},
        LineCase{"StrayZeroBeforeABlock",
                 [](LineTest& t) {
                     // A noisy line's 0x00 a pause before a block, then in
                     // one read with it (a starved reader): no 0x00 lead, as
                     // the terminator off a pair boundary shows.
                     t.com.arrive(100, std::string(1, '\0'));
                     t.send(200, block_of(60) + "\r\n");
                     t.com.arrive(1500, '\0' + block_of(3));
                 },
                 {values_of(60), values_of(3)}},
        LineCase{"BlockOf300Bytes",
                 [](LineTest& t) { t.send(300, block_of(160) + block_of(4) + block_of(5)); },
                 {values_of(80)}},
        LineCase{"StarvedReaderSawNoPause",
                 [](LineTest& t) {
                     // A stray byte, CR LF after a block: in one read.
                     t.com.arrive(300, "\x7E" + block_of(3) + "\r\n" + block_of(2));
                 },
                 {values_of(3), values_of(2)}},
        LineCase{"UnterminatedEndsAtAPause",
                 [](LineTest& t) {
                     const long end = t.send(100, block_of(3, -1) + "\x12");
                     t.send(end + 200, block_of(2));
                     t.send(end + 400, std::string(1, '\0'));
                     t.send(end + 430, block_of(2));  // no 0x00 lead: see its terminator
                 },
                 {values_of(3), values_of(2), values_of(2)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineTest, AFrameWithoutValueLeavesEverythingAsItWas) {
    auto_connect = true;
    send_succeeds = false;
    send(100, block_of(2) + "\r\n");
    run();
    EXPECT_EQ(lst_meas.rows, values_of(2));
    EXPECT_EQ(lb_numpoints.caption, "2 Measurements Received");
    EXPECT_EQ(sends, 1);
    EXPECT_EQ(records().size(), 1u);
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
    EXPECT_EQ(records(), (std::vector<Rows>{values_of(2), values_of(5)}));
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

// A block that waited 8 s behind the Clear question is stamped with the
// moment it arrived, not the one it was recorded at.
TEST_F(LineTest, ABlockThatWaitedCarriesItsArrivalTime) {
    const long arrived = send(100, block_of(1));
    dialogs.answer_yes = false;
    dialogs.while_open = [&] {
        com.now = testing::at_ms(arrived + 8000);
        tick();
    };
    {
        const ReceptionPoll::Hold question = poll.hold();
        backup.cmd_backup_click();
    }
    clock.wall_now = WallTime(com.now.time_since_epoch());
    clock.times = {{2026, 12, 6, 6, 0, 8}};
    tick();
    EXPECT_EQ(files.files[kBackupFileName],
              std::string(kBackupHeader) + "#2026-12-06 06:00:00#\r\n1\r\n");
    EXPECT_EQ(lst_backup.rows, (Rows{"6.12.2026 6:00:00", "1"}));
}

struct CloseCase {
    const char* name;
    std::function<void(LineTest&)> feed;  // the close is asked at 300 ms
    std::vector<Rows> records;
    size_t dropped;   // bytes of an unfinished block
    long waited_ms;   // how long the close held the window
};

void PrintTo(const CloseCase& c, std::ostream* out) {
    *out << c.name;
}

class Closing : public LineTest, public ::testing::WithParamInterface<CloseCase> {};

// A closing port first lets the line fall quiet for 0.15 s, so that a block
// the kernel hands on late is not lost, and lets a block arriving end; at
// most 0.3 s, also when the bytes never stop. One still unfinished then is
// dropped, and said so.
TEST_P(Closing, WaitsForAQuietLineAtMost0_3s) {
    GetParam().feed(*this);
    com.now = testing::at_ms(300);
    ports.close_port();
    EXPECT_EQ(records(), GetParam().records);
    EXPECT_EQ(reports, GetParam().dropped ? Rows{unfinished_block_message(GetParam().dropped)}
                                          : Rows{});
    EXPECT_EQ(com.now, testing::at_ms(300 + GetParam().waited_ms));
}

INSTANTIATE_TEST_SUITE_P(
    At300ms, Closing,
    ::testing::Values(
        CloseCase{"QuietLine", [](LineTest&) {}, {}, 0, 150},
        CloseCase{"BlockEndedJustBefore",
                  [](LineTest& t) { t.send(100, block_of(8)); },  // its last byte at 120 ms
                  {values_of(8)}, 0, 150},
        CloseCase{"BlockHandedOnAfterTheClose",
                  [](LineTest& t) { t.com.arrive(400, block_of(80)); },
                  {values_of(80)}, 0, 250},
        CloseCase{"BlockArriving",
                  [](LineTest& t) { t.send(250, block_of(60)); },  // its last byte at 380 ms
                  {values_of(60)}, 0, 230},
        CloseCase{"LineNeverQuiet",
                  [](LineTest& t) {
                      for (long at = 100; at < 1000; at += 40)  // neither ends nor pauses
                          t.com.arrive(at, "\x01");
                  },
                  {}, 13, 300}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineTest, AClosedPortLeavesNoBlockBehindAndNothingForTheNext) {
    send(100, block_of(4).substr(0, 6));
    com.arrive(130, bytes({0x00, 0x31}));  // still part of the frame
    com.now = testing::at_ms(140);
    tick();
    ports.com_click(2);
    send(600, block_of(1));
    run();
    EXPECT_EQ(records(), (std::vector<Rows>{{"1", "2", "3"}, {"1"}}));
}

}  // namespace
}  // namespace tolvane
