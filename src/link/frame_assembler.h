#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/serial_control.h"
#include "records/meas_table.h"

namespace tolvane {

// One frame as it came off the line: its bytes, the times of its first
// chunk's `after` and its last chunk's `by`, and the wall clock at the latter.
struct Frame {
    std::string bytes;
    MonotonicTime first_at;
    MonotonicTime last_at;
    WallTime wall_at{};
};

// Cuts the bytes the port received into frames. The instrument sends a block
// back to back, so a pause on the line ends whatever frame is being
// received; without that, one stray byte would put the pairing out of step
// with every block that follows until the line fell quiet.
//
// A busy PC blurs the times both ways: the kernel may hand on bytes late and
// in bursts, which looks like a pause that the line never had, and a reader
// that gets no CPU sees no pause where the line had one. So a pause counts
// only where the bytes after it cannot have been on the line during it (a
// burst of n bytes took n character times on the line before it was taken
// in), and the shape of a block settles what timing cannot: 0xFF one byte
// off a pair boundary, and CR LF right after a terminator.
class FrameAssembler {
  public:
    // A pause this long between two bytes ends a frame. Far more than any
    // gap inside a block (none), than the latency timer of USB serial
    // adapters (16 ms by default), and than the 150 ms for which a loaded PC
    // may hold bytes back before handing them on in a burst.
    static constexpr std::chrono::milliseconds kSilence{180};
    // A pause no block has inside, on the line's own scale (48 character
    // times, longer than a USB adapter's 16 ms latency timer): it ends only
    // a byte or two dropped at opening.
    static constexpr std::chrono::milliseconds kStrayPause{50};
    // One character on the line at 9600 baud, 8N1: ten bits.
    static constexpr std::chrono::microseconds kByteTime{1042};
    // A frame is cut here even without a terminator: it is what rx_hex holds.
    static constexpr size_t kMaxFrame = MeasTable::kSize;

    // A port opened at `at`: nothing of an earlier port is kept.
    void port_opened(MonotonicTime at);

    // One read of the port. Frames completed by it go to `out`, in order. A
    // frame ends with 0xFF at a pair boundary (byte 4, 6, 8, ...), at
    // kMaxFrame bytes, or at a pause of kSilence. A 0xFF at byte 5, 7, 9, ...
    // ends it too, without its first byte: that was a stray byte whose pause
    // before the block was too short or went unseen (a block holds 0xFF only
    // as its terminator; a stray 0x00 included, which is thus no 0x00
    // lead). A frame with a 0x00 lead is dropped, never handed out. Dropped
    // too: CR and LF right after a terminator; up to the next pause, bytes
    // past kMaxFrame; up to the next pause or 0xFF, bytes that came within
    // kSilence of the opening (the rest of a block whose start was missed),
    // where one or two bytes end at a kStrayPause.
    void take(const SerialInput& input, std::deque<Frame>& out);

    // A frame is being received that no terminator, pause or count has
    // ended: fewer than `num_meas` pairs in, and no pause yet.
    bool arriving(int16_t num_meas) const;
    // When the frame being received ends by a pause if nothing more comes.
    MonotonicTime pause_ends_frame_at() const { return last_at_ + kSilence; }
    // When the last byte since the opening was taken in (none: the earliest
    // moment).
    MonotonicTime last_byte_at() const { return have_last_ ? last_at_ : MonotonicTime::min(); }

    // The port closes or was lost: the frame being received is handed out if
    // it holds `num_meas` pairs (all that is decoded of it), and dropped
    // otherwise. Returns how many bytes were dropped. Afterwards nothing of
    // this port is kept.
    size_t finish(int16_t num_meas, std::deque<Frame>& out);

    bool pending() const { return !frame_.bytes.empty(); }
    // Frames handed out so far, and those of them whose bytes came in more
    // than one read (a figure for tests and measurements).
    long frames() const { return frames_; }
    long frames_joined() const { return frames_joined_; }

  private:
    void add(const ReceivedChunk& chunk, std::deque<Frame>& out);
    void pause(std::deque<Frame>& out);
    void hand_out(std::deque<Frame>& out);
    void reset();

    Frame frame_;
    bool frame_took_earlier_read_ = false;
    bool have_last_ = false;  // a byte came since the port opened
    MonotonicTime last_at_{};  // `by` of the last chunk
    MonotonicTime opened_at_{};
    bool dropping_ = false;          // until the next pause
    bool until_terminator_ = false;  // or, at opening, the next 0xFF
    size_t dropped_ = 0;             // bytes dropped at opening
    bool after_terminator_ = false;  // no byte since a terminator
    long frames_ = 0;
    long frames_joined_ = 0;
};

}  // namespace tolvane
