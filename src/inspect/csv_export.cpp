#include "inspect/csv_export.h"

#include <charconv>
#include <cmath>
#include <tuple>

#include "inspect/statistics.h"
#include "inspect/tolerances.h"

namespace tolvane {

namespace {

// Digits after the point in the shortest text of a double; nothing for an
// exponent form.
std::optional<int> decimals_of(double value) {
    const std::string text = round_trip_text(value);
    if (text.find_first_of("eE") != std::string::npos) return std::nullopt;
    const size_t point = text.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

// value - nominal with the decimals of both, so that 25.012 - 25 is
// "0.012", not the double's 0.01199999999999...
std::string deviation_text(const Number& value, double nominal) {
    const double deviation = value.value() - nominal;
    const std::optional<int> of_nominal = decimals_of(nominal);
    const int of_value = value.has_decimal() ? std::max(0, -value.exponent()) : 99;
    if (!of_nominal || of_value > 17 || *of_nominal > 17) return round_trip_text(deviation);
    const int decimals = std::max(of_value, *of_nominal);
    char text[64];
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(deviation * scale) / scale;
    if (rounded == 0) rounded = 0;  // no "-0.000"
    const auto end = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed,
                                   decimals)
                         .ptr;
    return std::string(text, end);
}

auto key(const LocalDateTime& t) {
    return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

bool digits(std::string_view text, size_t at, size_t count, int& out) {
    if (at + count > text.size()) return false;
    out = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::string export_csv_header() {
    return "time,description,record_number,value_number,value,deviation,verdict\r\n";
}

std::string export_text_field(std::string_view text) {
    const bool formula = !text.empty() && std::string_view("=+-@").find(text.front()) !=
                                              std::string_view::npos;
    if (!formula && text.find_first_of(",\"\r\n\t") == std::string_view::npos)
        return std::string(text);
    std::string quoted = formula ? "\"\t" : "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void append_export_rows(std::string& out, const Record& record, size_t record_number,
                        const std::optional<ToleranceEntry>& tolerance) {
    std::string lead = record.time ? iso_8601(record.time) : export_text_field(record.time_text);
    lead += ',';
    lead += export_text_field(record.description.value_or(""));
    lead += ',';
    lead += std::to_string(record_number);
    lead += ',';
    const Limits limits = tolerance ? limits_of(*tolerance) : Limits{};
    for (size_t i = 0; i < record.values.size(); ++i) {
        const RecordValue& value = record.values[i];
        out += lead;
        out += std::to_string(i + 1);
        out += ',';
        if (!value.number) {
            out += export_text_field(value.text);
            out += ",,\r\n";
            continue;
        }
        out += round_trip_text(value.number->value());
        out += ',';
        if (tolerance && tolerance->nominal) out += deviation_text(*value.number, *tolerance->nominal);
        out += ',';
        if (limits.any()) {
            switch (verdict(value.number->value(), limits)) {
                case Verdict::kWithin: out += "OK"; break;
                case Verdict::kLow: out += "LOW"; break;
                case Verdict::kHigh: out += "HIGH"; break;
            }
        }
        out += "\r\n";
    }
}

bool RecordChoice::chooses(const Record& record) const {
    if (description && !pattern_applies(*description, record.description.value_or("")))
        return false;
    if ((from || to) && !record.time) return false;
    if (from && key(*record.time) < key(*from)) return false;
    if (to && key(*to) < key(*record.time)) return false;
    return true;
}

std::optional<LocalDateTime> parse_iso_time(std::string_view text, bool end_of_day) {
    LocalDateTime t;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !digits(text, 0, 4, t.year) ||
        !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day))
        return std::nullopt;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    if (t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > (t.month == 2 && !leap ? 28 : kDays[t.month - 1]))
        return std::nullopt;
    if (text.size() == 10) {
        if (end_of_day) t = {t.year, t.month, t.day, 23, 59, 59};
        return t;
    }
    if ((text[10] != 'T' && text[10] != ' ') || (text.size() != 16 && text.size() != 19) ||
        text[13] != ':' || !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) ||
        (text.size() == 19 && (text[16] != ':' || !digits(text, 17, 2, t.second))))
        return std::nullopt;
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    if (text.size() == 16 && end_of_day) t.second = 59;
    return t;
}

}  // namespace tolvane
