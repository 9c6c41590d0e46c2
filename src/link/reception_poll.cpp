#include "link/reception_poll.h"

#include <algorithm>

#include "link/frame_decoder.h"

namespace tolvane {

ReceptionPoll::ReceptionPoll(Links links) : l_(std::move(links)) {}

void ReceptionPoll::tmr_main_timer() {
    if (l_.port_locked || held()) return;
    assembler_.take(l_.com.input(), ready_);
    handle_ready_blocks();
}

void ReceptionPoll::let_line_fall_quiet() {
    const MonotonicTime asked = l_.com.clock_now();
    const MonotonicTime deadline = asked + kEndWait;
    SerialInput in = l_.com.input();
    assembler_.take(in, ready_);
    while (l_.com.port_open() && l_.com.clock_now() < deadline) {
        MonotonicTime wake = assembler_.pause_ends_frame_at();
        if (!assembler_.arriving(l_.num_meas)) {
            wake = std::max(asked, assembler_.last_byte_at()) + kQuietAtClose;
            if (in.complete_until >= wake) break;
        }
        in = l_.com.input_after(std::min(deadline, wake));
        assembler_.take(in, ready_);
    }
}

size_t ReceptionPoll::take_remaining_input() {
    assembler_.take(l_.com.input(), ready_);
    const size_t dropped = assembler_.finish(l_.num_meas, ready_);
    // While held, they are handled when the hold ends.
    if (!held()) handle_ready_blocks();
    return dropped;
}

void ReceptionPoll::handle_ready_blocks() {
    const Hold in_tick = hold();
    while (!ready_.empty()) {
        const Frame frame = std::move(ready_.front());
        ready_.pop_front();
        if (frame_makes_record(frame.bytes, l_.num_meas)) handle_block(frame);
    }
}

void ReceptionPoll::release() {
    if (--holds_ > 0) return;
    // Handling them holds the poll again, and its end tells.
    if (!ready_.empty()) {
        handle_ready_blocks();
        return;
    }
    if (free_) free_();
}

void ReceptionPoll::handle_block(const Frame& frame) {
    MeasTable& table = l_.table;
    l_.lst_meas.clear();
    table.meas_count = 0;
    fill_rx_hex(table, frame.bytes);

    // However long the block waited for the window, it is stamped with the
    // moment its last byte came.
    l_.backup.append_backup_record_open(l_.clock.at(frame.wall_at));
    const std::string separator = l_.clock.decimal_separator();
    decode_meas(table, l_.num_meas, [&](int i) {
        const std::string text = meas_text(table.meas(i), separator);
        l_.lst_meas.add_row(text);
        l_.backup.append_backup_record_value(table.meas(i), text);
    });
    const bool saved = l_.backup.append_backup_record_close();
    count_caption(table, l_.lb_numpoints);

    if (l_.auto_connect && l_.auto_connect()) {
        const bool sent = l_.connect1 && l_.connect1();
        // Values that did not reach both the file and the spreadsheet stay
        // in the list, as the failure message said.
        if (sent && saved) {
            table.meas_count = 0;
            l_.lst_meas.clear();
            l_.lb_numpoints.set_caption(count_caption_text(0));
        }
    }
}

}  // namespace tolvane
