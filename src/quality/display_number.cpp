#include "quality/display_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace tolvane {

namespace {

constexpr int kPlainAbove = -4;  // 10^-4 is still written plainly
constexpr int kPlainBelow = 7;   // 10^7 is not

// |value| rounded to `significant` digits: its digits without trailing
// zeros and the power of ten of the first of them. std::to_chars rounds
// correctly and ignores the C locale that a Qt program sets.
struct Digits {
    std::string digits;  // "0" for zero
    int exponent = 0;
};

Digits digits_of(double value, int significant) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                            std::chars_format::scientific, significant - 1);
    if (error != std::errc()) return {"0", 0};
    const std::string_view text(buffer, static_cast<size_t>(end - buffer));
    const size_t e = text.find('e');
    Digits d;
    for (size_t i = 0; i < e; ++i)
        if (text[i] != '.') d.digits.push_back(text[i]);
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    d.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    if (d.digits == "0") d.exponent = 0;
    return d;
}

void append_exponent(std::string& out, int exponent, const NumberSymbols& symbols) {
    out += symbols.exponent;
    out += exponent < 0 ? symbols.minus : symbols.plus;
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
}

// The digits of |value| with `decimals` after the point, the point as the
// locale writes it.
std::string fixed_digits(double magnitude, int decimals, const NumberSymbols& symbols) {
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc()) return "0";
    std::string text(buffer, end);
    const size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, symbols.decimal_point);
    return text;
}

bool all_zero(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c < '1' || c > '9'; });
}

}  // namespace

NumberForm form_of(std::span<const double> values, int extra) {
    bool any = false;
    int highest = 0, lowest = 0;  // powers of ten of the non-zero values
    int plain_decimals = 0, mantissa_decimals = 0;
    for (const double value : values) {
        if (!std::isfinite(value)) continue;
        const Digits d = digits_of(value, kMaxSignificant);
        if (d.digits == "0") continue;
        const int significant = static_cast<int>(d.digits.size());
        highest = any ? std::max(highest, d.exponent) : d.exponent;
        lowest = any ? std::min(lowest, d.exponent) : d.exponent;
        any = true;
        plain_decimals = std::max(plain_decimals, significant - 1 - d.exponent);
        mantissa_decimals = std::max(mantissa_decimals, significant - 1);
    }
    if (!any) return {false, 0};
    const bool plain = lowest >= kPlainAbove && highest < kPlainBelow &&
                       highest + 1 + plain_decimals <= kMaxSignificant;
    if (plain)
        return {false, std::clamp(plain_decimals + extra, 0, kMaxSignificant - 1 - highest)};
    return {true, std::min(mantissa_decimals + extra, kMaxSignificant - 1)};
}

std::string display_text(double value, const NumberForm& form, const NumberSymbols& symbols,
                         bool sign) {
    if (std::isnan(value)) return "—";
    if (std::isinf(value)) return value < 0 ? symbols.minus + "∞" : "∞";
    std::string body;
    if (form.scientific) {
        const Digits d = digits_of(value, form.decimals + 1);
        body = d.digits.substr(0, 1);
        if (form.decimals > 0) {
            std::string rest = d.digits.substr(1);
            rest.resize(static_cast<size_t>(form.decimals), '0');
            body += symbols.decimal_point + rest;
        }
        append_exponent(body, d.exponent, symbols);
        if (d.digits == "0") return body;
    } else {
        body = fixed_digits(std::fabs(value), form.decimals, symbols);
        if (all_zero(body)) return body;
    }
    if (value < 0) return symbols.minus + body;
    return sign ? symbols.plus + body : body;
}

std::string display_text(double value, const NumberSymbols& symbols) {
    return display_text(value, form_of(std::span(&value, 1)), symbols);
}

}  // namespace tolvane
