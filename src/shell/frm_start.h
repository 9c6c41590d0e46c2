#pragma once

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace tolvane {

class HelpWindow;

// frm_start: the title window shown at start. OK runs `show_main`, which
// loads and shows the main window, and then closes this window; closing it
// any other way ends the program before anything is read, written or opened.
class FrmStart final : public QWidget {
  public:
    explicit FrmStart(std::function<void()> show_main);
    ~FrmStart() override;

    // Centres the picture and the button on the window's outer width; runs
    // before the window is first shown.
    void Form_Load();
    void CMD_1_click();
    // The help window F1 opened here, if any.
    HelpWindow* help_window() const { return help_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::function<void()> show_main_;
    QLabel* pic1_;
    QPushButton* cmd_1_;
    bool main_shown_ = false;
    // A window of its own: it may stay open beside the main window after OK.
    std::unique_ptr<HelpWindow> help_;
};

}  // namespace tolvane
