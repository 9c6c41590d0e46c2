#include "quality/tolerances.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tolvane {

namespace {

// A nominal plus a deviation, rounded to 15 significant digits: 25 + -0.021
// is then the double that "24.979" reads as, so that a value written as the
// limit lies on it.
double snapped(double x) {
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 15);
    double y = x;
    if (written.ec == std::errc()) std::from_chars(buffer, written.ptr, y);
    return y;
}

std::optional<double> side(const std::optional<double>& nominal, const std::optional<double>& v) {
    if (!v) return std::nullopt;
    return nominal ? snapped(*nominal + *v) : *v;
}

bool finite_or_absent(const std::optional<double>& x) {
    return !x || std::isfinite(*x);
}

// How much of a description the pattern covers: longer wins, and an exact
// text wins over the same text as a prefix.
size_t weight(std::string_view pattern) {
    return pattern.ends_with('*') ? 2 * (pattern.size() - 1) : 2 * pattern.size() + 1;
}

}  // namespace

Limits limits_of(const ToleranceEntry& entry) {
    return Limits{side(entry.nominal, entry.lower), side(entry.nominal, entry.upper)};
}

std::optional<std::string> tolerance_problem(const ToleranceEntry& entry) {
    if (entry.pattern.empty() || entry.pattern == "*")
        return "Give the description the tolerance is for (a '*' at its end makes it a prefix).";
    if (!finite_or_absent(entry.nominal)) return "The nominal value is not a finite number.";
    if (!finite_or_absent(entry.lower) || !finite_or_absent(entry.upper))
        return entry.nominal ? "A deviation is not a finite number."
                             : "A limit is not a finite number.";
    // Frozen control limits, or a scale, make a characteristic of an entry
    // with no tolerance (yet): it is kept for them.
    if (!entry.lower && !entry.upper && !entry.control && entry.scale == Scale::kLinear)
        return entry.nominal ? "Give a lower or an upper deviation."
                             : "Give a lower or an upper limit.";
    const Limits limits = limits_of(entry);
    if (!finite_or_absent(limits.lower) || !finite_or_absent(limits.upper))
        return "A limit is not a finite number.";
    if (limits.lower && limits.upper && *limits.lower >= *limits.upper)
        return entry.nominal ? "The lower deviation must be below the upper deviation."
                             : "The lower limit must be below the upper limit.";
    // A limit of 0 or below has no logarithm to judge the logs against.
    if (entry.scale == Scale::kLog && ((limits.lower && *limits.lower <= 0) ||
                                       (limits.upper && *limits.upper <= 0)))
        return "On the logarithmic scale, the limits must be above 0.";
    return std::nullopt;
}

bool pattern_applies(std::string_view pattern, std::string_view description) {
    if (pattern.ends_with('*'))
        return description.starts_with(pattern.substr(0, pattern.size() - 1));
    return pattern == description;
}

Tolerances::Tolerances(ToleranceSettings& settings) : settings_(settings) {
    reload();
}

void Tolerances::reload() {
    // What cannot be used (an edit by hand) is left out, as if not there.
    const auto usable = [](std::vector<ToleranceEntry> entries) {
        std::erase_if(entries,
                      [](const ToleranceEntry& e) { return tolerance_problem(e).has_value(); });
        return entries;
    };
    user_ = usable(settings_.user_tolerances());
    computer_ = usable(settings_.computer_tolerances());
}

std::optional<Tolerances::Match> Tolerances::find(std::string_view description) const {
    const ToleranceEntry* best = nullptr;
    bool best_user = false;
    // The user's entries first, so that on equal weight they stay chosen.
    for (const bool user : {true, false}) {
        for (const ToleranceEntry& e : user ? user_ : computer_) {
            if (!pattern_applies(e.pattern, description)) continue;
            if (!best || weight(e.pattern) > weight(best->pattern)) {
                best = &e;
                best_user = user;
            }
        }
    }
    if (!best) return std::nullopt;
    return Match{*best, limits_of(*best), best_user};
}

Status Tolerances::set(const ToleranceEntry& entry) {
    if (const auto problem = tolerance_problem(entry)) return Status::failure(*problem);
    Status saved = settings_.save_user_tolerance(entry);
    if (!saved.ok()) return saved;
    const auto same = std::find_if(user_.begin(), user_.end(), [&](const ToleranceEntry& e) {
        return e.pattern == entry.pattern;
    });
    if (same != user_.end())
        *same = entry;
    else
        user_.push_back(entry);
    return saved;
}

Status Tolerances::set_tolerance(const ToleranceEntry& edit) {
    ToleranceEntry entry = edit;
    for (const ToleranceEntry& kept : user_) {
        if (kept.pattern != edit.pattern || !kept.control) continue;
        if (kept.scale != edit.scale)
            return Status::failure(
                "Its control limits are frozen on the other scale: remove them first "
                "(Select, Remove Frozen Limits), then change the scale.");
        entry.control = kept.control;
    }
    return set(entry);
}

Status Tolerances::remove(const std::string& pattern) {
    if (std::none_of(user_.begin(), user_.end(),
                     [&](const ToleranceEntry& e) { return e.pattern == pattern; }))
        return Status::success();
    Status saved = settings_.remove_user_tolerance(pattern);
    if (saved.ok())
        std::erase_if(user_, [&](const ToleranceEntry& e) { return e.pattern == pattern; });
    return saved;
}

}  // namespace tolvane
