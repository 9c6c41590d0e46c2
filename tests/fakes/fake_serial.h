#pragma once

#include <deque>
#include <functional>
#include <set>
#include <string>

#include "platform/serial_control.h"

namespace tolvane::testing {

// A port whose reads are queued by the test; only the ports in `free_ports`
// open.
struct FakeSerial : SerialControl {
    std::set<int16_t> free_ports{1, 2, 3, 4};
    std::deque<std::string> reads;
    int16_t port = 1;
    bool open = false;
    int openings = 0;
    int closings = 0;
    int inputs = 0;
    std::function<void()> lost;

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
        ++openings;
        return Status::success();
    }
    std::string input() override {
        ++inputs;
        if (reads.empty()) return "";
        std::string r = std::move(reads.front());
        reads.pop_front();
        return r;
    }
    void set_lost_handler(std::function<void()> h) override { lost = std::move(h); }

    // The device went away; the control closes the port and tells.
    void lose() {
        open = false;
        if (lost) lost();
    }
};

}  // namespace tolvane::testing
