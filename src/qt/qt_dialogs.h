#pragma once

#include <QPointer>
#include <QMessageBox>
#include <QWidget>
#include <vector>

#include "platform/dialogs.h"

namespace tolvane {

// Application-modal QMessageBoxes over `parent`, captioned with the
// application title, without an icon.
class QtDialogs final : public Dialogs {
  public:
    static constexpr const char* kCaption = "tolvane";

    explicit QtDialogs(QWidget* parent) : parent_(parent) {}
    void message(std::string_view text) override;
    bool ask_yes_no(std::string_view text) override;
    void close_open_boxes() override;

  private:
    int show(QMessageBox& box);

    QPointer<QWidget> parent_;
    // Innermost last; a box opened from another one's event loop is on top.
    std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace tolvane
