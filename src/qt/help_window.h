#pragma once

#include <QWidget>

class QTextBrowser;

namespace tolvane {

// The program's help document in a window of its own, beside the main
// window. Links to the outside open in the desktop's browser.
class HelpWindow final : public QWidget {
  public:
    static constexpr const char* kDocument = "qrc:/help/index.html";

    explicit HelpWindow(QWidget* owner);
    // Shown, in front, and with the focus.
    void bring_up();
    QTextBrowser* browser() const { return browser_; }

  private:
    QTextBrowser* browser_;
};

}  // namespace tolvane
