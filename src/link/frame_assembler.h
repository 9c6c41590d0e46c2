#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

#include "platform/serial_control.h"
#include "records/meas_table.h"

namespace tolvane {

// One frame as it came off the line: its bytes, and the times of its first
// chunk's `after` and its last chunk's `by`.
struct Frame {
    std::string bytes;
    MonotonicTime first_at;
    MonotonicTime last_at;
};

// Cuts the bytes the port received into frames. The instrument sends a block
// back to back, so a pause on the line ends whatever frame is being
// received; without that, one stray byte would put the pairing out of step
// with every block that follows until the line fell quiet.
class FrameAssembler {
  public:
    // A pause this long between two bytes ends a frame. 48 character times
    // at 9600 baud: far more than any gap inside a block, and longer than the
    // latency timer of USB serial adapters (16 ms by default), which deliver
    // bytes in bursts.
    static constexpr std::chrono::milliseconds kSilence{50};
    // A frame is cut here even without a terminator: it is what rx_hex holds.
    static constexpr size_t kMaxFrame = MeasTable::kSize;

    // A port opened at `at`: nothing of an earlier port is kept.
    void port_opened(MonotonicTime at);

    // One read of the port. Frames completed by it go to `out`, in order. A
    // frame ends with 0xFF at a pair boundary (byte 4, 6, 8, ...), at
    // kMaxFrame bytes, or at a pause of kSilence. Dropped up to the next
    // pause: a 0x00 where a frame would start and what follows it, bytes
    // past kMaxFrame, and bytes that were already arriving as the port
    // opened (the tail of a block whose start was missed).
    void take(const SerialInput& input, std::deque<Frame>& out);

    // The port closes or was lost: the frame being received, as it stands.
    // Afterwards nothing of this port is kept.
    void flush(std::deque<Frame>& out);

    bool pending() const { return !frame_.bytes.empty(); }
    // Frames handed out so far, and those of them whose bytes came in more
    // than one read (a figure for tests and measurements).
    long frames() const { return frames_; }
    long frames_joined() const { return frames_joined_; }

  private:
    void add(const ReceivedChunk& chunk, std::deque<Frame>& out);
    void pause(std::deque<Frame>& out);
    void hand_out(std::deque<Frame>& out);

    Frame frame_;
    bool frame_took_earlier_read_ = false;
    bool have_last_ = false;  // a byte came since the port opened
    MonotonicTime last_at_{};  // `by` of the last chunk
    MonotonicTime opened_at_{};
    bool dropping_ = false;  // until the next pause
    long frames_ = 0;
    long frames_joined_ = 0;
};

}  // namespace tolvane
