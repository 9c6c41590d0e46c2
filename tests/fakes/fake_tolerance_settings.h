#pragma once

#include <string>
#include <vector>

#include "platform/tolerance_settings.h"

namespace tolvane::testing {

// Both settings files in memory; a non-empty `failing` makes saves fail with
// that reason and change nothing.
struct MemoryToleranceSettings : ToleranceSettings {
    std::vector<ToleranceEntry> user, computer;
    std::string failing;

    std::vector<ToleranceEntry> user_tolerances() override { return user; }
    std::vector<ToleranceEntry> computer_tolerances() override { return computer; }
    Status save_user_tolerances(const std::vector<ToleranceEntry>& entries) override {
        if (!failing.empty()) return Status::failure(failing);
        user = entries;
        return Status::success();
    }
};

}  // namespace tolvane::testing
