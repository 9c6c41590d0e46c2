#include "records/cp1252.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(Cp1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = cp1252_to_utf8(all);
    EXPECT_EQ(utf8_to_cp1252(utf8), all);
}

TEST(Cp1252, MapsTheWindowsCharacters) {
    EXPECT_EQ(cp1252_to_utf8("\x80\x99\xE9\xB0"), "\u20AC\u2122\u00E9\u00B0");
    EXPECT_EQ(utf8_to_cp1252("Probe \u00B5 5\u00B0C \u2013 \u20AC"),
              "Probe \xB5 5\xB0"
              "C \x96 \x80");
}

TEST(Cp1252, RefusesWhatItCannotHold) {
    EXPECT_FALSE(cp1252_can_hold("\u4E2D"));        // CJK
    EXPECT_FALSE(cp1252_can_hold("\U0001F600"));    // emoji
    EXPECT_FALSE(cp1252_can_hold("\xC3"));          // cut UTF-8 sequence
    EXPECT_FALSE(cp1252_can_hold("\xC0\x80"));      // overlong
    EXPECT_FALSE(cp1252_can_hold("\xED\xA0\x80"));  // surrogate
    EXPECT_TRUE(cp1252_can_hold("Sample A, 20 \u00B0C"));
    EXPECT_EQ(utf8_to_cp1252_lossy("a\u4E2Db\xC3"), "a?b?");
}

}  // namespace
}  // namespace tolvane
