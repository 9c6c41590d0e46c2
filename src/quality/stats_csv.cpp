#include "quality/stats_csv.h"

#include <algorithm>

#include "quality/csv_export.h"
#include "quality/distribution.h"
#include "quality/statistics.h"

namespace tolvane {

namespace {

void add(std::string& line, const std::optional<double>& x) {
    line += ',';
    if (x) line += round_trip_text(*x);
}

void add(std::string& line, const std::optional<size_t>& x) {
    line += ',';
    if (x) line += std::to_string(*x);
}

}  // namespace

std::string stats_csv_header() {
    return "time,description,n,mean,sd,min,max,range,lsl,usl,low,high,pp,ppk,"
           "xbar_lcl,xbar_ucl,s_lcl,s_ucl,tests,scale,gmean,gsd,ad,ad_p,pp_pct,ppk_pct\n";
}

std::string csv_field(std::string_view raw) {
    const std::string text = printable_text(raw);
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

namespace {

void add_fit(std::string& line, const Fit& fit) {
    line += fit.scale == Scale::kLog ? ",log" : ",linear";
    add(line, fit.gmean);
    add(line, fit.gsd);
    add(line, fit.normality ? std::optional<double>(fit.normality->a2_star) : std::nullopt);
    add(line, fit.normality ? std::optional<double>(fit.normality->p) : std::nullopt);
    add(line, fit.percentile ? fit.percentile->pp : std::nullopt);
    add(line, fit.percentile ? fit.percentile->ppk : std::nullopt);
    line += '\n';
}

std::optional<double> from_log(const std::optional<double>& x, Scale scale) {
    if (!x) return x;
    return from_scale(*x, scale);
}

}  // namespace

std::string stats_csv_line(const Record& record, const Limits& limits, ControlJudge* judge,
                           Scale scale) {
    const std::vector<Number> numbers = record.numbers();
    const Statistics s = compute_statistics(numbers, limits);
    const Fit fit = fit_values(numbers, limits, scale, &s, false);
    std::string line = iso_8601(record.time);
    line += ',';
    line += csv_field(record.description.value_or(""));
    line += ',' + std::to_string(s.n);
    for (const auto& x : {s.mean, s.sd, s.min, s.max, s.range, limits.lower, limits.upper})
        add(line, x);
    const bool any = s.has_limits;
    add(line, any ? std::optional<size_t>(s.below) : std::nullopt);
    add(line, any ? std::optional<size_t>(s.above) : std::nullopt);
    // The linear figures from the exact decimals; the log scale's of the logs.
    add(line, scale == Scale::kLog ? fit.pp : s.pp);
    add(line, scale == Scale::kLog ? fit.ppk : s.ppk);
    if (!judge) {
        line += ",,,,,";
        add_fit(line, fit);
        return line;
    }
    const RecordJudgement j = judge->judge(numbers_in_scale(numbers, scale));
    // The mean chart's limits as values; the spread chart's stay of the logs
    // (a spread of logs has no value of its own).
    for (const auto& x : {from_log(j.limits.mean_lcl, scale), from_log(j.limits.mean_ucl, scale),
                          j.limits.spread_lcl, j.limits.spread_ucl})
        add(line, x);
    std::vector<int> tests;
    for (const auto* findings : {&j.point_findings, &j.spread_findings})
        for (const Finding& f : *findings) tests.push_back(f.test);
    std::sort(tests.begin(), tests.end());
    tests.erase(std::unique(tests.begin(), tests.end()), tests.end());
    line += ',';
    for (size_t i = 0; i < tests.size(); ++i) {
        if (i > 0) line += ' ';
        line += std::to_string(tests[i]);
    }
    add_fit(line, fit);
    return line;
}

}  // namespace tolvane
