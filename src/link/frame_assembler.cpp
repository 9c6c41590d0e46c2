#include "link/frame_assembler.h"

#include "link/frame_decoder.h"

namespace tolvane {

void FrameAssembler::feed(std::string_view bytes, std::deque<std::string>& out) {
    if (!bytes.empty() && !frame_.empty()) ++reads_;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (frame_.empty()) {
            if (!block_accepted(bytes.substr(i))) return;
            reads_ = 1;
        }
        frame_.push_back(bytes[i]);
        const size_t n = frame_.size();
        const bool terminated =
            n >= 4 && n % 2 == 0 && static_cast<unsigned char>(frame_.back()) == 0xFF;
        if (terminated || n == kMaxFrame) hand_out(out);
    }
}

void FrameAssembler::hand_out(std::deque<std::string>& out) {
    ++frames_;
    if (reads_ > 1) ++frames_joined_;
    out.push_back(std::move(frame_));
    frame_.clear();
    reads_ = 0;
}

bool FrameAssembler::flush(std::deque<std::string>& out) {
    if (frame_.empty()) return false;
    hand_out(out);
    return true;
}

}  // namespace tolvane
