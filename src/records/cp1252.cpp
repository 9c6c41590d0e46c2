#include "records/cp1252.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tolvane {
namespace {

// Code points of bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void put_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::optional<unsigned char> cp1252_byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// Next code point of well-formed UTF-8 (no overlongs, no surrogates);
// nothing when the bytes are not.
std::optional<char32_t> next_code_point(std::string_view text, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    int extra;
    char32_t cp;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + extra >= text.size()) return std::nullopt;
    for (int i = 1; i <= extra; ++i) {
        const unsigned char c = byte(pos + i);
        if ((c & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (c & 0x3F);
    }
    constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    pos += extra + 1;
    return cp;
}

}  // namespace

std::string cp1252_to_utf8(std::string_view bytes) {
    // Most fields are plain ASCII, which is the same in both.
    const auto high = std::find_if(bytes.begin(), bytes.end(),
                                   [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; });
    std::string out(bytes.begin(), high);
    if (high == bytes.end()) return out;
    out.reserve(bytes.size() + 8);
    for (const char ch : bytes.substr(out.size())) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else {
            put_utf8(out, b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
        }
    }
    return out;
}

namespace {

// Encodes text; each character without a byte (or each malformed byte) is
// replaced by `substitute`, or ends the conversion when there is none.
std::optional<std::string> encode(std::string_view text, std::optional<char> substitute) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const auto cp = next_code_point(text, pos);
        const auto b = cp ? cp1252_byte(*cp) : std::nullopt;
        if (b) {
            out.push_back(static_cast<char>(*b));
            continue;
        }
        if (!substitute) return std::nullopt;
        out.push_back(*substitute);
        if (pos == start) ++pos;
    }
    return out;
}

}  // namespace

std::optional<std::string> utf8_to_cp1252(std::string_view text) {
    return encode(text, std::nullopt);
}

std::string utf8_to_cp1252_lossy(std::string_view text) {
    return *encode(text, '?');
}

bool cp1252_can_hold(std::string_view text) {
    return utf8_to_cp1252(text).has_value();
}

}  // namespace tolvane
