#include "records/field_reader.h"

namespace tolvane {

size_t FieldReader::line_end_from(size_t from) const {
    const size_t end = bytes_.find_first_of("\r\n", from);
    return end == std::string_view::npos ? bytes_.size() : end;
}

size_t FieldReader::comma_or_line_end(size_t from, size_t line_end) const {
    const size_t comma = bytes_.substr(from, line_end - from).find(',');
    return comma == std::string_view::npos ? line_end : from + comma;
}

void FieldReader::consume_separator() {
    if (pos_ >= bytes_.size()) return;
    const char c = bytes_[pos_++];
    if (c == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
}

Field FieldReader::next_field() {
    Field field;
    while (pos_ < bytes_.size() && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t'))
        ++pos_;
    const size_t line_end = line_end_from(pos_);

    if (pos_ < line_end && bytes_[pos_] == '"') {
        field.quoted = true;
        const size_t open = pos_;
        size_t close = bytes_.rfind('"', line_end - 1);
        if (close == open) close = line_end;  // no closing quote: the rest of the line
        field.text = bytes_.substr(open + 1, close - open - 1);
        pos_ = comma_or_line_end(close, line_end);
    } else {
        const size_t end = comma_or_line_end(pos_, line_end);
        field.text = bytes_.substr(pos_, end - pos_);
        pos_ = end;
    }
    consume_separator();
    return field;
}

}  // namespace tolvane
