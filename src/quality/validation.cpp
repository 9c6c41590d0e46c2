#include "quality/validation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "quality/distribution.h"
#include "quality/lot.h"
#include "quality/statistics.h"

namespace tolvane {

namespace {

constexpr std::array<std::string_view, 20> kFigures = {
    "mean",     "sd",       "pp",         "ppk",      "gmean",    "gsd",     "pp_pct",
    "ppk_pct",  "a2",       "a2_star",    "ad_p",     "grand_mean", "s_bar", "xbar_ucl",
    "xbar_lcl", "s_ucl",    "s_lcl",      "sigma_within", "cp",   "cpk"};

constexpr int kMostDigits = 15;  // of a double, and of the NIST certified values

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::vector<std::string> words(std::string_view s) {
    std::vector<std::string> out;
    std::istringstream in{std::string(s)};
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::optional<double> limit(const std::string& word, bool& ok) {
    if (word == "-") return std::nullopt;
    const auto n = Number::parse(word);
    ok = ok && n.has_value();
    return n ? std::optional<double>(n->value()) : std::nullopt;
}

bool parse_expected(const std::vector<std::string>& w, Expected& e, std::string& why) {
    if (w.size() < 2) {
        why = "'expect:' needs a figure and its value";
        return false;
    }
    e.figure = w[0];
    if (std::find(kFigures.begin(), kFigures.end(), e.figure) == kFigures.end()) {
        why = "unknown figure '" + e.figure + "'";
        return false;
    }
    const auto n = Number::parse(w[1]);
    if (!n) {
        why = "'" + w[1] + "' is no number";
        return false;
    }
    e.text = w[1];
    e.value = n->value();
    e.digits = std::min(significant_digits(w[1]), kMostDigits);
    std::optional<double> need;
    for (size_t i = 2; i < w.size(); ++i) {
        if (w[i] == "exact") {
            e.digits = kMostDigits;
        } else if (w[i] == "need" && i + 1 < w.size() && Number::parse(w[i + 1])) {
            need = Number::parse(w[++i])->value();
        } else {
            why = "unexpected '" + w[i] + "'";
            return false;
        }
    }
    e.need = need ? std::min(*need, static_cast<double>(e.digits)) : e.digits;
    return true;
}

std::optional<double> figure_of(const std::string& f, const Statistics& s, const Fit& fit,
                                const std::optional<NormalityTest>& ad,
                                const std::optional<LotStatistics>& lot) {
    if (f == "mean") return s.mean;
    if (f == "sd") return s.sd;
    if (f == "pp") return fit.pp;
    if (f == "ppk") return fit.ppk;
    if (f == "gmean") return fit.gmean;
    if (f == "gsd") return fit.gsd;
    if (f == "pp_pct") return fit.percentile ? fit.percentile->pp : std::nullopt;
    if (f == "ppk_pct") return fit.percentile ? fit.percentile->ppk : std::nullopt;
    if (f == "a2") return ad ? std::optional(ad->a2) : std::nullopt;
    if (f == "a2_star") return ad ? std::optional(ad->a2_star) : std::nullopt;
    if (f == "ad_p") return ad ? std::optional(ad->p) : std::nullopt;
    if (!lot) return std::nullopt;
    if (f == "grand_mean") return lot->grand_mean;
    if (f == "s_bar") return lot->s_bar;
    if (f == "sigma_within") return lot->sigma_within;
    if (f == "cp") return lot->cp;
    if (f == "cpk") return lot->cpk;
    // Equal subgroups have equal limits: the first point's are the chart's.
    if (lot->points.empty()) return std::nullopt;
    const LotPoint& p = lot->points.front();
    if (f == "xbar_ucl") return p.mean_ucl;
    if (f == "xbar_lcl") return p.mean_lcl;
    if (f == "s_ucl") return p.sd_ucl;
    if (f == "s_lcl") return p.sd_lcl;
    return std::nullopt;
}

std::string fixed(double x, int decimals) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
    return buffer;
}

std::string padded(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

}  // namespace

std::span<const std::string_view> known_figures() { return kFigures; }

int significant_digits(std::string_view text) {
    int digits = 0;
    bool leading = true;
    for (const char c : text) {
        if (c == 'e' || c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (leading && c == '0') continue;
        leading = false;
        ++digits;
    }
    return std::max(digits, 1);
}

double agreed_digits(double computed, double reference, int cap) {
    const double error = reference == 0 ? std::fabs(computed)
                                        : std::fabs(computed - reference) / std::fabs(reference);
    if (error == 0) return cap;
    return std::clamp(-std::log10(error), 0.0, static_cast<double>(cap));
}

std::optional<DataSet> parse_data_set(std::string_view text, std::string& error) {
    DataSet set;
    bool in_data = false;
    size_t line_number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        line = trim(line);
        if (line.empty()) continue;
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(line_number) + ": " + why;
            return std::nullopt;
        };
        if (in_data) {
            for (const std::string& w : words(line)) {
                const auto n = Number::parse(w);
                if (!n) return fail("'" + w + "' is no number");
                set.values.push_back(*n);
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return fail("expected 'key: value'");
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (key == "name") {
            set.name = value;
        } else if (key == "source") {
            set.source = set.source.empty() ? std::string(value) : set.source + " " + std::string(value);
        } else if (key == "limits") {
            const auto w = words(value);
            bool ok = w.size() == 2;
            if (ok) set.limits = {limit(w[0], ok), limit(w[1], ok)};
            if (!ok) return fail("'limits:' needs LSL and USL ('-' for none)");
        } else if (key == "scale") {
            if (value != "log" && value != "linear") return fail("'scale:' is log or linear");
            set.scale = value == "log" ? Scale::kLog : Scale::kLinear;
        } else if (key == "subgroup") {
            const auto n = Number::parse(value);
            if (!n || n->value() < 2 || n->value() != std::floor(n->value()))
                return fail("'subgroup:' needs a whole number of at least 2");
            set.subgroup = static_cast<size_t>(n->value());
        } else if (key == "expect") {
            Expected e;
            std::string why;
            if (!parse_expected(words(value), e, why)) return fail(why);
            set.expected.push_back(e);
        } else if (key == "data") {
            in_data = true;
            for (const std::string& w : words(value)) {
                const auto n = Number::parse(w);
                if (!n) return fail("'" + w + "' is no number");
                set.values.push_back(*n);
            }
        } else {
            return fail("unknown key '" + std::string(key) + "'");
        }
    }
    if (set.name.empty()) return error = "no 'name:'", std::nullopt;
    if (set.source.empty()) return error = "no 'source:'", std::nullopt;
    if (set.expected.empty()) return error = "no 'expect:'", std::nullopt;
    if (set.values.empty()) return error = "no data", std::nullopt;
    if (set.subgroup && set.values.size() % set.subgroup != 0)
        return error = "the values do not fill subgroups of " + std::to_string(set.subgroup),
               std::nullopt;
    return set;
}

bool DataSetCheck::pass() const {
    return !figures.empty() &&
           std::all_of(figures.begin(), figures.end(), [](const FigureCheck& f) { return f.pass(); });
}

DataSetCheck check_data_set(const DataSet& set) {
    DataSetCheck check{set.name, set.source, set.values.size(), {}};
    const Statistics s = compute_statistics(set.values, set.limits);
    const Fit fit = fit_values(set.values, set.limits, set.scale);
    const ScaledValues scaled = in_scale(set.values, set.scale);
    const std::optional<NormalityTest> ad = anderson_darling(scaled.values);
    std::optional<LotStatistics> lot;
    if (set.subgroup) {
        std::vector<std::vector<Number>> records;
        for (size_t i = 0; i < set.values.size(); i += set.subgroup)
            records.emplace_back(set.values.begin() + static_cast<std::ptrdiff_t>(i),
                                 set.values.begin() + static_cast<std::ptrdiff_t>(i + set.subgroup));
        lot = compute_lot(records, set.limits, set.scale);
    }
    for (const Expected& e : set.expected) {
        FigureCheck f{e, figure_of(e.figure, s, fit, ad, lot), 0};
        if (f.computed) f.digits = agreed_digits(*f.computed, e.value, e.digits);
        check.figures.push_back(f);
    }
    return check;
}

size_t Validation::figures() const {
    size_t n = 0;
    for (const DataSetCheck& s : sets) n += s.figures.size();
    return n;
}

size_t Validation::passed() const {
    size_t n = 0;
    for (const DataSetCheck& s : sets)
        n += static_cast<size_t>(std::count_if(s.figures.begin(), s.figures.end(),
                                               [](const FigureCheck& f) { return f.pass(); }));
    return n;
}

Validation validate(std::span<const DataSetText> texts) {
    Validation v;
    for (const DataSetText& t : texts) {
        std::string error;
        if (const auto set = parse_data_set(t.text, error))
            v.sets.push_back(check_data_set(*set));
        else
            v.errors.push_back(t.file + ": " + error);
    }
    return v;
}

std::string digits_bar(double digits, int cap) {
    const int full = std::clamp(static_cast<int>(std::floor(digits + 1e-9)), 0, cap);
    return "[" + std::string(static_cast<size_t>(full), '#') + std::string(static_cast<size_t>(cap - full), '.') +
           "]";
}

std::string summary_line(const Validation& v) {
    std::string line = std::to_string(v.passed()) + " of " + std::to_string(v.figures()) +
                       " figures of " + std::to_string(v.sets.size()) + " data sets agree";
    if (!v.errors.empty()) line += "; " + std::to_string(v.errors.size()) + " data sets unreadable";
    return line + ": " + (v.pass() ? "PASS" : "FAIL") + "\n";
}

std::string validation_text(const Validation& v) {
    std::string out;
    for (const DataSetCheck& set : v.sets) {
        for (const FigureCheck& f : set.figures) {
            out += padded(set.name, 13) + " " + padded(f.expected.figure, 12) + " ref " +
                   padded(f.expected.text, 21) + " got " +
                   padded(f.computed ? round_trip_text(*f.computed) : "none", 23) + " digits " +
                   padded(fixed(f.digits, 1) + "/" + std::to_string(f.expected.digits), 7) +
                   " need " + padded(fixed(f.expected.need, 0), 2) + " " +
                   digits_bar(f.digits, f.expected.digits) + " " + (f.pass() ? "pass" : "FAIL") + "\n";
        }
    }
    for (const std::string& e : v.errors) out += "unreadable: " + e + "\n";
    return out + summary_line(v);
}

}  // namespace tolvane
