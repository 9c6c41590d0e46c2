#pragma once

#include <string_view>

namespace tolvane {

// Modal message boxes with the application title as caption and no icon.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Text and an OK button.
    virtual void message(std::string_view text) = 0;
    // Yes and No, Yes the default; true for Yes.
    virtual bool ask_yes_no(std::string_view text) = 0;
    // Closes the boxes that are open as if OK, a question as if No, for a
    // program told to end: nobody may be there to answer them.
    virtual void close_open_boxes() {}
};

}  // namespace tolvane
