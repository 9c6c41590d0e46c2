#include "quality/freezing.h"

#include <set>

#include "quality/csv_export.h"
#include "quality/special_causes.h"

namespace tolvane {

Characteristic characteristic_of(const Lot& lot) {
    if (lot.records.empty()) return {std::nullopt, "no record is chosen: no limits to freeze", false};
    std::set<std::string> found;
    for (size_t i = 0; i < lot.records.size(); ++i)
        found.insert(i < lot.tolerances.size() && lot.tolerances[i]
                         ? lot.tolerances[i]->pattern
                         : lot.records[i].description.value_or(""));
    if (found.size() > 1) {
        std::string names;
        for (const std::string& name : found)
            names += (names.empty() ? "\"" : ", \"") + printable_text(name) + "\"";
        return {std::nullopt, "the records chosen belong to " + std::to_string(found.size()) +
                                  " characteristics (" + names + "); limits are frozen for one",
                true};
    }
    if (found.begin()->empty())
        return {std::nullopt, "the records chosen have no description: limits are kept with one", false};
    return {*found.begin(), "", false};
}

std::vector<int> tests_to_freeze_with(const Lot& lot) {
    if (!lot.tolerances.empty() && lot.tolerances.front() && lot.tolerances.front()->control)
        return lot.tolerances.front()->control->tests;
    return TestSet::defaults().numbers();
}

ToleranceEntry entry_to_freeze(const Lot& lot, const std::string& pattern,
                               const ControlLimits& limits, std::span<const Subgroup> subgroups,
                               const LocalDateTime& when, std::vector<int> tests) {
    ToleranceEntry entry;
    if (!lot.tolerances.empty() && lot.tolerances.front() && lot.tolerances.front()->pattern == pattern)
        entry = *lot.tolerances.front();
    else
        entry.pattern = pattern;
    entry.control = kept_limits(limits, subgroups, when, std::move(tests));
    return entry;
}

std::vector<JournalEntry> freezing_events(const std::string& pattern, const FrozenControl& kept,
                                          const LocalDateTime& when, const std::string& user) {
    std::vector<JournalEntry> events;
    for (const FrozenControl::LeftOut& left : kept.left_out)
        events.push_back({when, left.time, pattern, JournalEvent::kLeftOut, {}, left.reason, "", user});
    events.push_back({when, std::nullopt, pattern, JournalEvent::kLimitsFrozen, {}, "",
                      "from " + std::to_string(kept.records_used) + " records, " +
                          std::to_string(kept.left_out.size()) + " left out",
                      user});
    return events;
}

JournalEntry removal_event(const std::string& pattern, const LocalDateTime& when,
                           const std::string& user) {
    return {when, std::nullopt, pattern, JournalEvent::kLimitsRemoved, {}, "", "", user};
}

std::optional<ToleranceEntry> entry_without_limits(const ToleranceEntry& entry) {
    if (!entry.lower && !entry.upper) return std::nullopt;
    // Built afresh rather than copied and reset: the tolerance alone.
    return ToleranceEntry{entry.pattern, entry.nominal, entry.lower, entry.upper};
}

Status keep_frozen(Journal& journal, Tolerances& tolerances, const ToleranceEntry& entry,
                   std::span<const JournalEntry> events) {
    if (Status written = journal.append(events); !written.ok()) return written;
    return tolerances.set(entry);
}

Status remove_frozen(Journal& journal, Tolerances& tolerances, const ToleranceEntry& entry,
                     const LocalDateTime& when, const std::string& user) {
    if (Status written = journal.append(removal_event(entry.pattern, when, user)); !written.ok())
        return written;
    if (const std::optional<ToleranceEntry> kept = entry_without_limits(entry))
        return tolerances.set(*kept);
    return tolerances.remove(entry.pattern);
}

}  // namespace tolvane
