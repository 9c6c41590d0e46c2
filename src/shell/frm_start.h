#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace tolvane {

// frm_start: the title window shown at start. OK runs `show_main`, which
// loads and shows the main window, and then closes this window; closing it
// any other way ends the program before anything is read, written or opened.
class FrmStart final : public QWidget {
  public:
    explicit FrmStart(std::function<void()> show_main);

    // Centres the picture and the button on the window's outer width; runs
    // before the window is first shown.
    void Form_Load();
    void CMD_1_click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::function<void()> show_main_;
    QLabel* pic1_;
    QPushButton* cmd_1_;
    bool main_shown_ = false;
};

}  // namespace tolvane
