// Arbitrary received text and N.M. through acceptance, tabulation and decoding.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/frame_decoder.h"
#include "records/meas_table.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const auto num_meas = static_cast<int16_t>(data[0] | (data[1] << 8));
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    static MeasTable table;  // kept across inputs, as across blocks
    if (!block_accepted(text)) return 0;
    table.meas_count = 0;
    fill_rx_hex(table, text);
    int steps = 0;
    decode_meas(table, num_meas, [&](int i) {
        ++steps;
        const double v = table.meas(i);
        if (!(v >= 0 && v <= 9.99e15)) std::abort();  // 9.99 x 10^15 is exact
        if (meas_text(v, ".").empty() || meas_text(v, ",").empty()) std::abort();
    });
    const int pairs = (static_cast<int>(std::min<size_t>(text.size(), 256)) - 1) / 2;
    if (table.meas_count != steps || steps > kMaxValuesPerBlock ||
        steps > std::max<int>(num_meas, 0) || steps > pairs) {
        std::abort();
    }
    return 0;
}
