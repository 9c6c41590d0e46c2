#include "quality/csv_export.h"

#include <charconv>
#include <cmath>
#include <tuple>

#include "quality/statistics.h"
#include "quality/tolerances.h"
#include "records/backup_file.h"

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

}  // namespace

std::string export_csv_header() {
    return "time,description,record_number,value_number,value,deviation,verdict\r\n";
}

std::string lot_csv(const Lot& lot) {
    std::string csv = export_csv_header();
    if (lot.stations.empty()) {
        for (size_t i = 0; i < lot.records.size(); ++i)
            append_export_rows(csv, lot.records[i], lot.numbers[i], lot.tolerances[i]);
        return csv;
    }
    // Several stations: each row names its own, last, before its CR LF.
    const auto add_field = [&](std::string_view line, const std::string& field) {
        const size_t end = line.ends_with("\r\n") ? line.size() - 2 : line.size() - 1;
        csv.append(line.substr(0, end)).append(",").append(field).append(line.substr(end));
    };
    std::string header = std::move(csv);
    csv.clear();
    add_field(header, "station");
    std::string rows;
    for (size_t i = 0; i < lot.records.size(); ++i) {
        rows.clear();
        append_export_rows(rows, lot.records[i], lot.numbers[i], lot.tolerances[i]);
        const std::string station = export_text_field(lot.stations[lot.record_stations[i]]);
        for (size_t from = 0, end; (end = rows.find('\n', from)) != std::string::npos; from = end + 1)
            add_field(std::string_view(rows).substr(from, end + 1 - from), station);
    }
    return csv;
}

std::string printable_text(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        // C1 controls are U+0080 to U+009F: C2 80 to C2 9F.
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80;
        if (c < 0x20 || c == 0x7F || c1) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            if (c1) ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string export_text_field(std::string_view raw) {
    const std::string text = printable_text(raw);
    const bool formula = !text.empty() && std::string_view("=+-@").find(text.front()) !=
                                              std::string_view::npos;
    if (!formula && text.find_first_of(",\"") == std::string::npos) return text;
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
            // Nothing where a program expects a number ("nan", "inf", a
            // hand edit): the verdict says why the value is empty.
            out += ",,not a number\r\n";
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

bool RecordChoice::time_range_empty() const { return from && to && key(*to) < key(*from); }

std::optional<LocalDateTime> parse_iso_time(std::string_view text, bool end_of_day) {
    // The backup file's time stamp form read as it is there, once a 'T' is
    // taken for the blank and missing seconds are filled in.
    std::string field = "#" + std::string(text) + "#";
    if (text.size() == 16) field.insert(17, end_of_day ? ":59" : ":00");
    if (field.size() == 21 && field[11] == 'T') field[11] = ' ';
    std::optional<LocalDateTime> t = parse_date_time_field(field);
    if (t && text.size() == 10 && end_of_day) t = LocalDateTime{t->year, t->month, t->day, 23, 59, 59};
    return t;
}

}  // namespace tolvane
