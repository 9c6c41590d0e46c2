#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "platform/tolerance_settings.h"

namespace tolvane {

// The limits a tolerance gives: LSL and USL, either may be missing.
struct Limits {
    std::optional<double> lower, upper;

    bool any() const { return lower.has_value() || upper.has_value(); }
    bool operator==(const Limits&) const = default;
};

// The limits of an entry (nominal + deviation where there is a nominal).
Limits limits_of(const ToleranceEntry& entry);

// Why an entry cannot be kept, as a sentence for the user ("The lower limit
// must be below the upper limit."); nothing when it is fine. Refused: an
// empty pattern, a '*' anywhere but at its end, no side at all (unless it
// keeps frozen control limits), a number
// that is not finite, a lower limit at or above the upper one.
std::optional<std::string> tolerance_problem(const ToleranceEntry& entry);

// Whether the pattern applies to the description: the same text, or the
// pattern without its final '*' begins the description.
bool pattern_applies(std::string_view pattern, std::string_view description);

// The tolerances of both settings files, matched by description.
//
// The longest pattern that applies wins ("Shaft D25 lot 17" over
// "Shaft D25*" over "Shaft*"); for patterns of the same text, the user's
// entry wins over the computer's. Not thread-safe: one owner (the window, or
// --stats) calls it from one thread.
class Tolerances {
  public:
    explicit Tolerances(ToleranceSettings& settings);

    // Reads both files afresh (an edit made elsewhere counts).
    void reload();

    struct Match {
        ToleranceEntry entry;
        Limits limits;
        bool from_user = true;  // else from the computer's file
    };
    std::optional<Match> find(std::string_view description) const;

    // Adds the entry to the user's set, replacing one of the same pattern,
    // and writes that entry alone. A refused entry (tolerance_problem) or a failed
    // save changes nothing and gives the reason.
    Status set(const ToleranceEntry& entry);
    // The tolerance and scale as the user edits them: the frozen control
    // limits of the user's entry of that pattern are kept. A change of scale
    // while limits are frozen is refused: they are of the other scale's values.
    Status set_tolerance(const ToleranceEntry& edit);
    // Takes the user's entry of that pattern away, in the file too; a pattern the
    // user has none of is no failure.
    Status remove(const std::string& pattern);

    const std::vector<ToleranceEntry>& user() const { return user_; }
    const std::vector<ToleranceEntry>& computer() const { return computer_; }

  private:
    ToleranceSettings& settings_;
    std::vector<ToleranceEntry> user_, computer_;
};

}  // namespace tolvane
