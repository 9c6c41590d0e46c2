#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "link/frame_assembler.h"
#include "platform/clock_locale.h"
#include "platform/serial_control.h"
#include "platform/window_controls.h"
#include "records/backup_file.h"
#include "records/meas_table.h"

namespace tolvane {

// The handler of tmr_main: takes what the port received, and handles each
// whole block: decode, list, back up, count, and send when Auto Connect is on.
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

    // One tick. Does nothing while no port is open, or while an earlier tick
    // still runs (it waits in a message box): the bytes then stay in the
    // port's buffer for the next tick.
    void tmr_main_timer();

    // The port was lost: handle what it had received, the unfinished block
    // as it stands.
    void take_remaining_input();

    const FrameAssembler& assembler() const { return assembler_; }

  private:
    void handle_ready_blocks();
    void handle_block(const std::string& frame);

    Links l_;
    FrameAssembler assembler_;
    std::deque<std::string> ready_;
    bool in_tick_ = false;
};

}  // namespace tolvane
