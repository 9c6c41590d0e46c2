#include "quality/display_number.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

const NumberSymbols kGerman{",", "-", "+", "E"};
const NumberSymbols kPoint{".", "−", "+", "E"};

struct ColumnCase {
    const char* name;
    std::vector<double> values;
    int extra;
    NumberForm form;
    std::vector<std::string> german;  // each value in the column's form
};

class Column : public testing::TestWithParam<ColumnCase> {};

TEST_P(Column, OneFormForAllItsValues) {
    const ColumnCase& c = GetParam();
    const NumberForm form = form_of(c.values, c.extra);
    EXPECT_EQ(form.scientific, c.form.scientific);
    EXPECT_EQ(form.decimals, c.form.decimals);
    ASSERT_EQ(c.values.size(), c.german.size());
    for (size_t i = 0; i < c.values.size(); ++i)
        EXPECT_EQ(display_text(c.values[i], form, kGerman), c.german[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Column,
    testing::Values(
        ColumnCase{"Shafts", {25.39, 25.4, 25.41, 25}, 0, {false, 2},
                   {"25,39", "25,40", "25,41", "25,00"}},
        // The instrument's whole range: one scientific form, no 15-digit
        // integers, no mixture of forms.
        ColumnCase{"FifteenDecades", {0.01, 9.99e15, 2.4438e15, 9e15, 1000}, 0, {true, 4},
                   {"1,0000E-02", "9,9900E+15", "2,4438E+15", "9,0000E+15", "1,0000E+03"}},
        ColumnCase{"Integers", {999000000000000.0, 120000000000000.02}, 0, {true, 2},
                   {"9,99E+14", "1,20E+14"}},
        // Sums of doubles are cut at ten significant digits.
        ColumnCase{"DoubleNoise", {0.1 + 0.2, 25.41 - 25.4}, 0, {false, 2}, {"0,30", "0,01"}},
        ColumnCase{"Mean", {25.396666666666665}, 0, {false, 8}, {"25,39666667"}},
        ColumnCase{"DerivedFigures", {9969.99, 1870.316018}, 2, {false, 6},
                   {"9969,990000", "1870,316018"}},
        ColumnCase{"BoundOfDigitsWithExtra", {123456.7}, 5, {false, 4}, {"123456,7000"}},
        ColumnCase{"Negative", {-0.021, 0.0, 0.013}, 0, {false, 3}, {"-0,021", "0,000", "0,013"}},
        ColumnCase{"Tiny", {0.00001, 0.5}, 0, {true, 0}, {"1E-05", "5E-01"}},
        ColumnCase{"Large", {12345678, 1}, 0, {true, 7}, {"1,2345678E+07", "1,0000000E+00"}},
        ColumnCase{"PlainWithinTenDigits", {123456.5, 0.0001}, 0, {false, 4},
                   {"123456,5000", "0,0001"}},
        ColumnCase{"TooManyDigitsPlain", {1234567.5, 0.0001}, 0, {true, 7},
                   {"1,2345675E+06", "1,0000000E-04"}},
        ColumnCase{"ZeroOnly", {0.0, -0.0}, 0, {false, 0}, {"0", "0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayNumber, RoundsAndSignsInItsForm) {
    EXPECT_EQ(display_text(-0.0004, {false, 3}, kGerman), "0,000");  // no "-0,000"
    EXPECT_EQ(display_text(0.0023, {false, 4}, kGerman, true), "+0,0023");
    EXPECT_EQ(display_text(0.0, {false, 4}, kGerman, true), "0,0000");
    EXPECT_EQ(display_text(9.996e15, {true, 2}, kGerman), "1,00E+16");
    EXPECT_EQ(display_text(-2.5e-7, {true, 1}, kPoint), "−2.5E−07");
    EXPECT_EQ(display_text(0.0, {true, 1}, kPoint), "0.0E+00");
}

TEST(DisplayNumber, AloneInTheFormItNeeds) {
    EXPECT_EQ(display_text(25.4, kGerman), "25,4");
    EXPECT_EQ(display_text(349420840816300.5, kGerman), "3,494208408E+14");
    EXPECT_EQ(display_text(1e7, kGerman), "1E+07");
    EXPECT_EQ(display_text(9999999, kGerman), "9999999");
    EXPECT_EQ(display_text(0.0001, kGerman), "0,0001");
}

}  // namespace
}  // namespace tolvane
