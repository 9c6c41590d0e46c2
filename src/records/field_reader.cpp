#include "records/field_reader.h"

namespace tolvane {

size_t FieldReader::line_end() {
    if (!line_end_known_ || line_end_ < pos_) {
        // A plain loop: find_first_of looks each byte up in the set.
        size_t end = pos_;
        while (end < bytes_.size() && bytes_[end] != '\r' && bytes_[end] != '\n') ++end;
        line_end_ = end;
        line_end_known_ = true;
    }
    return line_end_;
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
    const size_t end_of_line = line_end();

    if (pos_ < end_of_line && bytes_[pos_] == '"') {
        field.quoted = true;
        const size_t open = pos_;
        size_t close = bytes_.rfind('"', end_of_line - 1);
        if (close == open) close = end_of_line;  // no closing quote: the rest of the line
        field.text = bytes_.substr(open + 1, close - open - 1);
        pos_ = comma_or_line_end(close, end_of_line);
    } else {
        const size_t end = comma_or_line_end(pos_, end_of_line);
        field.text = bytes_.substr(pos_, end - pos_);
        pos_ = end;
    }
    consume_separator();
    return field;
}

}  // namespace tolvane
