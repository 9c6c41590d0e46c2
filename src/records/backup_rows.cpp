#include "records/backup_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "records/backup_file.h"
#include "records/cp1252.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvane {

std::string loaded_row(const Field& field, ClockLocale& clock) {
    if (!field.quoted) {
        if (const auto when = parse_date_time_field(field.text))
            return clock.general_date_time(*when);
    }
    return cp1252_to_utf8(field.text);
}

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

// Finds where each field of a file ends, with the same rules as FieldReader,
// 64 bytes at a time: a field ends at a comma, LF, or CR not followed by LF
// (the LF of a CR LF ends it), except a quoted field, which runs to the last
// quote of its line and then to the next comma or line end.
class FieldIndexer {
  public:
    FieldIndexer(ReadableFile& file, size_t rows_per_block, size_t chunk)
        : file_(file), per_block_(rows_per_block), buffer_(std::max<size_t>(chunk, 128)) {}

    // False when the file could not be read.
    bool run();

    size_t rows = 0;
    uint64_t end = 0;
    std::vector<uint64_t> starts{0};

  private:
    // Points `bytes` at the file from `at` on: at least `want` bytes unless
    // the file ends first (then all that is left; none at its end).
    bool bytes_from(uint64_t at, size_t want, const char*& bytes, size_t& have);
    // Where the quoted field whose quote is at `quote` ends (at its comma or
    // line end, or the file's end).
    bool quoted_field_end(uint64_t quote, uint64_t& field_end);
    // Counts the fields ending at the window's `ends`, noting block starts.
    void count(uint64_t ends, uint64_t window_at);
    [[gnu::noinline]] void note_block_starts(uint64_t ends, uint64_t window_at);

    ReadableFile& file_;
    size_t per_block_;
    size_t to_next_block_ = per_block_;  // fields to end before the next block
    std::vector<char> buffer_;
    uint64_t base_ = 0;  // file offset of buffer_[0]
    size_t filled_ = 0;
    uint64_t limit_ = UINT64_MAX;  // the file's end, once seen
};

inline bool FieldIndexer::bytes_from(uint64_t at, size_t want, const char*& bytes, size_t& have) {
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

bool FieldIndexer::quoted_field_end(uint64_t quote, uint64_t& field_end) {
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

inline void FieldIndexer::count(uint64_t ends, uint64_t window_at) {
    const auto n = static_cast<size_t>(count_bits(ends));
    rows += n;
    if (n < to_next_block_) {
        to_next_block_ -= n;
        return;
    }
    note_block_starts(ends, window_at);
}

void FieldIndexer::note_block_starts(uint64_t ends, uint64_t window_at) {
    // The field after the one that ends here may start a block.
    for (; ends; ends &= ends - 1) {
        if (--to_next_block_ == 0) {
            starts.push_back(window_at + static_cast<uint64_t>(std::countr_zero(ends)) + 1);
            to_next_block_ = per_block_;
        }
    }
}

bool FieldIndexer::run() {
    uint64_t at = 0;           // the window's first byte
    uint64_t field_start = 0;  // the current field's first byte
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

        if (const uint64_t quotes = m.quotes & valid) {
            const uint64_t not_blank = ~blank_mask(w) & valid;
            const int q = opening_quote(quotes, ends, not_blank, blanks_only);
            if (q >= 0) {
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
    if (field_start < end) ++rows;
    starts.resize((rows + per_block_ - 1) / per_block_);
    return true;
}

}  // namespace

std::unique_ptr<BackupRows> BackupRows::open(std::unique_ptr<ReadableFile> file,
                                             ClockLocale& clock, Tuning tuning) {
    FieldIndexer indexer(*file, tuning.rows_per_block, tuning.read_chunk);
    if (!indexer.run()) return nullptr;
    std::unique_ptr<BackupRows> rows(new BackupRows(std::move(file), clock, tuning.rows_per_block));
    rows->rows_ = indexer.rows;
    rows->end_ = indexer.end;
    rows->starts_ = std::move(indexer.starts);
    rows->starts_.shrink_to_fit();
    return rows;
}

const BackupRows::Block& BackupRows::block(size_t index) {
    for (const Block& b : cache_)
        if (b.index == index) return b;
    Block& b = cache_[next_victim_];
    next_victim_ = (next_victim_ + 1) % cache_.size();
    b.index = index;
    b.rows.clear();

    const uint64_t from = starts_[index];
    const uint64_t to = index + 1 < starts_.size() ? starts_[index + 1] : end_;
    std::string bytes(static_cast<size_t>(to - from), '\0');
    size_t got = 0;
    if (!file_->read_at(from, bytes, got).ok() || got != bytes.size()) return b;
    // The block must still hold exactly its fields; otherwise the file was
    // changed under us and its rows are shown empty.
    const size_t expected = std::min<size_t>(rows_per_block_, rows_ - index * rows_per_block_);
    FieldReader reader(bytes);
    std::vector<std::string> rows;
    rows.reserve(expected);
    while (rows.size() < expected && !reader.at_end())
        rows.push_back(loaded_row(reader.next_field(), clock_));
    if (rows.size() == expected && reader.at_end()) b.rows = std::move(rows);
    return b;
}

std::string BackupRows::row(size_t i) {
    const Block& b = block(i / rows_per_block_);
    const size_t at = i % rows_per_block_;
    return at < b.rows.size() ? b.rows[at] : std::string();
}

}  // namespace tolvane
