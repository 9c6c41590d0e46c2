#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/tolerance_settings.h"
#include "records/number.h"
#include "records/record.h"

namespace tolvane {

// Limits established from a stable reference period and kept from then on,
// so that a drifting process is judged against them instead of moving them.

// One record of the reference period as a subgroup.
struct Subgroup {
    std::vector<Number> values;
    std::optional<LocalDateTime> time;
    // Why it is left out (an assignable cause found); absent when it is used.
    std::optional<std::string> left_out;
};
// Each record's numbers (in the scale's terms: log10 on the log scale) and
// time, none left out.
std::vector<Subgroup> subgroups_of(std::span<const Record> records,
                                   Scale scale = Scale::kLinear);

enum class ChartKind {
    kMeanAndSd,    // X-bar and s: records of several values
    kIndividuals,  // individuals and moving ranges: every record one value
};

// Where sigma within comes from.
enum class SigmaMethod {
    kNone,         // too few subgroups, or no spread
    kSBarOverC4,   // equal sizes n: s-bar / c4(n)
    kPooled,       // sizes differ: sqrt(sum (n_i - 1) s_i^2 / sum (n_i - 1))
    kMovingRange,  // individuals: MR-bar / d2(2)
};

// The limits of the two charts at one subgroup size.
struct ChartLimits {
    std::optional<double> mean_lcl, centre, mean_ucl;  // X-bar or individuals
    std::optional<double> spread_lcl, spread_centre, spread_ucl;  // s or MR
    std::optional<double> zone_sigma;  // sigma of one point: sigma within / sqrt(n)
};

struct LeftOutRecord {
    size_t index = 0;  // in the subgroups given, 0 = the first
    std::string reason;
};

struct ControlLimits {
    ChartKind kind = ChartKind::kMeanAndSd;
    SigmaMethod method = SigmaMethod::kNone;
    std::optional<double> centre;        // X-double-bar, or X-bar of individuals
    std::optional<double> sigma_within;
    std::optional<size_t> subgroup_size; // absent when the sizes differ; 1 for individuals
    bool sizes_differ = false;
    std::optional<double> s_bar;         // mean s (equal sizes) or pooled s
    std::optional<double> mr_bar;        // individuals: mean moving range
    // The limits at the common size (all absent when the sizes differ: see at()).
    ChartLimits chart;

    // Where they come from.
    size_t records_used = 0;     // used records with at least one value
    size_t without_values = 0;   // used records with no value: no point
    std::vector<LeftOutRecord> left_out;
    std::optional<LocalDateTime> first_time, last_time;  // of the records used

    // The limits for a subgroup of n values. For the common size, `chart`;
    // for another size, the per-size forms with sigma within:
    // X-double-bar +- 3 sigma / sqrt(n), and s chart c4(n) sigma as centre
    // with B3(n) c4(n) sigma and B4(n) c4(n) sigma as limits (the s chart
    // with sigma given). Nothing without sigma within.
    ChartLimits at(size_t n) const;
};

// Left-out subgroups count for nothing but the origin: computing with them
// left out gives the same limits as computing on the sequence without them.
// For individuals the moving ranges are those of consecutive used points, so
// the points on either side of a left-out one make a range together. A
// subgroup with no value makes no point and breaks no range.
// Needs two subgroups with a spread (X-bar and s) or two used points
// (individuals); every figure that cannot exist is absent, never NaN or
// infinite. Costs O(values).
ControlLimits freeze_limits(std::span<const Subgroup> subgroups);

// The limits as they are kept with the characteristic's entry: the left-out
// records named by their time stamps in `subgroups` (those freeze_limits was
// given), frozen at `when`, with these tests chosen.
FrozenControl kept_limits(const ControlLimits& limits, std::span<const Subgroup> subgroups,
                          const LocalDateTime& when, std::vector<int> tests);
// And back: the charts' limits from the kept figures, as freeze_limits gave
// them. The left-out records' indexes are not kept (the file may have changed).
ControlLimits limits_kept(const FrozenControl& kept);

}  // namespace tolvane
