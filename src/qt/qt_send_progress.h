#pragma once

#include <QPointer>

#include "platform/waiting.h"

class QProgressDialog;
class QWidget;

namespace tolvane {

// Waits in a nested event loop: the windows repaint, timers run and the
// serial port is read, while mouse and keyboard input to the program's other
// windows is dropped (one command at a time). After half a second of an
// errand a small modal window says what the program waits for, with Cancel.
class QtSendProgress final : public Waiting {
  public:
    explicit QtSendProgress(QWidget* parent);
    ~QtSendProgress() override;
    QtSendProgress(const QtSendProgress&) = delete;
    QtSendProgress& operator=(const QtSendProgress&) = delete;

    Outcome wait(const std::shared_future<void>& job,
                 std::chrono::steady_clock::time_point deadline, const std::string& what,
                 bool cancellable = true) override;
    void end() override;
    bool cancelled() const override { return cancelled_; }

    // As the Cancel button: the wait under way, if any, ends at once, and
    // so does every later one until send_over().
    void cancel();
    // The whole send is over (all its errands): a Cancel ends with it.
    void send_over();
    bool waiting() const { return waiting_; }
    // The progress window, once it was made (for tests).
    QProgressDialog* window() const;

  private:
    QWidget* parent_;
    QPointer<QProgressDialog> dialog_;
    bool waiting_ = false;
    bool cancelled_ = false;
    bool errand_ = false;
    std::chrono::steady_clock::time_point errand_start_{};
};

}  // namespace tolvane
