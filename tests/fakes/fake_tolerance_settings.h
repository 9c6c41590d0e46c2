#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/tolerance_settings.h"

namespace tolvane::testing {

// Frozen individuals limits around 10 with sigma 1 (MR-bar 1.128): X limits
// 7 and 13, zones a sigma apart, MR UCL 3.685; judged with `tests`.
inline FrozenControl ring_individuals(std::vector<int> tests = {1, 2, 5, 6}) {
    FrozenControl c;
    c.chart = FrozenControl::Chart::kIndividuals;
    c.sigma_method = FrozenControl::Sigma::kMovingRange;
    c.centre = 10;
    c.sigma_within = 1;
    c.subgroup_size = 1;
    c.mr_bar = 1.128;
    c.tests = std::move(tests);
    return c;
}

// Both settings files in memory; a non-empty `failing` makes saves fail with
// that reason and change nothing. `writes` counts the entries written or
// taken away.
struct MemoryToleranceSettings : ToleranceSettings {
    std::vector<ToleranceEntry> user, computer;
    std::string failing;
    size_t writes = 0;

    std::vector<ToleranceEntry> user_tolerances() override { return user; }
    std::vector<ToleranceEntry> computer_tolerances() override { return computer; }
    Status save_user_tolerance(const ToleranceEntry& entry) override {
        if (!failing.empty()) return Status::failure(failing);
        ++writes;
        const auto same = std::find_if(user.begin(), user.end(), [&](const ToleranceEntry& e) {
            return e.pattern == entry.pattern;
        });
        if (same != user.end())
            *same = entry;
        else
            user.push_back(entry);
        return Status::success();
    }
    Status remove_user_tolerance(const std::string& pattern) override {
        if (!failing.empty()) return Status::failure(failing);
        writes += static_cast<size_t>(
            std::erase_if(user, [&](const ToleranceEntry& e) { return e.pattern == pattern; }));
        return Status::success();
    }
};

}  // namespace tolvane::testing
