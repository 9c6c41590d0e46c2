#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tolerance_settings.h"
#include "quality/tolerances.h"
#include "records/number.h"

namespace tolvane {

// Reference data with known answers, run through the program's own
// statistics so that a lab can see, figure by figure, how many digits of
// each it reproduces.
//
// A data set is text (resources/validation/README names each line):
//   # a comment, anywhere
//   name: Michelso
//   source: where the data and the reference values were published
//   limits: 10 1000          (LSL USL; "-" for a side without one)
//   scale: log               (or linear, the default)
//   subgroup: 5              (the values in subgroups of 5, for the chart's figures)
//   expect: mean 299.852400000000 [exact] [need 13]
//   data:
//   the values, separated by blanks or lines, with a point
struct Expected {
    std::string figure;     // one of known_figures()
    std::string text;       // the reference as published
    double value = 0;
    int digits = 15;        // the digits the reference has (15 when exact)
    double need = 15;       // the digits the figure must agree to
};

struct DataSet {
    std::string name, source;
    Limits limits;
    Scale scale = Scale::kLinear;
    size_t subgroup = 0;
    std::vector<Number> values;
    std::vector<Expected> expected;
};

// The figures a data set may name: mean, sd, pp, ppk (the Z-score method,
// of the logs on the log scale), gmean, gsd, pp_pct, ppk_pct (the
// percentile method), a2, a2_star, ad_p (Anderson-Darling), and with
// subgroups grand_mean, s_bar, xbar_ucl, xbar_lcl, s_ucl, s_lcl,
// sigma_within, cp, cpk.
std::span<const std::string_view> known_figures();

// The data set of a text, or nothing and why (with the line's number).
std::optional<DataSet> parse_data_set(std::string_view text, std::string& error);

// The significant digits of a decimal text: "299.852400000000" has 15,
// "0.0094" 2, "74.001" 5, "-177.435000000000" 15.
int significant_digits(std::string_view text);

// The digits `computed` agrees with `reference` to (the log relative error,
// LRE): -log10(|computed - reference| / |reference|), or -log10|computed|
// when the reference is 0; at most `cap` (equal values reach it), at least 0.
double agreed_digits(double computed, double reference, int cap);

struct FigureCheck {
    Expected expected;
    std::optional<double> computed;  // absent: the program gives no such figure here
    double digits = 0;
    bool pass() const { return computed && digits >= expected.need; }
};

struct DataSetCheck {
    std::string name, source;
    size_t n = 0;
    std::vector<FigureCheck> figures;
    bool pass() const;
};

// Every figure the data set expects, computed by compute_statistics,
// fit_values, anderson_darling and compute_lot.
DataSetCheck check_data_set(const DataSet& set);

struct Validation {
    std::vector<DataSetCheck> sets;
    std::vector<std::string> errors;  // data sets that could not be read
    size_t figures() const;
    size_t passed() const;
    bool pass() const { return errors.empty() && passed() == figures() && figures() > 0; }
};

struct DataSetText {
    std::string file, text;
};
// Reads and checks each text in turn; one that cannot be read is an error,
// and the validation fails.
Validation validate(std::span<const DataSetText> texts);

// The stdout of --validate: one line per figure, then the summary.
//   Michelso  mean  ref 299.852400000000  got 299.8524  digits 15.0/15 [###############] pass
std::string validation_text(const Validation& v);
std::string summary_line(const Validation& v);
// A bar of `digits` out of `cap` marks, as '#' and '.'.
std::string digits_bar(double digits, int cap);

}  // namespace tolvane
