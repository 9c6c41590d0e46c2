#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// A measured value as its field in the file gives it: the nearest double,
// and, when the decimal text has at most 18 significant digits, the exact
// decimal digits * 10^exponent as well, so that the statistics can subtract
// values that differ only far behind the point without rounding error.
class Number {
  public:
    // The field's text in the file's own form, whatever the user's locale:
    // an optional sign, digits with an optional point (".5" too), an optional
    // exponent (E+15). Blanks around it are allowed. Nothing for any other
    // text, and for a value that is not finite.
    static std::optional<Number> parse(std::string_view text);
    // A value that has no text: the double is taken as exact.
    static Number of(double value);

    double value() const { return value_; }
    // The exact decimal, when known.
    bool has_decimal() const { return has_decimal_; }
    int64_t digits() const { return digits_; }
    int32_t exponent() const { return exponent_; }

  private:
    double value_ = 0;
    int64_t digits_ = 0;
    int32_t exponent_ = 0;
    bool has_decimal_ = false;
};

// The shortest text that reads back as the same double, with a point
// ("0.1", "1e+16"): for files and programs, not for the screen.
std::string round_trip_text(double value);

}  // namespace tolvane
