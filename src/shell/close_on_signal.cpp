#include "shell/close_on_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace tolvane {
namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void on_close_signal(int sig) {
    const int saved = errno;
    g_received = 1;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CloseOnSignal::CloseOnSignal(std::function<void()> close) : close_(std::move(close)) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        if (close_) close_();
    });
    struct sigaction sa {};
    sa.sa_handler = on_close_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

bool CloseOnSignal::received() {
    return g_received != 0;
}

CloseOnSignal::~CloseOnSignal() {
    for (const int sig : kSignals)
        std::signal(sig, SIG_DFL);
    delete notifier_;
    if (g_pipe[0] >= 0) ::close(g_pipe[0]);
    if (g_pipe[1] >= 0) ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace tolvane
