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

    // Writes this one entry to the user's set, in place of the user's entry
    // of the same pattern, else after the others. Every other entry and
    // setting in the file stays as it is written there.
    virtual Status save_user_tolerance(const ToleranceEntry& entry) = 0;
    // Takes the user's entries of that pattern out of the file, touching no
    // other; a pattern the file has none of is no failure.
    virtual Status remove_user_tolerance(const std::string& pattern) = 0;
};

}  // namespace tolvane
