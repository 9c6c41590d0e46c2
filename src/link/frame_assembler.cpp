#include "link/frame_assembler.h"

namespace tolvane {

void FrameAssembler::port_opened(MonotonicTime at) {
    frame_ = {};
    frame_took_earlier_read_ = false;
    dropping_ = false;
    have_last_ = false;
    opened_at_ = at;
}

void FrameAssembler::take(const SerialInput& input, std::deque<Frame>& out) {
    if (pending()) frame_took_earlier_read_ = true;
    for (const ReceivedChunk& chunk : input.chunks)
        add(chunk, out);
    if (have_last_ && input.complete_until - last_at_ >= kSilence) pause(out);
}

void FrameAssembler::add(const ReceivedChunk& chunk, std::deque<Frame>& out) {
    if (chunk.bytes.empty()) return;
    // The shortest the pause before these bytes can have been.
    if (have_last_) {
        if (chunk.after - last_at_ >= kSilence) pause(out);
    } else if (chunk.after - opened_at_ < kSilence) {
        // The line was busy as the port opened.
        dropping_ = true;
    }
    have_last_ = true;
    last_at_ = chunk.by;
    if (dropping_) return;
    for (const char byte : chunk.bytes) {
        if (frame_.bytes.empty()) {
            if (byte == '\0') {
                dropping_ = true;
                return;
            }
            frame_.first_at = chunk.after;
        }
        frame_.bytes.push_back(byte);
        frame_.last_at = chunk.by;
        const size_t n = frame_.bytes.size();
        const bool terminated = n >= 4 && n % 2 == 0 && static_cast<unsigned char>(byte) == 0xFF;
        if (terminated) {
            hand_out(out);
        } else if (n == kMaxFrame) {
            hand_out(out);
            dropping_ = true;
            return;
        }
    }
}

void FrameAssembler::pause(std::deque<Frame>& out) {
    dropping_ = false;
    if (pending()) hand_out(out);
}

void FrameAssembler::hand_out(std::deque<Frame>& out) {
    ++frames_;
    if (frame_took_earlier_read_) ++frames_joined_;
    out.push_back(std::move(frame_));
    frame_ = {};
    frame_took_earlier_read_ = false;
}

void FrameAssembler::flush(std::deque<Frame>& out) {
    if (pending() && !dropping_) hand_out(out);
    frame_ = {};
    frame_took_earlier_read_ = false;
    dropping_ = false;
}

}  // namespace tolvane
