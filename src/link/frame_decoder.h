#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "records/meas_table.h"

namespace tolvane {

// The instrument's block: a lead byte (not 0x00), one byte pair per value
// (high nibble exponent 0..15 and first digit; second and third digit), 0xFF.

// Values one block can carry: entries 2..255 of rx_hex hold 127 pairs.
inline constexpr int kMaxValuesPerBlock = 127;

// A text worth decoding: not empty and not starting with 0x00.
bool block_accepted(std::string_view text);

// A frame worth a record: it gives at least one value (a lead byte and a
// whole pair, and an N.M. above 0), and it is not only 0xFF bytes, which is
// what a floating or disconnected line reads as.
bool frame_makes_record(std::string_view frame, int16_t num_meas);

// rx_hex(i) = byte i as two upper-case hex digits, for the first 256 bytes
// of the text; entries beyond keep what they held. Sets rx_filled.
void fill_rx_hex(MeasTable& table, std::string_view text);

// Decodes the block in rx_hex into meas(1), meas(2), ... until the pair
// followed by "FF", the end of what the block filled (an incomplete last pair
// gives no value), num_meas values, or 127 values. After storing meas(i) it
// calls per_value_step(i), then counts the value in meas_count.
void decode_meas(MeasTable& table, int16_t num_meas,
                 const std::function<void(int)>& per_value_step);

}  // namespace tolvane
