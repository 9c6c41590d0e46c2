#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tolvane {

// SIGTERM, SIGHUP and SIGINT (a shutdown, a logout, kill, Ctrl-C) call
// `close` from the event loop: the handler only writes to a pipe, since
// nothing else it could do is safe inside a signal handler. A second signal
// of the same kind ends the program at once, should closing hang. The
// session manager's request to quit (a logout) calls `quit`, which says
// whether it took the request; if not, Qt handles it as usual.
class CloseOnSignal : public QObject {
  public:
    explicit CloseOnSignal(std::function<void()> close, std::function<bool()> quit = nullptr);
    ~CloseOnSignal() override;

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    std::function<void()> close_;
    std::function<bool()> quit_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tolvane
