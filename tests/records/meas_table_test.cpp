#include "records/meas_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "link/frame_decoder.h"

namespace tolvane {
namespace {

using testing::FakeLabel;
using testing::FakeList;

// The decoder's value of the pair (e, d1) (d2, d3).
double decoded(int d1, int d2, int d3, int e) {
    MeasTable table;
    const char block[] = {1, char(e << 4 | d1), char(d2 << 4 | d3), char(0xFF)};
    fill_rx_hex(table, std::string_view(block, 4));
    decode_meas(table, 1, [](int) {});
    return table.meas(1);
}

TEST(MeasText, PlainBelowTenToTheFifteen) {
    EXPECT_EQ(meas_text(0.0, "."), "0");
    EXPECT_EQ(meas_text(5.0, "."), "5");
    EXPECT_EQ(meas_text(123.0, "."), "123");
    EXPECT_EQ(meas_text(0.01, "."), "0.01");
    EXPECT_EQ(meas_text(0.5, "."), "0.5");
    EXPECT_EQ(meas_text(120000000000000.02, "."), "120000000000000");
    EXPECT_EQ(meas_text(990000000000000.0, "."), "990000000000000");
    EXPECT_EQ(meas_text(999000000000000.0, "."), "999000000000000");
}

TEST(MeasText, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(meas_text(23.4, "."), "23.4");
    EXPECT_EQ(meas_text(23.4, ","), "23,4");
    EXPECT_EQ(meas_text(3449999999999999.5, ","), "3,45E+15");
}

TEST(MeasText, ExponentFormFromTenToTheFifteen) {
    EXPECT_EQ(meas_text(1e15, "."), "1E+15");
    EXPECT_EQ(meas_text(3449999999999999.5, "."), "3.45E+15");
    EXPECT_EQ(meas_text(decoded(9, 9, 9, 15), "."), "9.99E+15");
    EXPECT_EQ(meas_text(5e15, "."), "5E+15");
    // Rounding to 15 digits can carry into the next power of ten.
    EXPECT_EQ(meas_text(999999999999999.9, "."), "1E+15");
}

TEST(MeasText, RoundsAwayTheDecodersLastBitErrors) {
    EXPECT_EQ(meas_text(4.109999999999999, "."), "4.11");
    EXPECT_EQ(meas_text(200.99999999999997, "."), "201");
    // Every value the instrument can send: the decoder's double is the
    // documented sum times one exact power of ten, and its text reads as the
    // three digits.
    for (int e = 0; e <= 15; ++e) {
        for (int d = 0; d < 1000; ++d) {
            const int d1 = d / 100, d2 = d / 10 % 10, d3 = d % 10;
            const std::string decimal = std::to_string(d1) + "." + std::to_string(d2) +
                                        std::to_string(d3) + "e" + std::to_string(e);
            const double power = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
            const double v = decoded(d1, d2, d3, e);
            ASSERT_EQ(v, (d1 + d2 * 0.1 + d3 * 0.01) * power) << decimal;
            ASSERT_EQ(std::strtod(meas_text(v, ".").c_str(), nullptr),
                      std::strtod(decimal.c_str(), nullptr))
                << decimal;
        }
    }
}

TEST(Captions, CountAndNumberOfMeasurements) {
    EXPECT_EQ(count_caption_text(0), "0 Measurements Received");
    EXPECT_EQ(count_caption_text(1), "1 Measurements Received");
    EXPECT_EQ(count_caption_text(87), "87 Measurements Received");
    EXPECT_EQ(num_meas_caption(85), "N.M. = 85");
    EXPECT_EQ(num_meas_caption(-5), "N.M. = -5");

    MeasTable table;
    table.meas_count = 3;
    FakeLabel lb_numpoints;
    count_caption(table, lb_numpoints);
    EXPECT_EQ(lb_numpoints.caption, "3 Measurements Received");
}

TEST(ClearMeasurements, EmptiesListAndCountButKeepsTables) {
    MeasTable table;
    table.meas(1) = 123;
    table.rx_hex(1) = "01";
    table.meas_count = 1;
    FakeList lst_meas;
    lst_meas.rows = {"123"};
    FakeLabel lb_numpoints;
    lb_numpoints.caption = "1 Measurements Received";

    clear_measurements(table, lst_meas, lb_numpoints);
    EXPECT_EQ(table.meas_count, 0);
    EXPECT_TRUE(lst_meas.rows.empty());
    EXPECT_EQ(lb_numpoints.caption, "0 Measurements Received");
    EXPECT_EQ(table.meas(1), 123);
    EXPECT_EQ(table.rx_hex(1), "01");

    // Also before any block was ever received.
    MeasTable fresh;
    FakeLabel blank;
    clear_measurements(fresh, lst_meas, blank);
    EXPECT_EQ(blank.caption, "0 Measurements Received");
}

TEST(ChooseNumMeas, SetsLimitAndCaptionOnly) {
    int16_t num_meas = 80;
    FakeLabel lb_nummeas;
    choose_num_meas(90, num_meas, lb_nummeas);
    EXPECT_EQ(num_meas, 90);
    EXPECT_EQ(lb_nummeas.caption, "N.M. = 90");
    lb_nummeas.caption.clear();
    choose_num_meas(90, num_meas, lb_nummeas);  // the item already in force
    EXPECT_EQ(lb_nummeas.caption, "N.M. = 90");
}

TEST(MeasTableIndexing, IsOneBasedAndBounded) {
    MeasTable table;
    EXPECT_EQ(table.rx_hex(256), "");
    EXPECT_THROW(table.meas(0), std::out_of_range);
    EXPECT_THROW(table.rx_hex(257), std::out_of_range);
}

}  // namespace
}  // namespace tolvane
