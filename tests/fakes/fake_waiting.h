#pragma once

#include <string>
#include <vector>

#include "platform/waiting.h"

namespace tolvane::testing {

// Waits by blocking, as a program without a window would; can answer the
// next wait with Cancel.
struct BlockingWaiting : Waiting {
    std::vector<std::string> whats;
    int ends = 0;
    bool cancel_next = false;

    Outcome wait(const std::shared_future<void>& job,
                 std::chrono::steady_clock::time_point deadline, const std::string& what,
                bool = true) override {
        whats.push_back(what);
        if (cancel_next) {
            // A user is never quicker than the call's start.
            cancel_next = false;
            if (job.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready)
                return Outcome::finished;
            return Outcome::cancelled;
        }
        return job.wait_until(deadline) == std::future_status::ready ? Outcome::finished
                                                                     : Outcome::deadline_passed;
    }
    void end() override { ++ends; }
    bool cancelled() const override { return false; }
};

}  // namespace tolvane::testing
