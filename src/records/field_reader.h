#pragma once

#include <string>
#include <string_view>

namespace tolvane {

struct Field {
    std::string text;  // raw bytes of the file, quotes removed
    bool quoted = false;
};

// Reads the fields of the program's text files, one after another:
// - blanks before a field are skipped;
// - a field that begins with a double quote runs to the last double quote
//   before the line end (so a description holding quotes reads back whole);
//   the rest of the line up to a comma or the line end is skipped;
// - any other field runs to the next comma or line end, taken unchanged;
// - a line end is CR, LF or CR LF; an empty line is an empty field;
// - the end is reached once the last line end has been consumed.
// Each byte is looked at a bounded number of times, so a line of many fields
// reads in time linear in its length.
class FieldReader {
  public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

    bool at_end() const { return pos_ >= bytes_.size(); }
    // Call only while !at_end().
    Field next_field();

  private:
    // The line end at or after pos_; found once per line and kept.
    size_t line_end();
    // The first comma in [from, line_end), else line_end.
    size_t comma_or_line_end(size_t from, size_t line_end) const;
    // Moves past the comma or line end at pos_ (or stays at the end).
    void consume_separator();

    std::string_view bytes_;
    size_t pos_ = 0;
    size_t line_end_ = 0;
    bool line_end_known_ = false;
};

}  // namespace tolvane
