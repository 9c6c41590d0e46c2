#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// What the program's logic needs of the main window's controls. Texts are
// UTF-8.

// Rows that a list does not hold itself: it asks for their number once and
// for a row's text only when it draws that row.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual size_t row_count() const = 0;
    // Call only with i < row_count().
    virtual std::string row(size_t i) = 0;
};

class ListControl {
  public:
    virtual ~ListControl() = default;
    virtual void add_row(std::string_view text) = 0;
    // Many rows at once at the end (a record of the backup file).
    virtual void add_rows(std::vector<std::string> rows) = 0;
    // Shows `rows` in place of what the list held; rows added later follow.
    virtual void show_rows(std::unique_ptr<RowSource> rows) = 0;
    virtual void clear() = 0;
};

class LabelControl {
  public:
    virtual ~LabelControl() = default;
    virtual void set_caption(std::string_view text) = 0;
    virtual void set_visible(bool visible) = 0;
    virtual bool visible() const = 0;
};

class TextBoxControl {
  public:
    virtual ~TextBoxControl() = default;
    virtual std::string text() const = 0;
};

class MenuItemControl {
  public:
    virtual ~MenuItemControl() = default;
    virtual void set_checked(bool checked) = 0;
    virtual bool checked() const = 0;
};

// A timer whose ticks the shell forwards to the handler it belongs to.
class TimerControl {
  public:
    virtual ~TimerControl() = default;
    virtual void set_enabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

class ButtonControl {
  public:
    virtual ~ButtonControl() = default;
    virtual void set_enabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

}  // namespace tolvane
