#include "records/number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tolvane {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

constexpr int kMaxDigits = 18;  // fits an int64 with room

}  // namespace

std::optional<Number> Number::parse(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);

    // The grammar first, so that only plain decimals pass (no "inf", "nan",
    // hexadecimal); the value then from from_chars, which rounds correctly
    // and ignores the locale.
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t number_start = i;
    int64_t digits = 0;
    int significant = 0;
    int32_t exponent = 0;
    bool any_digit = false, exact = true;
    for (bool after_point = false; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !after_point) {
            after_point = true;
            continue;
        }
        if (!is_digit(c)) break;
        any_digit = true;
        if (significant == 0 && c == '0') {
            if (after_point) --exponent;
            continue;
        }
        if (significant < kMaxDigits) {
            digits = digits * 10 + (c - '0');
            ++significant;
            if (after_point) --exponent;
        } else {
            exact = false;
            if (!after_point) ++exponent;
        }
    }
    if (!any_digit) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool exp_negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exp_negative = text[j++] == '-';
        const size_t exp_digits = j;
        int64_t e = 0;
        for (; j < text.size() && is_digit(text[j]); ++j)
            e = std::min<int64_t>(e * 10 + (text[j] - '0'), 100000);
        if (j == exp_digits) return std::nullopt;
        exponent += static_cast<int32_t>(exp_negative ? -e : e);
        i = j;
    }
    if (i != text.size()) return std::nullopt;

    Number number;
    number.has_decimal_ = exact;
    number.digits_ = negative ? -digits : digits;
    number.exponent_ = digits == 0 ? 0 : exponent;
    // Digits and a power of ten that are both exact in a double give the
    // correctly rounded value in one operation (the common case: "345000",
    // "1.23"); else from_chars.
    constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (exact && digits < (int64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
        const auto d = static_cast<double>(number.digits_);
        number.value_ = exponent < 0 ? d / kPowers[-exponent] : d * kPowers[exponent];
        return number;
    }
    const char* first = text.data() + number_start;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), number.value_);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(number.value_))
        return std::nullopt;
    if (negative) number.value_ = -number.value_;
    return number;
}

Number Number::of(double value) {
    Number number;
    number.value_ = value;
    return number;
}

std::string round_trip_text(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace tolvane
