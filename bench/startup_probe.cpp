// startup_probe PROGRAM WORKDIR: starts the program once in WORKDIR on
// $DISPLAY (where a window manager must run), presses Return in its title
// window and prints one line:
//   TITLE_MS OK_MS HWM_KB
// TITLE_MS  start of the process → its first window viewable
// OK_MS     Return sent (xdotool, a few ms of its own included) → the window
//           "KLD-350 Polling Utility V1.24" viewable
// HWM_KB    the process's peak resident set (VmHWM) one second after that, so
//           that work the window still does once shown is counted
// The program is then ended with SIGTERM. Exit status 1 with a message when
// a window does not come within 30 s or the program ends early.
//
// The windows are watched through the window manager's client list on the
// root window: every change of it wakes the probe at once, and it looks again
// every 5 ms in any case.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(30);
constexpr const char* kMainTitle = "KLD-350 Polling Utility V1.24";

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "startup_probe: %s\n", message.c_str());
    std::exit(1);
}

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

class X {
  public:
    X() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) die("cannot connect to the X display");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        client_list_ = atom("_NET_CLIENT_LIST");
        active_ = atom("_NET_ACTIVE_WINDOW");
        wm_pid_ = atom("_NET_WM_PID");
        wm_name_ = atom("_NET_WM_NAME");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }
    ~X() { xcb_disconnect(c_); }

    // Waits until `found` gives a window, for at most kTimeout, or until the
    // process `pid` ends.
    xcb_window_t wait_for(const char* what, pid_t pid,
                          const std::function<xcb_window_t()>& found) {
        const auto deadline = Clock::now() + kTimeout;
        while (true) {
            if (xcb_window_t w = found()) return w;
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid)
                die(std::string("the program ended before ") + what);
            if (Clock::now() > deadline) die(std::string("no ") + what + " within 30 s");
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&fd, 1, 5);
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_))
                std::free(e);
            if (xcb_connection_has_error(c_)) die("lost the X display");
        }
    }

    // The viewable managed window of `pid`, with exactly `title` when given.
    xcb_window_t window_of(pid_t pid, const char* title = nullptr) {
        for (xcb_window_t w : windows(root_, client_list_)) {
            auto p = cardinals(w, wm_pid_);
            if (p.empty() || static_cast<pid_t>(p[0]) != pid) continue;
            auto* attr = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
            const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attr);
            if (!viewable) continue;
            if (title && text(w, wm_name_) != title) continue;
            return w;
        }
        return XCB_WINDOW_NONE;
    }

    bool active(xcb_window_t w) {
        auto a = windows(root_, active_);
        return !a.empty() && a[0] == w;
    }

  private:
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        if (!r) die(std::string("no atom ") + name);
        xcb_atom_t a = r->atom;
        std::free(r);
        return a;
    }

    std::string property(xcb_window_t w, xcb_atom_t prop) {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
        if (!r) return {};
        std::string bytes(static_cast<const char*>(xcb_get_property_value(r)),
                          static_cast<size_t>(xcb_get_property_value_length(r)));
        std::free(r);
        return bytes;
    }

    std::vector<uint32_t> cardinals(xcb_window_t w, xcb_atom_t prop) {
        std::string bytes = property(w, prop);
        std::vector<uint32_t> v(bytes.size() / 4);
        std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    }
    std::vector<xcb_window_t> windows(xcb_window_t w, xcb_atom_t prop) { return cardinals(w, prop); }
    std::string text(xcb_window_t w, xcb_atom_t prop) { return property(w, prop); }

    xcb_connection_t* c_;
    xcb_window_t root_;
    xcb_atom_t client_list_, active_, wm_pid_, wm_name_;
};

long vm_hwm_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void press_return() {
    pid_t p = ::fork();
    if (p == 0) {
        ::execlp("xdotool", "xdotool", "key", "Return", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (p < 0 || ::waitpid(p, &status, 0) != p || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die("xdotool key Return failed");
}

void end(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        ::usleep(50'000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM WORKDIR\n");
        return 2;
    }
    X x;

    const auto started = Clock::now();
    pid_t pid = ::fork();
    if (pid < 0) die(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        if (::chdir(argv[2]) != 0) ::_exit(126);
        ::execl(argv[1], argv[1], static_cast<char*>(nullptr));
        ::_exit(127);
    }

    xcb_window_t title = x.wait_for("title window", pid, [&] { return x.window_of(pid); });
    const auto title_shown = Clock::now();
    x.wait_for("focus on the title window", pid, [&] { return x.active(title) ? title : 0; });

    const auto pressed = Clock::now();
    press_return();
    x.wait_for("main window", pid, [&] { return x.window_of(pid, kMainTitle); });
    const auto main_shown = Clock::now();

    ::sleep(1);
    const long hwm = vm_hwm_kb(pid);
    end(pid);
    std::printf("%.1f %.1f %ld\n", ms_between(started, title_shown), ms_between(pressed, main_shown),
                hwm);
    return 0;
}
