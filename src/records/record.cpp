#include "records/record.h"

#include <algorithm>

#include "records/backup_file.h"
#include "records/cp1252.h"

namespace tolvane {

std::vector<Number> Record::numbers() const {
    std::vector<Number> numbers;
    numbers.reserve(values.size());
    for (const RecordValue& v : values)
        if (v.number) numbers.push_back(*v.number);
    return numbers;
}

size_t Record::not_numbers() const {
    size_t count = 0;
    for (const RecordValue& v : values)
        count += v.number ? 0 : 1;
    return count;
}

void RecordReader::keep(std::string_view bytes) {
    if (text_.size() <= kKeptFieldBytes)
        text_.append(bytes.substr(0, kKeptFieldBytes + 1 - text_.size()));
}

void RecordReader::end_field(bool quoted) {
    const bool cut = text_.size() > kKeptFieldBytes;
    if (cut) text_.resize(kKeptFieldBytes);
    const auto utf8 = [&] { return cp1252_to_utf8(text_) + (cut ? "…" : ""); };
    if (fields_ == 0) {
        record_.time_text = utf8();
        if (!quoted && !cut) record_.time = parse_date_time_field(text_);
    } else if (fields_ == 1 && quoted) {
        record_.description = utf8();
    } else {
        ++record_.value_count;
        if (record_.values.size() < kKeptValues) {
            RecordValue value{utf8(), std::nullopt};
            if (!quoted && !cut) value.number = Number::parse(text_);
            record_.values.push_back(std::move(value));
        }
    }
    ++fields_;
    text_.clear();
    pending_ = false;
}

// The quoted field runs to the last quote of its line; after it, the line
// up to a comma is skipped, and what follows the comma (no quote any more)
// is fields of their own.
void RecordReader::end_quoted_line() {
    const std::string line = std::move(line_);
    line_.clear();
    const size_t close = line.rfind('"');
    keep(std::string_view(line).substr(0, close));
    end_field(true);
    state_ = State::kSkipLine;
    const size_t comma = close == std::string::npos ? close : line.find(',', close);
    if (comma == std::string::npos) return;
    state_ = State::kBefore;
    add(std::string_view(line).substr(comma + 1));
}

void RecordReader::add(std::string_view bytes) {
    const auto line_end_from = [&](size_t i) {
        while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') ++i;
        return i;
    };
    size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        switch (state_) {
            case State::kAfterCr:
                state_ = State::kBefore;
                if (c == '\n') ++i;
                break;
            case State::kBefore:
                if (c == ' ' || c == '\t') {
                    pending_ = true;
                    ++i;
                } else if (c == '"') {
                    state_ = State::kQuoted;
                    ++i;
                } else {
                    state_ = State::kPlain;
                }
                break;
            case State::kPlain: {
                size_t j = i;
                while (j < bytes.size() && bytes[j] != ',' && bytes[j] != '\r' && bytes[j] != '\n')
                    ++j;
                if (fields_ < 2 || record_.values.size() < kKeptValues)
                    keep(bytes.substr(i, j - i));
                pending_ = true;
                i = j;
                if (j == bytes.size()) break;
                end_field(false);
                state_ = bytes[j] == '\r' ? State::kAfterCr : State::kBefore;
                ++i;
                break;
            }
            case State::kQuoted: {
                const size_t j = line_end_from(i);
                line_.append(bytes.substr(i, std::min(j - i, kQuotedLineBytes - line_.size())));
                i = j;
                if (line_.size() >= kQuotedLineBytes) {
                    // Absurdly long: the field to its last quote so far, the
                    // rest of the line skipped.
                    keep(std::string_view(line_).substr(0, line_.rfind('"')));
                    line_.clear();
                    end_field(true);
                    state_ = State::kSkipLine;
                } else if (j < bytes.size()) {
                    end_quoted_line();  // its line end is read next, in the state it leaves
                }
                break;
            }
            case State::kSkipLine:
                i = line_end_from(i);
                if (i == bytes.size()) break;
                state_ = bytes[i] == '\r' ? State::kAfterCr : State::kBefore;
                ++i;
                break;
        }
    }
}

Record RecordReader::finish() {
    if (state_ == State::kQuoted) end_quoted_line();
    if (state_ == State::kPlain || (state_ == State::kBefore && pending_)) end_field(false);
    Record record = std::move(record_);
    *this = RecordReader();
    return record;
}

Record parse_record(std::string_view bytes) {
    RecordReader reader;
    reader.add(bytes);
    return reader.finish();
}

std::string iso_8601(const std::optional<LocalDateTime>& time) {
    if (!time) return {};
    // By hand: snprintf would be most of the time --stats takes.
    std::string text = "0000-00-00T00:00:00";
    const auto put = [&text](size_t at, int width, int value) {
        for (size_t i = at + static_cast<size_t>(width); i-- > at; value /= 10)
            text[i] = static_cast<char>('0' + value % 10);
    };
    put(0, 4, time->year);
    put(5, 2, time->month);
    put(8, 2, time->day);
    put(11, 2, time->hour);
    put(14, 2, time->minute);
    put(17, 2, time->second);
    return text;
}

}  // namespace tolvane
