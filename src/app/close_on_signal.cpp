#include "app/close_on_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace tolvane {
namespace {

int g_pipe[2] = {-1, -1};
// Signals may land on any thread (the port's reader, a send's worker).
std::atomic<bool> g_received{false};
static_assert(std::atomic<bool>::is_always_lock_free);
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void on_close_signal(int sig) {
    const int saved = errno;
    g_received.store(true);
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CloseOnSignal::CloseOnSignal(std::function<void()> close, std::function<bool()> quit)
    : close_(std::move(close)), quit_(std::move(quit)) {
    if (quit_) QCoreApplication::instance()->installEventFilter(this);
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        // Signals that came together close once.
        if (g_received.exchange(false) && close_) close_();
    });
    struct sigaction sa {};
    sa.sa_handler = on_close_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

bool CloseOnSignal::eventFilter(QObject* target, QEvent* event) {
    // The session manager's "die" reaches the application as a Quit event.
    if (target == QCoreApplication::instance() && event->type() == QEvent::Quit && quit_())
        return true;
    return false;
}

CloseOnSignal::~CloseOnSignal() {
    for (const int sig : kSignals)
        std::signal(sig, SIG_DFL);
    delete notifier_;
    if (g_pipe[0] >= 0) ::close(g_pipe[0]);
    if (g_pipe[1] >= 0) ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    g_received.store(false);
}

}  // namespace tolvane
