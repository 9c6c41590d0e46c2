#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "link/frame_assembler.h"
#include "platform/clock_locale.h"
#include "platform/serial_control.h"
#include "platform/window_controls.h"
#include "records/backup_file.h"
#include "records/meas_table.h"

namespace tolvane {

// The handler of tmr_main: takes what the port received, and handles each
// whole block: decode, list, back up, count, and send when Auto Connect is on.
// Frames that cannot be a block (no value, only 0xFF) leave everything as
// it was.
class ReceptionPoll {
  public:
    struct Links {
        SerialControl& com;
        MeasTable& table;
        BackupFile& backup;
        ClockLocale& clock;
        ListControl& lst_meas;
        LabelControl& lb_numpoints;
        const int16_t& num_meas;
        const bool& port_locked;
        // Auto Connect's state, and the send; the send says whether every
        // value reached the spreadsheet.
        std::function<bool()> auto_connect;
        std::function<bool()> connect1;
    };

    explicit ReceptionPoll(Links links);

    // One tick. Does nothing while no port is open, or while the poll is
    // held (an earlier tick still runs, or a command waits on the user or
    // the spreadsheet): the bytes then wait, with their arrival times, for
    // the tick after.
    void tmr_main_timer();

    // Holds the poll for as long as it lives. Blocks completed meanwhile (a
    // lost port) are handled when the last hold ends.
    class [[nodiscard]] Hold {
      public:
        explicit Hold(ReceptionPoll& poll) : poll_(&poll) { ++poll_->holds_; }
        Hold(Hold&& other) noexcept : poll_(std::exchange(other.poll_, nullptr)) {}
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold() {
            if (poll_) poll_->release();
        }

      private:
        ReceptionPoll* poll_;
    };
    Hold hold() { return Hold(*this); }
    bool held() const { return holds_ > 0; }
    // Called each time the last hold ends.
    void set_free_handler(std::function<void()> free) { free_ = std::move(free); }

    // The port is about to close: takes in what is still on its way. The
    // kernel may hand on bytes that crossed the line well before the close
    // only later (a busy PC), so the line must first be seen quiet for
    // kQuietAtClose after the close was asked and after the last byte; a
    // block that is arriving ends meanwhile as it would with the port left
    // open (its terminator, N.M. pairs, or a pause). All this for at most
    // kEndWait, also on a line that never falls quiet. Blocks the caller
    // that long.
    void let_line_fall_quiet();
    static constexpr std::chrono::milliseconds kQuietAtClose{150};
    static constexpr std::chrono::milliseconds kEndWait{300};
    // The port was closed or lost: handle what it had received. A block
    // still unfinished is dropped, never recorded in part; returns how many
    // bytes of it. Nothing of this port is kept for the next.
    size_t take_remaining_input();
    // A port was opened: its bytes start anew.
    void port_opened(MonotonicTime at) { assembler_.port_opened(at); }

    const FrameAssembler& assembler() const { return assembler_; }

  private:
    void handle_ready_blocks();
    void handle_block(const Frame& frame);
    void release();

    Links l_;
    FrameAssembler assembler_;
    std::deque<Frame> ready_;
    int holds_ = 0;
    std::function<void()> free_;
};

}  // namespace tolvane
