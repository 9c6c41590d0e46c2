#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "records/meas_table.h"

namespace tolvane {

// Joins the bytes of successive port reads into whole blocks. At 9600 baud a
// long block takes a good part of a poll interval, so its bytes often arrive
// in two reads; handling each read as a block of its own would save invented
// values.
class FrameAssembler {
  public:
    // A frame is cut here even without a terminator: it is what rx_hex holds.
    static constexpr size_t kMaxFrame = MeasTable::kSize;

    // Adds one read. Frames completed by it go to `out`, in order. A frame
    // ends with 0xFF at a pair boundary (byte 4, 6, 8, ...) or at kMaxFrame
    // bytes. Where a new frame would start on 0x00, the rest of the read is
    // noise and is dropped.
    void feed(std::string_view bytes, std::deque<std::string>& out);

    // The unfinished frame as it stands (the line went quiet, or the port was
    // lost); false when there is none.
    bool flush(std::deque<std::string>& out);

    bool pending() const { return !frame_.empty(); }
    // Frames handed out so far, and those of them whose bytes came in more
    // than one read (a figure for tests and measurements).
    long frames() const { return frames_; }
    long frames_joined() const { return frames_joined_; }

  private:
    void hand_out(std::deque<std::string>& out);

    std::string frame_;
    int reads_ = 0;  // reads the pending frame took bytes from
    long frames_ = 0;
    long frames_joined_ = 0;
};

}  // namespace tolvane
