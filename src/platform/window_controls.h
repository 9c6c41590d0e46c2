#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// What the program's logic needs of the main window's controls. Texts are
// UTF-8.

class ListControl {
  public:
    virtual ~ListControl() = default;
    virtual void add_row(std::string_view text) = 0;
    // Many rows at once at the end (loading a long backup file).
    virtual void add_rows(std::vector<std::string> rows) = 0;
    virtual void clear() = 0;
};

class LabelControl {
  public:
    virtual ~LabelControl() = default;
    virtual void set_caption(std::string_view text) = 0;
};

class TextBoxControl {
  public:
    virtual ~TextBoxControl() = default;
    virtual std::string text() const = 0;
};

}  // namespace tolvane
