#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quality/distribution.h"
#include "quality/journal.h"
#include "quality/statistics.h"
#include "quality/tolerances.h"
#include "records/number.h"
#include "records/record.h"

namespace tolvane {

// The factors of an X-bar and s chart for subgroups of n values (n >= 2),
// from their formulas rather than a table, so that any size has them:
// c4 = sqrt(2 / (n - 1)) * Gamma(n / 2) / Gamma((n - 1) / 2),
// A3 = 3 / (c4 sqrt(n)), B3 = max(0, 1 - 3 sqrt(1 - c4^2) / c4),
// B4 = 1 + 3 sqrt(1 - c4^2) / c4.
struct ControlFactors {
    double c4 = 0, a3 = 0, b3 = 0, b4 = 0;
};
ControlFactors control_factors(size_t n);

// Where the within-record sigma of a lot comes from.
enum class SigmaSource {
    kNone,         // no record has two values, or they all have a spread of 0
    kSBarOverC4,   // every record of two or more values has the same size n: s-bar / c4(n)
    kPooled,       // sizes differ: sqrt(sum (n_i - 1) s_i^2 / sum (n_i - 1))
};

// One record of a lot: a subgroup of the control chart.
struct LotPoint {
    size_t record = 0;  // its index in the lot, 0 = the first given
    size_t n = 0;
    double mean = 0;
    std::optional<double> sd;  // absent below two values: no point on the s chart
    // The limits of this point (the same for every point when the sizes are
    // equal); absent without a within-record sigma.
    std::optional<double> mean_lcl, mean_ucl;
    std::optional<double> sd_lcl, sd_ucl;
    bool mean_outside = false, sd_outside = false;
};

// The combined statistics of several records and their X-bar and s chart.
//
// On the log scale every figure here, the chart's too, is of log10 of the
// values against the logs of the limits (values of 0 or below left out),
// and `fit` says it; from_scale() gives a figure back as a value.
struct LotStatistics {
    size_t records = 0;
    Scale scale = Scale::kLinear;
    size_t not_positive = 0;  // log scale: values left out of every figure
    Statistics overall;  // of every value together; Pp, Ppk with the overall s
    // Of every value together: the scale's figures, the percentile method
    // and the normality check.
    Fit fit;

    // The within-record sigma and what it gives.
    SigmaSource sigma_source = SigmaSource::kNone;
    std::optional<size_t> subgroup_size;  // n of kSBarOverC4
    std::optional<double> sigma_within;
    std::optional<double> cp;   // (USL - LSL) / 6 sigma_within
    std::optional<double> cpk;  // min(USL - mean, mean - LSL) / 3 sigma_within

    // The chart. Centre lines: the grand mean (of every value, which is the
    // mean of the records' means when their sizes are equal) and s-bar (the
    // mean of the records' s, or the pooled s when sizes differ).
    std::optional<double> grand_mean;
    std::optional<double> s_bar;
    std::vector<LotPoint> points;  // one per record with at least one value
    size_t without_values = 0;     // records with no value: no point at all
    size_t without_sd = 0;         // records with one value: left out of the s chart
    size_t mean_outside = 0, sd_outside = 0;
};

// Each record's values are the numbers of one record (a field that is no
// number is left out, as for one record). Costs O(values).
LotStatistics compute_lot(std::span<const std::vector<Number>> records, const Limits& limits,
                          Scale scale = Scale::kLinear);
LotStatistics compute_lot(std::span<const Record> records, const Limits& limits,
                          Scale scale = Scale::kLinear);

// Records chosen for a report or an export, with their tolerances.
struct Lot {
    std::string file;       // as the user named it, UTF-8
    std::string selection;  // how they were chosen, in words, UTF-8
    std::vector<Record> records;
    std::vector<size_t> numbers;  // each record's number in its file, from 1
    // Read from several files: the stations, and each record's (its place
    // in `stations`); both empty for one file.
    std::vector<std::string> stations;
    std::vector<size_t> record_stations;
    std::vector<std::optional<ToleranceEntry>> tolerances;  // each record's
    // The tolerance of them all when every record has the same limits;
    // else none, and `mixed_tolerances`.
    std::optional<ToleranceEntry> tolerance;
    bool mixed_tolerances = false;
    LotStatistics statistics;
    // The journal beside the file, as read when the lot was chosen (empty
    // when there is none): the causes found and the limits' history.
    std::vector<JournalEntry> journal;
};

// Fills the lot's common tolerance and statistics from its records and
// their tolerances.
void complete_lot(Lot& lot);

// Each record's station by name, in the lot's order; empty for one file.
std::vector<std::string> record_station_names(const Lot& lot);

}  // namespace tolvane
