#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/status.h"
#include "platform/tolerance_settings.h"
#include "quality/control_limits.h"
#include "quality/journal.h"
#include "quality/lot.h"
#include "quality/tolerances.h"

namespace tolvane {

// The rules of freezing control limits and of removing them, the same for
// the command line and the Inspection window.

// The characteristic of a lot's records: the tolerance entry each matches,
// else its own description (an entry of that exact text). One for them all,
// or a sentence saying why there is none ("the records chosen belong to 2
// characteristics ("A", "B"); limits are frozen for one", with no final
// stop: the command line adds how to choose).
struct Characteristic {
    std::optional<std::string> pattern;  // absent with `problem`
    std::string problem;
    bool several = false;  // records of several characteristics
};
Characteristic characteristic_of(const Lot& lot);

// The entry the limits are kept with: the records' own entry with its
// control set (its tolerance kept), else a new entry of the exact
// description with no tolerance. `tests` the ones to judge with.
ToleranceEntry entry_to_freeze(const Lot& lot, const std::string& pattern,
                               const ControlLimits& limits, std::span<const Subgroup> subgroups,
                               const LocalDateTime& when, std::vector<int> tests);

// The tests a lot's limits are frozen with unless the user chooses: the
// entry's own, else 1 2 5 6.
std::vector<int> tests_to_freeze_with(const Lot& lot);

// What the journal gets: "left out" for each record left out (its time
// stamp and reason), then "limits frozen" saying from how many records.
std::vector<JournalEntry> freezing_events(const std::string& pattern, const FrozenControl& kept,
                                          const LocalDateTime& when, const std::string& user);
JournalEntry removal_event(const std::string& pattern, const LocalDateTime& when,
                           const std::string& user);

// The entry after its limits are removed: its tolerance alone; none when it
// had no tolerance (the entry is then taken out).
std::optional<ToleranceEntry> entry_without_limits(const ToleranceEntry& entry);

// Journal first, then the settings: a journal that cannot be written gives
// its sentence and nothing is saved. The events are appended in order; the
// settings are not touched unless all of them are written.
Status keep_frozen(Journal& journal, Tolerances& tolerances, const ToleranceEntry& entry,
                   std::span<const JournalEntry> events);
// Removes the user's entry's limits (journaled "limits removed" first); an
// entry with no tolerance goes altogether.
Status remove_frozen(Journal& journal, Tolerances& tolerances, const ToleranceEntry& entry,
                     const LocalDateTime& when, const std::string& user);

}  // namespace tolvane
