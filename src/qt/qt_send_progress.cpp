#include "qt/qt_send_progress.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWindow>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A call that answers this fast is waited for without the event loop.
constexpr auto kQuickCall = 10ms;
constexpr auto kShowAfter = 500ms;
constexpr int kPollMs = 5;

// Drops mouse and keyboard input to every window but the progress window.
class InputGate final : public QObject {
  public:
    explicit InputGate(QPointer<QProgressDialog>& open) : open_(open) {
        qApp->installEventFilter(this);
    }
    ~InputGate() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                break;
            default:
                return false;
        }
        if (!open_ || !open_->isVisible()) return true;
        // Input reaches the window first, then its widget.
        if (auto* window = qobject_cast<QWindow*>(target)) return window != open_->windowHandle();
        auto* widget = qobject_cast<QWidget*>(target);
        return !(widget && (widget == open_.data() || open_->isAncestorOf(widget)));
    }

  private:
    QPointer<QProgressDialog>& open_;
};

}  // namespace

QtSendProgress::QtSendProgress(QWidget* parent) : parent_(parent) {}

QtSendProgress::~QtSendProgress() {
    delete dialog_.data();
}

Waiting::Outcome QtSendProgress::wait(const std::shared_future<void>& job,
                                      Clock::time_point deadline, const std::string& what,
                                      bool cancellable) {
    if (!errand_) {
        errand_ = true;
        errand_start_ = Clock::now();
    }
    if (job.wait_for(kQuickCall) == std::future_status::ready) return Outcome::finished;

    waiting_ = true;
    InputGate gate(dialog_);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kPollMs);
    Outcome outcome = Outcome::finished;
    bool over = false;
    auto check = [&] {
        if (over) return;
        if (job.wait_for(0s) == std::future_status::ready) {
            outcome = Outcome::finished;
        } else if (cancelled_ && cancellable) {
            outcome = Outcome::cancelled;
        } else if (Clock::now() >= deadline) {
            outcome = Outcome::deadline_passed;
        } else {
            if (Clock::now() - errand_start_ >= kShowAfter) {
                if (!dialog_) {
                    dialog_ = new QProgressDialog(parent_);
                    dialog_->setObjectName("send_progress");
                    dialog_->setWindowTitle("tolvane");
                    // Not modal: a close request must still reach the main window (it
                    // ends the send, then closes); the input gate keeps
                    // everything else out.
                    dialog_->setWindowModality(Qt::NonModal);
                    dialog_->setRange(0, 0);
                    dialog_->setMinimumDuration(0);
                    dialog_->setAutoReset(false);
                    dialog_->setAutoClose(false);
                    QObject::connect(dialog_, &QProgressDialog::canceled, dialog_,
                                     [this] { cancel(); });
                }
                const QString text = QString::fromStdString(what);
                if (dialog_->labelText() != text) dialog_->setLabelText(text);
                if (!dialog_->isVisible()) dialog_->show();
            }
            return;
        }
        over = true;
        loop.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start();
    check();
    if (!over) loop.exec();
    // Ended from outside (the application quits): the job may still run, and
    // only a cancelled wait lets the caller break it off without waiting.
    if (!over) outcome = Outcome::cancelled;
    waiting_ = false;
    return outcome;
}

void QtSendProgress::end() {
    errand_ = false;
    if (dialog_) dialog_->hide();
}

void QtSendProgress::send_over() {
    end();
    cancelled_ = false;
}

QProgressDialog* QtSendProgress::window() const {
    return dialog_.data();
}

void QtSendProgress::cancel() {
    cancelled_ = true;
}

}  // namespace tolvane
