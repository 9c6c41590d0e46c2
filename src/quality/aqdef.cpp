#include "quality/aqdef.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "quality/csv_export.h"
#include "quality/tolerances.h"
#include "records/cp1252.h"

namespace tolvane {

namespace {

// The lengths the field tables give the text fields written here.
constexpr size_t kPartNumberLength = 30;       // K1001
constexpr size_t kPartDescriptionLength = 80;  // K1002
constexpr size_t kCharacteristicLength = 80;   // K2002
constexpr size_t kBatchLength = 14;            // K0006
constexpr size_t kTextLength = 255;            // K0009
constexpr size_t kValueLength = 22;            // K0001, a float

struct TextField {
    const char* key;
    const char* name;
    size_t length;
};
constexpr TextField kPartNumber{"K1001", "part number", kPartNumberLength};
constexpr TextField kPartDescription{"K1002", "part description", kPartDescriptionLength};
constexpr TextField kCharacteristic{"K2002", "characteristic description", kCharacteristicLength};
constexpr TextField kBatch{"K0006", "batch number", kBatchLength};
constexpr TextField kStation{"K0009", "text", kTextLength};

// Bytes that would break a line, or that Windows-1252 leaves unassigned.
bool unwritable(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

class Writer {
  public:
    explicit Writer(AqdefFile& file) : file_(file) {}

    bool refused() const { return !file_.refusal.empty(); }
    void refuse(std::string why) {
        if (!refused()) file_.refusal = std::move(why);
    }
    void warn(std::string what) { file_.warnings.push_back(std::move(what)); }

    // The text as the field holds it: Windows-1252, cut to the field's
    // length with a warning (once per text); nothing, and the refusal, for
    // a character it cannot hold.
    std::optional<std::string> text(const TextField& field, const std::string& utf8,
                                    const std::string& whose) {
        const std::optional<std::string> held = utf8_to_cp1252(utf8);
        if (!held || std::any_of(held->begin(), held->end(),
                                 [](char c) { return unwritable(static_cast<unsigned char>(c)); })) {
            refuse(whose + " \"" + printable_text(utf8) + "\" holds a character that " + field.key +
                   " (" + field.name + ", Windows-1252) cannot hold");
            return std::nullopt;
        }
        std::string bytes = *held;
        if (bytes.size() > field.length) {
            bytes.resize(field.length);
            if (cut_.insert({field.key, utf8}).second)
                warn(std::string(field.key) + " (" + field.name + ") holds " +
                     std::to_string(field.length) + " characters: \"" + utf8 +
                     "\" is written as \"" + cp1252_to_utf8(bytes) + "\"");
        }
        return bytes;
    }

  private:
    AqdefFile& file_;
    std::set<std::pair<std::string, std::string>> cut_;
};

void line(std::string& out, std::string_view key, size_t index, std::string_view text) {
    out += key;
    if (index > 0) {
        out += '/';
        out += std::to_string(index);
    }
    out += ' ';
    out += text;
    out += "\r\n";
}

// The shortest fixed text of a double; nothing beyond 400 characters.
std::string fixed_text(double value) {
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (result.ec != std::errc()) return std::string(sizeof text, '9');
    return std::string(text, result.ptr);
}

// A value as its field in the file wrote it (25.010 stays 25.010), in fixed
// form: an exponent ("2.5E+1") is no form every reader takes.
std::string value_text(const Number& number) {
    if (!number.has_decimal()) return fixed_text(number.value());
    const bool negative = number.digits() < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(number.digits())
                                        : static_cast<uint64_t>(number.digits());
    std::string text = std::to_string(magnitude);
    // Beyond these the text is too long for K0001 anyway.
    const int exponent = std::clamp(number.exponent(), -64, 64);
    if (exponent >= 0) {
        text.append(static_cast<size_t>(exponent), '0');
    } else {
        const size_t decimals = static_cast<size_t>(-exponent);
        if (text.size() <= decimals) text.insert(0, decimals - text.size() + 1, '0');
        text.insert(text.size() - decimals, ".");
    }
    return negative && magnitude != 0 ? "-" + text : text;
}

std::string date_text(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d/%02d:%02d:%02d", t.day, t.month, t.year,
                  t.hour, t.minute, t.second);
    return text;
}

}  // namespace

AqdefFile aqdef_file(const Lot& lot, std::span<const std::string> stations, const AqdefPart& part) {
    AqdefFile file;
    Writer writer(file);
    const auto station_of = [&](size_t i) -> const std::string& {
        return stations.size() == 1 ? stations.front() : stations[i];
    };
    if (stations.size() != 1 && stations.size() != lot.records.size()) {
        writer.refuse("the records and their stations do not match");
        return file;
    }

    // The characteristics, by the pattern of the entry each record matches.
    std::vector<const ToleranceEntry*> characteristics;
    std::map<std::string, size_t> characteristic_of;
    std::vector<size_t> index(lot.records.size(), 0);  // 0: left out
    size_t unmatched = 0;
    for (size_t i = 0; i < lot.records.size(); ++i) {
        const std::optional<ToleranceEntry>& entry = lot.tolerances[i];
        if (!entry) {
            ++unmatched;
            continue;
        }
        const auto [at, added] = characteristic_of.emplace(entry->pattern, characteristics.size() + 1);
        if (added) characteristics.push_back(&*entry);
        index[i] = at->second;
    }
    if (characteristics.empty()) {
        writer.refuse(lot.records.empty()
                          ? std::string("no record is chosen")
                          : "none of the " + std::to_string(lot.records.size()) +
                                " records chosen matches a tolerance entry, and each "
                                "characteristic of AQDEF is one");
        return file;
    }
    if (unmatched > 0)
        writer.warn(std::to_string(unmatched) + (unmatched == 1 ? " record matches" : " records match") +
                    " no tolerance entry and " + (unmatched == 1 ? "is" : "are") + " left out");

    std::string& out = file.bytes;
    line(out, "K0100", 0, std::to_string(characteristics.size()));
    if (const auto number = writer.text(kPartNumber, part.number, "the part number"))
        line(out, kPartNumber.key, 0, *number);
    if (const auto description = writer.text(kPartDescription, part.description, "the part description"))
        line(out, kPartDescription.key, 0, *description);
    for (size_t n = 1; n <= characteristics.size(); ++n) {
        const ToleranceEntry& entry = *characteristics[n - 1];
        line(out, "K2001", n, std::to_string(n));
        if (const auto pattern = writer.text(kCharacteristic, entry.pattern, "the tolerance entry"))
            line(out, kCharacteristic.key, n, *pattern);
        line(out, "K2004", n, "0");
        const Limits limits = limits_of(entry);
        if (entry.nominal) line(out, "K2101", n, fixed_text(*entry.nominal));
        if (limits.lower) line(out, "K2110", n, fixed_text(*limits.lower));
        if (limits.upper) line(out, "K2111", n, fixed_text(*limits.upper));
    }

    std::vector<std::string> station_names;
    std::map<std::string, size_t> station_number;
    std::string after;  // the fields every value of a record shares
    for (size_t i = 0; i < lot.records.size() && !writer.refused(); ++i) {
        const size_t n = index[i];
        if (n == 0) continue;
        const Record& record = lot.records[i];
        const std::string whose = "record " + std::to_string(lot.numbers[i]);
        if (!record.time) {
            writer.refuse(whose + " has no valid time stamp (\"" + record.time_text +
                          "\"), and K0004 needs a date and time");
            break;
        }
        after.clear();
        line(after, "K0004", n, date_text(*record.time));
        if (record.description) {
            const auto batch = writer.text(kBatch, *record.description, whose + "'s description");
            if (!batch) break;
            if (!batch->empty()) line(after, kBatch.key, n, *batch);
        }
        const std::string& station = station_of(i);
        const auto [at, added] = station_number.emplace(station, station_names.size() + 1);
        if (added) station_names.push_back(station);
        if (!station.empty()) {
            const auto name = writer.text(kStation, station, "the station name");
            if (!name) break;
            line(after, kStation.key, n, *name);
        }
        line(after, "K0012", n, std::to_string(at->second));
        for (size_t v = 0; v < record.values.size(); ++v) {
            const RecordValue& value = record.values[v];
            if (!value.number) {
                writer.refuse(whose + ", value " + std::to_string(v + 1) + " (\"" + value.text +
                              "\") is no number, and K0001 holds only numbers");
                break;
            }
            const std::string text = value_text(*value.number);
            if (text.size() > kValueLength) {
                writer.refuse(whose + ", value " + std::to_string(v + 1) + " (\"" + value.text +
                              "\") needs " + std::to_string(text.size()) +
                              " characters in fixed form; K0001 holds " +
                              std::to_string(kValueLength));
                break;
            }
            line(out, "K0001", n, text);
            out += after;
        }
    }
    if (writer.refused()) file.bytes.clear();
    return file;
}

}  // namespace tolvane
