#pragma once

#include <QPointer>
#include <QWidget>

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

  private:
    QPointer<QWidget> parent_;
};

}  // namespace tolvane
