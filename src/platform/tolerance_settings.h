#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace tolvane {

// A tolerance as the user sets it for a description: with a nominal, lower
// and upper are deviations from it (-0.021 / 0); without, they are the
// limits themselves. Either side may be missing (a run-out <= 0.02 has an
// upper side only).
struct ToleranceEntry {
    // The description it applies to: its exact text, or a prefix followed
    // by '*' ("Shaft D25*" applies to "Shaft D25 lot 17"). UTF-8.
    std::string pattern;
    std::optional<double> nominal;
    std::optional<double> lower, upper;

    bool operator==(const ToleranceEntry&) const = default;
};

// Where the tolerances are kept: the user's own set in the user's settings
// file, above a set the computer's settings file may hold for every user
// (a lab's shared tolerances).
class ToleranceSettings {
  public:
    virtual ~ToleranceSettings() = default;

    // Each read afresh. A missing or unreadable file holds none; an entry
    // that cannot be read is left out.
    virtual std::vector<ToleranceEntry> user_tolerances() = 0;
    virtual std::vector<ToleranceEntry> computer_tolerances() = 0;

    // Makes the user's set exactly `entries` (other settings in the file stay).
    virtual Status save_user_tolerances(const std::vector<ToleranceEntry>& entries) = 0;
};

}  // namespace tolvane
