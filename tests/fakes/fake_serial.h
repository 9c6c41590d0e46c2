#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <set>
#include <string>

#include "platform/serial_control.h"

namespace tolvane::testing {

// A moment `ms` milliseconds into a test, on the line's clock.
inline MonotonicTime at_ms(long ms) {
    return MonotonicTime(std::chrono::milliseconds(ms));
}

// A port whose line the test feeds; only the ports in `free_ports` open.
// Bytes either arrive at explicit times (`arrive`, with `now` set by the
// test), or, simpler, as whole `reads`: while `ticking`, every read moves the
// clock on by a tick (500 ms) and the next queued read arrives just then.
struct FakeSerial : SerialControl {
    std::set<int16_t> free_ports{1, 2, 3, 4};
    std::deque<std::string> reads;
    std::deque<ReceivedChunk> line;
    MonotonicTime now{};
    MonotonicTime opened{};
    bool ticking = true;
    int16_t port = 1;
    bool open = false;
    int openings = 0;
    int closings = 0;
    int inputs = 0;
    std::function<void()> lost;

    // On the wall clock too, the same count of milliseconds.
    void arrive(long ms, std::string bytes) {
        line.push_back({std::move(bytes), at_ms(ms), at_ms(ms), WallTime(at_ms(ms).time_since_epoch())});
    }

    Status set_comm_port(int16_t p) override {
        if (p < 1 || p > 16) return Status::failure("no such port");
        if (open) return Status::failure("open");
        port = p;
        return Status::success();
    }
    int16_t comm_port() const override { return port; }
    bool port_open() const override { return open; }
    Status set_port_open(bool o) override {
        if (!o) {
            closings += open;
            open = false;
            return Status::success();
        }
        if (open || !free_ports.count(port)) return Status::failure("held by another program");
        open = true;
        opened = now;
        ++openings;
        return Status::success();
    }
    MonotonicTime opened_at() const override { return opened; }
    SerialInput input() override {
        ++inputs;
        if (ticking) now += std::chrono::milliseconds(500);
        if (!reads.empty()) {
            line.push_back({std::move(reads.front()), now, now});
            reads.pop_front();
        }
        return arrived();
    }
    // Time runs on to the next chunk or `wake`, whichever is first.
    SerialInput input_after(MonotonicTime wake) override {
        if (open && !line.empty()) wake = std::min(wake, line.front().by);
        if (open) now = std::max(now, wake);
        return arrived();
    }
    MonotonicTime clock_now() override { return now; }
    SerialInput arrived() {
        SerialInput in{{}, now};
        while (!line.empty() && line.front().by <= now) {
            in.chunks.push_back(std::move(line.front()));
            line.pop_front();
        }
        return in;
    }
    void set_lost_handler(std::function<void()> h) override { lost = std::move(h); }

    // The device went away; the control closes the port and tells.
    void lose() {
        open = false;
        if (lost) lost();
    }
};

}  // namespace tolvane::testing
