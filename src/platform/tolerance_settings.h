#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/status.h"

namespace tolvane {

// Control limits frozen from a reference period, as they are kept with the
// characteristic's entry: the figures themselves (read back exactly, not
// computed again from records that may be gone) and where they came from.
struct FrozenControl {
    enum class Chart { kMeanAndSd, kIndividuals };
    enum class Sigma { kNone, kSBarOverC4, kPooled, kMovingRange };
    Chart chart = Chart::kMeanAndSd;
    Sigma sigma_method = Sigma::kNone;
    std::optional<double> centre, sigma_within;
    std::optional<size_t> subgroup_size;  // absent when the sizes differ
    std::optional<double> s_bar, mr_bar;

    size_t records_used = 0;
    struct LeftOut {
        std::optional<LocalDateTime> time;
        std::string reason;
        bool operator==(const LeftOut&) const = default;
    };
    std::vector<LeftOut> left_out;
    std::optional<LocalDateTime> first_time, last_time, frozen;
    // The tests for special causes judged against them, by number.
    std::vector<int> tests{1, 2, 5, 6};

    bool operator==(const FrozenControl&) const = default;
};

// The scale a characteristic's figures and charts are on. On the
// logarithmic one they are computed on log10 of the values: for quantities
// that spread over decades (a resistance, a leak rate).
enum class Scale { kLinear, kLog };

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
    // The characteristic's frozen control limits, if any (on the log scale,
    // their figures are of log10 of the values).
    std::optional<FrozenControl> control = std::nullopt;
    Scale scale = Scale::kLinear;

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
