#include "link/frame_decoder.h"

#include <algorithm>

namespace tolvane {
namespace {

// A character read as a decimal number: its digit, or 0 for anything else.
int digit_value(char c) {
    return (c >= '0' && c <= '9') ? c - '0' : 0;
}

int exponent_value(char c) {
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : digit_value(c);
}

constexpr double kPowersOfTen[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

bool block_accepted(std::string_view text) {
    return !text.empty() && text.front() != '\0';
}

bool frame_makes_record(std::string_view frame, int16_t num_meas) {
    if (!block_accepted(frame) || frame.size() < 3 || num_meas < 1) return false;
    return frame.find_first_not_of('\xFF') != std::string_view::npos;
}

void fill_rx_hex(MeasTable& table, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const int length = static_cast<int>(std::min<size_t>(text.size(), MeasTable::kSize));
    for (int i = 1; i <= length; ++i) {
        const auto c = static_cast<unsigned char>(text[static_cast<size_t>(i - 1)]);
        table.rx_hex(i) = {kHex[c >> 4], kHex[c & 0x0F]};
    }
    table.rx_filled = length;
}

void decode_meas(MeasTable& table, int16_t num_meas,
                 const std::function<void(int)>& per_value_step) {
    const int limit = std::min<int>(num_meas, kMaxValuesPerBlock);
    int p = 2;
    for (int i = 1; i <= limit; ++i) {
        if (p + 1 > table.rx_filled) return;  // no complete pair left in this block
        const std::string& high = table.rx_hex(p);
        const std::string& low = table.rx_hex(p + 1);
        p += 2;
        const int e = exponent_value(high[0]);
        const int d1 = digit_value(high[1]);
        const int d2 = digit_value(low[0]);
        const int d3 = digit_value(low[1]);
        // Keep this order and these constants: they decide the value's last
        // bit, and existing backup files were written from values made so.
        const double a = d1 + d2 * 0.1;
        const double b = a + d3 * 0.01;
        table.meas(i) = b * kPowersOfTen[e];
        per_value_step(i);
        ++table.meas_count;
        if (p > table.rx_filled || table.rx_hex(p) == "FF") return;
    }
}

}  // namespace tolvane
