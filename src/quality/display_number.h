#pragma once

#include <span>
#include <string>

namespace tolvane {

// The symbols of the user's regional number form, as the window's locale
// gives them.
struct NumberSymbols {
    std::string decimal_point = ".";
    std::string minus = "-";
    std::string plus = "+";
    std::string exponent = "E";
};

// How the numbers of one column, axis or panel are written for a person:
// plain with a fixed count of decimals, or all of them in one scientific
// form ("9,99E+15") with a fixed count of decimals in the mantissa. No group
// separators: they would make an axis label or a narrow column too long.
struct NumberForm {
    bool scientific = false;
    int decimals = 0;
    bool operator==(const NumberForm&) const = default;
};

// Never more significant digits than this in a figure.
inline constexpr int kMaxSignificant = 10;

// The one form for `values` (non-finite ones are ignored): plain while every
// value lies between 10^-4 and 10^7 (or is 0) and the largest needs at most
// kMaxSignificant digits with the decimals of the most precise; else
// scientific. Each value counts with at most kMaxSignificant significant
// digits, trailing zeros dropped; `extra` decimals are added for figures
// derived from the values (a mean, a standard deviation), within the same
// bound of digits.
NumberForm form_of(std::span<const double> values, int extra = 0);

// `value` in `form`: rounded to its decimals, the exponent with a sign and
// at least two digits, "-0" written as 0. With `sign`, a positive value
// shows its plus sign (deviations).
std::string display_text(double value, const NumberForm& form, const NumberSymbols& symbols,
                         bool sign = false);
// A number on its own, in the form it needs alone.
std::string display_text(double value, const NumberSymbols& symbols);

}  // namespace tolvane
