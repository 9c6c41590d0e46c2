#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_controls.h"

namespace tolvane {

// The values of the most recent block and its received bytes. Both tables are
// indexed 1..256 and are never cleared: meas_count says which entries of
// `meas` belong to the current block, rx_filled how many of `rx_hex`.
class MeasTable {
  public:
    static constexpr int kSize = 256;

    double& meas(int i) { return meas_.at(static_cast<size_t>(i - 1)); }
    double meas(int i) const { return meas_.at(static_cast<size_t>(i - 1)); }
    std::string& rx_hex(int i) { return rx_hex_.at(static_cast<size_t>(i - 1)); }
    const std::string& rx_hex(int i) const { return rx_hex_.at(static_cast<size_t>(i - 1)); }

    int16_t meas_count = 0;
    // Entries of rx_hex that the current block filled (1..rx_filled).
    int rx_filled = 0;

  private:
    std::array<double, kSize> meas_{};
    std::array<std::string, kSize> rx_hex_{};
};

// A value as the lists show it: rounded to 15 significant digits, plain below
// 10^15 ("23.4", "0.01"), else mantissa and exponent ("3.45E+15"); no trailing
// zeros. The backup file uses the same form with "." always.
std::string meas_text(double value, std::string_view decimal_separator);

// "87 Measurements Received"
std::string count_caption_text(int16_t count);
// "N.M. = 85"
std::string num_meas_caption(int16_t num_meas);

// lb_numpoints shows meas_count.
void count_caption(const MeasTable& table, LabelControl& lb_numpoints);

// cmd_clrm: forget the current block's values (meas and rx_hex keep theirs).
void clear_measurements(MeasTable& table, ListControl& lst_meas, LabelControl& lb_numpoints);

// The Number Of Measurements menu items: the next block is decoded with the new
// limit; what is listed stays, and nothing is saved until the program closes.
void choose_num_meas(int16_t value, int16_t& num_meas, LabelControl& lb_nummeas);

}  // namespace tolvane
