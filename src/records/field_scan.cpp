#include "records/field_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvane {

namespace {

// Bits 0 .. n-1.
constexpr uint64_t low_bits(int n) {
    return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

// std::popcount without a popcnt instruction (not in the base x86-64 set)
// would call a slow library routine.
int count_bits(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
}

int highest_bit(uint64_t bits) {
    return 63 - std::countl_zero(bits);
}

// One bit per byte of a 64-byte window: where a field ends if it is not
// quoted (a comma, LF, or CR not followed by LF: the LF of a CR LF ends
// it), and where the quotes are.
struct Window {
    uint64_t ends = 0, quotes = 0;
};

// The bytes of a 64-byte window that equal c.
uint64_t byte_mask(const char* w, char c) {
    uint64_t bits = 0;
#if defined(__SSE2__)
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 16 * k));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
        bits |= uint64_t{static_cast<uint16_t>(found)} << (16 * k);
    }
#else
    for (int i = 0; i < 64; ++i)
        bits |= w[i] == c ? uint64_t{1} << i : 0;
#endif
    return bits;
}

// Reads w[0] to w[64].
Window classify(const char* w) {
    Window m;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"');
    __m128i any_quote = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 16 * k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 16 * k + 1));
        const __m128i ends = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, comma)),
            _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(v, cr)));
        m.ends |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(ends))} << (16 * k);
        any_quote = _mm_or_si128(any_quote, _mm_cmpeq_epi8(v, quote));
    }
    // Quotes are rare (a description per record): their bits only when there.
    if (_mm_movemask_epi8(any_quote) != 0) m.quotes = byte_mask(w, '"');
#else
    for (int i = 0; i < 64; ++i) {
        const bool lone_cr = w[i] == '\r' && w[i + 1] != '\n';
        m.ends |= w[i] == '\n' || w[i] == ',' || lone_cr ? uint64_t{1} << i : 0;
    }
    m.quotes = byte_mask(w, '"');
#endif
    return m;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Asked for only where a quote or a blank makes it matter.
uint64_t blank_mask(const char* w) {
    return byte_mask(w, ' ') | byte_mask(w, '\t');
}

// The first quote of a window that opens a quoted field, that is, one with
// nothing but blanks before it in its field; -1 when none does.
int opening_quote(uint64_t quotes, uint64_t ends, uint64_t not_blank, bool blanks_only_before) {
    for (; quotes; quotes &= quotes - 1) {
        const int q = std::countr_zero(quotes);
        const uint64_t before = ends & low_bits(q);
        const uint64_t field_so_far =
            before ? low_bits(q) & ~low_bits(highest_bit(before) + 1) : low_bits(q);
        if ((before || blanks_only_before) && (not_blank & field_so_far) == 0) return q;
    }
    return -1;
}

}  // namespace

inline bool FieldScan::bytes_from(uint64_t at, size_t want, const char*& bytes, size_t& have) {
    const uint64_t known_end = base_ + filled_;
    if (at < base_ || at > known_end || (known_end - at < want && known_end < limit_)) {
        // Never past an end already seen: a file growing meanwhile would
        // otherwise give fields that the first look did not have.
        const auto size = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), limit_ - at));
        size_t got = 0;
        if (size > 0 && !file_.read_at(at, std::span<char>(buffer_.data(), size), got).ok())
            return false;
        base_ = at;
        filled_ = got;
        if (got < buffer_.size()) limit_ = std::min(limit_, at + got);
    }
    bytes = buffer_.data() + (at - base_);
    have = static_cast<size_t>(base_ + filled_ - at);
    return true;
}

bool FieldScan::quoted_field_end(uint64_t quote, uint64_t& field_end) {
    constexpr uint64_t kNone = UINT64_MAX;
    uint64_t closing = kNone, comma_after = kNone;
    uint64_t at = quote + 1;
    for (;;) {
        const char* bytes = nullptr;
        size_t have = 0;
        if (!bytes_from(at, 1, bytes, have)) return false;
        size_t i = 0;
        for (; i < have && bytes[i] != '\r' && bytes[i] != '\n'; ++i) {
            if (bytes[i] == '"') {
                closing = at + i;
                comma_after = kNone;
            } else if (bytes[i] == ',' && closing != kNone && comma_after == kNone) {
                comma_after = at + i;
            }
        }
        at += i;
        if (i < have || have == 0) break;  // line end or file end at `at`
    }
    field_end = closing != kNone && comma_after != kNone ? comma_after : at;
    return true;
}

inline void FieldScan::count(uint64_t ends, uint64_t window_at) {
    const auto n = static_cast<size_t>(count_bits(ends));
    fields += n;
    if (options_.rows_per_block == 0 || n < to_next_block_) {
        to_next_block_ -= n;
        return;
    }
    note_block_starts(ends, window_at);
}

void FieldScan::note_block_starts(uint64_t ends, uint64_t window_at) {
    // The field after the one that ends here may start a block.
    for (; ends; ends &= ends - 1) {
        if (--to_next_block_ == 0) {
            block_starts.push_back(window_at + static_cast<uint64_t>(std::countr_zero(ends)) + 1);
            to_next_block_ = options_.rows_per_block;
        }
    }
}

FieldScan::FieldScan(ReadableFile& file, Options options)
    : file_(file),
      options_(options),
      to_next_block_(options.rows_per_block),
      buffer_(std::max<size_t>(options.read_chunk, 128)) {}

void FieldScan::note_record_starts(const char* w, uint64_t hashes, uint64_t ends, uint64_t valid,
                                   bool blanks_only_before, uint64_t window_at) {
    const uint64_t not_blank = ~blank_mask(w) & valid;
    for (; hashes; hashes &= hashes - 1) {
        const int h = std::countr_zero(hashes);
        const uint64_t before = ends & low_bits(h);
        const uint64_t field_so_far =
            before ? low_bits(h) & ~low_bits(highest_bit(before) + 1) : low_bits(h);
        if ((before || blanks_only_before) && (not_blank & field_so_far) == 0) {
            record_starts.push_back(window_at + static_cast<uint64_t>(h));
            if (options_.record_head) hand_head(record_starts.back());
        }
    }
}

void FieldScan::hand_head(uint64_t start) {
    const uint64_t want = std::min(kHeadBytes, limit_ - start);
    if (start < base_ || start + want > base_ + filled_) {
        options_.record_head({});
        return;
    }
    options_.record_head(std::string_view(buffer_.data() + (start - base_), want));
}

bool FieldScan::run(uint64_t from, uint64_t to) {
    base_ = from;
    filled_ = 0;
    limit_ = to;
    if (options_.rows_per_block) block_starts.assign(1, from);
    uint64_t at = from;           // the window's first byte
    uint64_t field_start = from;  // the current field's first byte
    bool blanks_only = true;   // nothing but blanks from field_start to `at`
    char padded[65];
    for (;;) {
        const char* w = nullptr;
        size_t have = 0;
        if (!bytes_from(at, 65, w, have)) return false;
        if (have == 0) break;
        // The last window of the file is classified from a padded copy.
        const size_t n = std::min<size_t>(have, 64);
        if (have < 65) {
            std::memset(padded, 0, sizeof padded);
            std::memcpy(padded, w, have);
            w = padded;
        }
        const uint64_t valid = low_bits(static_cast<int>(n));
        const Window m = classify(w);
        const uint64_t ends = m.ends & valid;
        const uint64_t hashes = options_.record_starts ? byte_mask(w, '#') & valid : 0;

        if (const uint64_t quotes = m.quotes & valid) {
            const uint64_t not_blank = ~blank_mask(w) & valid;
            const int q = opening_quote(quotes, ends, not_blank, blanks_only);
            if (q >= 0) {
                if (hashes & low_bits(q))
                    note_record_starts(w, hashes & low_bits(q), ends, valid, blanks_only, at);
                const uint64_t before = ends & low_bits(q);
                count(before, at);
                if (before) field_start = at + static_cast<uint64_t>(highest_bit(before)) + 1;
                uint64_t field_end = 0;
                if (!quoted_field_end(at + static_cast<uint64_t>(q), field_end)) return false;
                at = field_end;  // the next window starts at its comma or line end
                blanks_only = false;
                continue;
            }
        }

        if (hashes) note_record_starts(w, hashes, ends, valid, blanks_only, at);
        count(ends, at);
        // Whether the field that runs on into the next window is blanks so
        // far; the last byte decides it in all but rare cases.
        const size_t last = n - 1;
        if (ends) {
            const int last_end = highest_bit(ends);
            field_start = at + static_cast<uint64_t>(last_end) + 1;
            blanks_only = static_cast<size_t>(last_end) == last ||
                          (is_blank(w[last]) &&
                           (~blank_mask(w) & valid & ~low_bits(last_end + 1)) == 0);
        } else if (blanks_only) {
            blanks_only = is_blank(w[last]) && (~blank_mask(w) & valid) == 0;
        }
        at += n;
        if (n < 64) break;
    }
    end = at;
    // A last field without a line end.
    if (field_start < end) ++fields;
    if (options_.rows_per_block)
        block_starts.resize((fields + options_.rows_per_block - 1) / options_.rows_per_block);
    return true;
}

}  // namespace tolvane
