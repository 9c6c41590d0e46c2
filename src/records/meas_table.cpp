#include "records/meas_table.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace tolvane {

std::string meas_text(double value, std::string_view decimal_separator) {
    // Round once to 15 significant digits; to_chars ignores the C locale, which
    // a Qt program sets from the user's environment.
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    if (ec != std::errc{}) return "0";
    const std::string_view sci(buf, static_cast<size_t>(end - buf));
    if (sci.find_first_of("in") != std::string_view::npos) return std::string(sci);  // inf, nan

    std::string out;
    size_t pos = 0;
    if (sci[0] == '-') {
        out.push_back('-');
        pos = 1;
    }
    const size_t e_pos = sci.find('e');
    std::string digits;  // the 15 significant digits, the point left out
    for (size_t i = pos; i < e_pos; ++i) {
        if (sci[i] != '.') digits.push_back(sci[i]);
    }
    const int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    if (digits == "0") return "0";

    if (exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimal_separator;
            out.append(digits, 1);
        }
        out += "E+";
        if (exponent < 10) out += '0';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        const size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits;
            out.append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole);
            out += decimal_separator;
            out.append(digits, whole);
        }
    } else {
        out += '0';
        out += decimal_separator;
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

std::string count_caption_text(int16_t count) {
    return std::to_string(count) + " Measurements Received";
}

std::string num_meas_caption(int16_t num_meas) {
    return "N.M. = " + std::to_string(num_meas);
}

void count_caption(const MeasTable& table, LabelControl& lb_numpoints) {
    lb_numpoints.set_caption(count_caption_text(table.meas_count));
}

void clear_measurements(MeasTable& table, ListControl& lst_meas, LabelControl& lb_numpoints) {
    table.meas_count = 0;
    lst_meas.clear();
    lb_numpoints.set_caption("0 Measurements Received");
}

void choose_num_meas(int16_t value, int16_t& num_meas, LabelControl& lb_nummeas) {
    num_meas = value;
    lb_nummeas.set_caption(num_meas_caption(num_meas));
}

}  // namespace tolvane
