#include "link/frame_assembler.h"

#include <algorithm>

#include "link/frame_decoder.h"

namespace tolvane {

void FrameAssembler::reset() {
    frame_ = {};
    frame_took_earlier_read_ = false;
    dropping_ = until_terminator_ = false;
    after_terminator_ = false;
}

void FrameAssembler::port_opened(MonotonicTime at) {
    reset();
    have_last_ = false;
    opened_at_ = at;
}

void FrameAssembler::take(const SerialInput& input, std::deque<Frame>& out) {
    if (pending()) frame_took_earlier_read_ = true;
    for (const ReceivedChunk& chunk : input.chunks)
        add(chunk, out);
    if (have_last_ && input.complete_until - last_at_ >= kSilence) pause(out);
}

bool FrameAssembler::arriving(int16_t num_meas) const {
    const auto pairs = static_cast<size_t>(std::clamp<int>(num_meas, 0, kMaxValuesPerBlock));
    return pending() && frame_.bytes.size() < 1 + 2 * pairs;
}

void FrameAssembler::add(const ReceivedChunk& chunk, std::deque<Frame>& out) {
    if (chunk.bytes.empty()) return;
    // The latest the first of these bytes can have come: after the line was
    // last seen quiet, and early enough for all of them to cross the line
    // before they were taken in. A burst that the kernel held back thus
    // shows no pause that the line did not have.
    const auto line_time = kByteTime * static_cast<long>(chunk.bytes.size() - 1);
    const MonotonicTime first = std::min(chunk.after, chunk.by - line_time);
    if (have_last_) {
        // A byte or two at opening, then a pause, were no block's rest but
        // a stray byte or CR LF: a pause on the line's own scale ends them.
        const auto gap = first - last_at_;
        if (gap >= kSilence || (until_terminator_ && dropped_ < 3 && gap >= kStrayPause))
            pause(out);
    } else if (first - opened_at_ < kSilence) {
        // The line was busy as the port opened: the rest of a block whose
        // start was missed, which ends with its terminator.
        dropping_ = until_terminator_ = true;
        dropped_ = 0;
    }
    have_last_ = true;
    last_at_ = chunk.by;
    for (const char byte : chunk.bytes) {
        const bool ff = static_cast<unsigned char>(byte) == 0xFF;
        if (dropping_) {
            ++dropped_;
            if (until_terminator_ && ff) {
                dropping_ = until_terminator_ = false;
                after_terminator_ = true;
            }
            continue;
        }
        if (frame_.bytes.empty()) {
            if (after_terminator_ && (byte == '\r' || byte == '\n')) continue;
            after_terminator_ = false;
            frame_.first_at = chunk.after;
        }
        frame_.bytes.push_back(byte);
        frame_.last_at = chunk.by;
        frame_.wall_at = chunk.wall_by;
        const size_t n = frame_.bytes.size();
        if (ff && n >= 4) {
            // Off a pair boundary, the frame began one byte early: a stray
            // byte, 0x00 as well, whose pause went unseen. The block behind
            // it may still have a 0x00 lead, which makes no frame.
            if (n % 2 == 1) frame_.bytes.erase(0, 1);
            hand_out(out);
            after_terminator_ = true;
        } else if (n == kMaxFrame) {
            hand_out(out);
            dropping_ = true;
        }
    }
}

void FrameAssembler::pause(std::deque<Frame>& out) {
    dropping_ = until_terminator_ = false;
    after_terminator_ = false;
    if (pending()) hand_out(out);
}

void FrameAssembler::hand_out(std::deque<Frame>& out) {
    if (frame_.bytes.front() == '\0') {
        // A 0x00 lead: no block, whatever ended it.
        frame_ = {};
        frame_took_earlier_read_ = false;
        return;
    }
    ++frames_;
    if (frame_took_earlier_read_) ++frames_joined_;
    out.push_back(std::move(frame_));
    frame_ = {};
    frame_took_earlier_read_ = false;
}

size_t FrameAssembler::finish(int16_t num_meas, std::deque<Frame>& out) {
    size_t dropped = 0;
    if (arriving(num_meas))
        dropped = frame_.bytes.size();
    else if (pending())
        hand_out(out);
    reset();
    return dropped;
}

}  // namespace tolvane
