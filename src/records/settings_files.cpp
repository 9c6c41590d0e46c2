#include "records/settings_files.h"

#include "records/field_reader.h"

namespace tolvane {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<int16_t> load_setting(FileSystem& files, const char* name) {
    std::string bytes;
    if (!files.read_all(name, bytes).ok() || bytes.empty()) return std::nullopt;
    FieldReader reader(bytes);
    return parse_setting_number(reader.next_field().text);
}

}  // namespace

std::optional<int16_t> parse_setting_number(std::string_view field) {
    while (!field.empty() && is_blank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && is_blank(field.back()))
        field.remove_suffix(1);
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    const size_t point = field.find('.');
    const std::string_view whole = field.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : field.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;

    long magnitude = 0;
    for (const char c : whole) {
        if (!is_digit(c)) return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 40000) magnitude = 40000;  // out of range already; stop growing
    }
    for (const char c : fraction) {
        if (!is_digit(c)) return std::nullopt;
    }
    if (!fraction.empty()) {
        // Round to nearest, exactly half to even.
        const bool over_half =
            fraction[0] > '5' ||
            (fraction[0] == '5' && fraction.find_first_not_of('0', 1) != std::string_view::npos);
        const bool half = fraction[0] == '5' && !over_half;
        if (over_half || (half && magnitude % 2 == 1)) ++magnitude;
    }
    const long value = negative ? -magnitude : magnitude;
    if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(value);
}

std::string com_file_text(int16_t com_port) {
    return std::to_string(com_port) + "\r\n";
}

std::string num_meas_file_text(int16_t num_meas) {
    // Print form: a blank where a plus sign would stand, and one after.
    return (num_meas < 0 ? "" : " ") + std::to_string(num_meas) + " \r\n";
}

int16_t load_num_meas(FileSystem& files) {
    if (!files.exists(kNumMeasFileName)) return kDefaultNumMeas;
    return load_setting(files, kNumMeasFileName).value_or(kDefaultNumMeas);
}

int16_t load_com_port(FileSystem& files) {
    if (!files.exists(kComFileName)) files.replace(kComFileName, com_file_text(kDefaultComPort));
    return load_setting(files, kComFileName).value_or(kDefaultComPort);
}

Status save_com_port(FileSystem& files, int16_t com_port) {
    return files.replace(kComFileName, com_file_text(com_port));
}

Status save_num_meas(FileSystem& files, int16_t num_meas) {
    return files.replace(kNumMeasFileName, num_meas_file_text(num_meas));
}

}  // namespace tolvane
