#include "quality/stats_csv.h"

#include <algorithm>

#include "quality/csv_export.h"
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
           "xbar_lcl,xbar_ucl,s_lcl,s_ucl,tests\n";
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

std::string stats_csv_line(const Record& record, const Limits& limits, ControlJudge* judge) {
    const std::vector<Number> numbers = record.numbers();
    const Statistics s = compute_statistics(numbers, limits);
    std::string line = iso_8601(record.time);
    line += ',';
    line += csv_field(record.description.value_or(""));
    line += ',' + std::to_string(s.n);
    for (const auto& x : {s.mean, s.sd, s.min, s.max, s.range, limits.lower, limits.upper})
        add(line, x);
    const bool any = s.has_limits;
    add(line, any ? std::optional<size_t>(s.below) : std::nullopt);
    add(line, any ? std::optional<size_t>(s.above) : std::nullopt);
    add(line, s.pp);
    add(line, s.ppk);
    if (!judge) return line + ",,,,,\n";
    const RecordJudgement j = judge->judge(numbers);
    for (const auto& x : {j.limits.mean_lcl, j.limits.mean_ucl, j.limits.spread_lcl, j.limits.spread_ucl})
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
    return line + '\n';
}

}  // namespace tolvane
