#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tolvane {

// SIGTERM, SIGHUP and SIGINT (a shutdown, a logout, kill, Ctrl-C) call
// `close` from the event loop: the handler only writes to a pipe, since
// nothing else it could do is safe inside a signal handler. A second signal
// of the same kind ends the program at once, should closing hang.
class CloseOnSignal : public QObject {
  public:
    explicit CloseOnSignal(std::function<void()> close);
    ~CloseOnSignal() override;

    // A signal came: the close it asks for has nobody at the screen.
    static bool received();

  private:
    std::function<void()> close_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tolvane
