#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/tolerance_settings.h"
#include "quality/control_limits.h"
#include "quality/journal.h"
#include "quality/lot.h"

namespace tolvane {

// A lot judged against its characteristic's frozen limits (phase II): the
// chart's limits are the frozen ones at each record's size, never computed
// from the lot itself.

struct FrozenPoint {
    size_t record = 0;                   // its index in the lot
    std::optional<double> point;         // mean, or the value of an individual
    std::optional<double> spread;        // s, or the moving range to the last point
    ChartLimits limits;                  // at its size
    std::vector<int> tests;              // broken, ascending, each once
    std::optional<std::string> left_out; // why it was left out of the limits
    std::vector<std::string> causes;     // acknowledged in the journal
};

struct FrozenChart {
    std::string pattern;
    FrozenControl kept;
    ControlLimits limits;
    std::vector<FrozenPoint> points;  // records with at least one value, in order
};

// The records' characteristic's frozen limits applied to them: their
// points judged in file order with its tests; those left out when freezing
// named with their reason, and the causes the journal acknowledged for a
// record (of its time stamp and description). Nothing when the records are
// of several characteristics or theirs has no limits frozen. O(values +
// journal).
std::optional<FrozenChart> frozen_chart(const Lot& lot);

// The journal's events about the lot's records (of a record's time stamp and
// description), in the journal's order.
std::vector<JournalEntry> lot_events(const Lot& lot);

}  // namespace tolvane
