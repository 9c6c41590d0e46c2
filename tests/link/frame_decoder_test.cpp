#include "link/frame_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/bytes.h"

namespace tolvane {
namespace {

using testing::bytes;

// Runs a block through fill and decode as the poll does; returns the values
// in the order the per-value step saw them.
std::vector<double> decode(MeasTable& table, const std::string& text, int16_t num_meas = 80) {
    std::vector<double> seen;
    table.meas_count = 0;
    fill_rx_hex(table, text);
    decode_meas(table, num_meas, [&](int i) {
        EXPECT_EQ(i, table.meas_count + 1);  // called before the value is counted
        seen.push_back(table.meas(i));
    });
    EXPECT_EQ(static_cast<size_t>(table.meas_count), seen.size());
    return seen;
}

// A block of `pairs` values 1.23 each, with or without its terminator.
std::string block_of(int pairs, bool terminated) {
    std::string s(1, '\x01');
    for (int i = 0; i < pairs; ++i)
        s += bytes({0x01, 0x23});
    if (terminated) s.push_back('\xFF');
    return s;
}

TEST(BlockAccepted, RefusesEmptyTextAndNulLead) {
    EXPECT_FALSE(block_accepted(""));
    EXPECT_FALSE(block_accepted(bytes({0x00, 0x21, 0x23, 0xFF})));
    EXPECT_TRUE(block_accepted(bytes({0x01})));
    EXPECT_TRUE(block_accepted(bytes({0xFF, 0x00})));
}

TEST(FillRxHex, TwoUpperCaseDigitsPerByte) {
    MeasTable table;
    fill_rx_hex(table, bytes({0x00, 0x0F, 0xAB, 0xFF, 0x10}));
    EXPECT_EQ(table.rx_hex(1), "00");
    EXPECT_EQ(table.rx_hex(2), "0F");
    EXPECT_EQ(table.rx_hex(3), "AB");
    EXPECT_EQ(table.rx_hex(4), "FF");
    EXPECT_EQ(table.rx_hex(5), "10");
    EXPECT_EQ(table.rx_filled, 5);
    for (int b = 0; b < 16; ++b) {
        fill_rx_hex(table, bytes({b}));
        EXPECT_EQ(table.rx_hex(1), std::string("0") + "0123456789ABCDEF"[b]);
    }
    // A shorter block leaves later entries as they were but marks them stale.
    EXPECT_EQ(table.rx_hex(2), "0F");
    EXPECT_EQ(table.rx_filled, 1);
}

TEST(FillRxHex, KeepsOnlyTheFirst256Bytes) {
    MeasTable table;
    std::string text(300, '\x11');
    text[255] = '\x22';
    fill_rx_hex(table, text);
    EXPECT_EQ(table.rx_filled, 256);
    EXPECT_EQ(table.rx_hex(256), "22");
}

TEST(DecodeMeas, WorkedExamplesBitExact) {
    MeasTable table;
    EXPECT_EQ(decode(table, bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xF3, 0x45, 0xFF})),
              (std::vector<double>{123.0, 5.0, 3449999999999999.5}));
    EXPECT_EQ(table.meas_count, 3);
    // Hex letters in digit positions count as 0.
    EXPECT_EQ(decode(table, bytes({0x01, 0x3C, 0x9B, 0x00, 0x01, 0x12, 0x34, 0xFF})),
              (std::vector<double>{900.0, 0.01, 23.4}));
    // 0xFF right after the lead is an exponent byte, not the terminator.
    EXPECT_EQ(decode(table, bytes({0x01, 0xFF, 0x12, 0xFF})),
              (std::vector<double>{120000000000000.02}));
    EXPECT_EQ(decode(table, bytes({0x01, 0x21, 0x23, 0xFF})), (std::vector<double>{123.0}));
    // The decoder's arithmetic, not the decimal value.
    EXPECT_EQ(decode(table, bytes({0x01, 0x04, 0x11, 0x22, 0x01, 0xFF})),
              (std::vector<double>{4.109999999999999, 200.99999999999997}));
}

TEST(DecodeMeas, ZeroDigitsGiveZeroWhateverTheExponent) {
    MeasTable table;
    EXPECT_EQ(decode(table, bytes({0x01, 0xF0, 0x00, 0x70, 0x00, 0xFF})),
              (std::vector<double>{0.0, 0.0}));
}

TEST(DecodeMeas, TerminatorCountsOnlyAtPairBoundaries) {
    MeasTable table;
    // 0xFF inside a pair is digits (F counts 0): 0xFF as the second byte.
    EXPECT_EQ(decode(table, bytes({0x01, 0x21, 0xFF, 0x05, 0x00, 0xFF})),
              (std::vector<double>{100.0, 5.0}));
}

TEST(DecodeMeas, StopsAtNumMeasWithoutTerminator) {
    MeasTable table;
    EXPECT_EQ(decode(table, block_of(90, false), 80).size(), 80u);
    EXPECT_EQ(decode(table, block_of(100, true), 80).size(), 80u);
    EXPECT_EQ(decode(table, block_of(3, true), 100).size(), 3u);
}

TEST(DecodeMeas, NumMeasOfZeroOrLessDecodesNothing) {
    MeasTable table;
    bool called = false;
    for (int16_t n : {int16_t{0}, int16_t{-5}, int16_t{-32768}}) {
        fill_rx_hex(table, block_of(3, true));
        table.meas_count = 0;
        decode_meas(table, n, [&](int) { called = true; });
        EXPECT_EQ(table.meas_count, 0);
    }
    EXPECT_FALSE(called);
}

TEST(DecodeMeas, NeverReadsEntriesAnEarlierBlockLeft) {
    MeasTable table;
    decode(table, block_of(50, true));
    // A shorter unterminated block gives only its own complete pairs; the
    // odd byte at its end is no value.
    EXPECT_EQ(decode(table, bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0x33})),
              (std::vector<double>{123.0, 5.0}));
    EXPECT_EQ(decode(table, bytes({0x01})), std::vector<double>{});
    EXPECT_EQ(decode(table, bytes({0x01, 0x21})), std::vector<double>{});

    // A first block that is short: the never-filled entries are not read.
    MeasTable fresh;
    EXPECT_EQ(decode(fresh, bytes({0x01, 0x21, 0x23})), (std::vector<double>{123.0}));
}

TEST(DecodeMeas, AtMost127ValuesWhateverNumMeasSays) {
    MeasTable table;
    EXPECT_EQ(decode(table, block_of(200, false), 32767).size(), 127u);
    EXPECT_EQ(decode(table, block_of(127, true), 300).size(), 127u);
    EXPECT_EQ(decode(table, block_of(126, true), 300).size(), 126u);
}

TEST(DecodeMeas, TwoBlocksInOneTextStopAtTheFirstTerminator) {
    MeasTable table;
    const std::string two = bytes({0x01, 0x21, 0x23, 0xFF, 0x01, 0x05, 0x00, 0xFF});
    EXPECT_EQ(decode(table, two), (std::vector<double>{123.0}));
}

}  // namespace
}  // namespace tolvane
