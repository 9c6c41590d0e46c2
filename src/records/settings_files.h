#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace tolvane {

inline constexpr const char* kComFileName = "com.dat";
inline constexpr const char* kNumMeasFileName = "numdat.dat";
inline constexpr int16_t kDefaultNumMeas = 80;
inline constexpr int16_t kDefaultComPort = 1;

// A settings field as a 16-bit number: blanks around it ignored, an optional
// sign, digits, an optional fraction rounded to the nearest whole number (a
// half to the even one). Nothing when it is no number or out of range.
std::optional<int16_t> parse_setting_number(std::string_view field);

// com.dat holds "2" CR LF; numdat.dat " 95 " CR LF ("-5 " CR LF when negative).
std::string com_file_text(int16_t com_port);
std::string num_meas_file_text(int16_t num_meas);

// N.M. from numdat.dat; 80 when it is missing, unreadable or holds no usable
// number. The file is never created here.
int16_t load_num_meas(FileSystem& files);

// The port from com.dat, which is created holding 1 when missing; port 1 when
// the file is unreadable or holds no usable number.
int16_t load_com_port(FileSystem& files);

Status save_com_port(FileSystem& files, int16_t com_port);
Status save_num_meas(FileSystem& files, int16_t num_meas);

}  // namespace tolvane
