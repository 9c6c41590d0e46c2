// kld350-sim: plays the KLD-350 on a serial line, so the program can be tried
// and tested without the instrument.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "kld350_sim.h"

namespace {

constexpr const char* kUsage = R"(Usage: kld350-sim [OPTION]...
Sends blocks as the KLD-350 instrument does: a lead byte, one byte pair per
value, 0xFF, at 9600 baud.

Where the blocks go (default: a new pseudo-terminal):
  --link PATH      also make PATH a symbolic link to the pseudo-terminal, so it
                   has a fixed name; removed again on exit (also on Ctrl-C or
                   SIGTERM). An old symbolic link there is replaced; any other
                   file there is an error.
  --device PATH    write to this device instead, e.g. a real serial port or one
                   end of a null-modem loopback; a terminal device is set to
                   9600 baud, 8N1, raw.
  The path written to (the pseudo-terminal's, or the device's) is printed on
  stdout as one line before anything is sent.

What each block holds (default: --random 80):
  --values LIST    these values, comma-separated: 1.23,45.6,700,0.01,3.45E+15
                   (0, or 0.01 to 9.99E+15; rounded half-up to 3 digits).
                   At most 127.
  --random N       N random values (0 to 127), new ones in every block: any
                   exponent up to 15, so mostly huge numbers.
  --gauge N        N readings (0 to 127) as a dimensional gauge shows them, in
                   millimetres with three significant digits: each block is a
                   batch of parts of one size, 6.35, 12.7, 25.4, 50.8 and
                   2.50 mm in turn, each part off by about one step of the
                   last digit (25.4 mm parts read 25.3, 25.4, 25.5).
  --size MM        with --gauge: every block measures parts of this size
                   (0.01 to 9990 mm), e.g. --size 25.4.
  --drift MM       with --gauge: the parts move this far from their size with
                   each block, as a wearing tool makes them (block k reads
                   size + (k - 1) x MM; negative for parts that shrink), so
                   that a control chart soon sees a trend, e.g. --drift 0.005.
  --seed N         seed for --random and --gauge, to repeat a run
                   (default: random).
  --lead HEX       lead byte, e.g. 01 (the default) or 00.
  --raw HEX        these bytes exactly, instead of a block: noise, a missing
                   terminator, two blocks in one go ("01 21 23 FF 01 05 00 FF").
                   Pairs of hex digits, blanks or commas between them allowed.

When (default: --on-enter):
  --once           one block, then exit.
  --every S        a block every S seconds (fractions allowed, e.g. 0.5).
  --on-enter       a block each time Enter is pressed; end of input (Ctrl-D)
                   ends the program.
  --count K        exit after K blocks.
  --delay S        wait S seconds before the first block.
  On a pseudo-terminal, a block is held back until some program has the
  terminal open, and is sent 0.2 s after it opened it (time to set the line
  up), so that no block goes unheard.
  --no-wait        send even when no program has the pseudo-terminal open;
                   Linux then keeps the bytes for whoever opens it next.
  --linger S       after the last block, keep the pseudo-terminal for up to S
                   seconds (default 1) while a program has it open: closing it
                   would drop what that program has not read yet.

Line noise (to try a receiver):
  --noise          one random byte 0.1 s before each block, as a plug-in
                   glitch or a noisy line gives.
  --crlf           CR LF right after each block's terminator, as some
                   adapters and line printers' settings add.

How:
  --burst          each block in one write, without 9600-baud pacing.
  --chunk N        at 9600 baud, but N bytes in each write, as a USB adapter
                   hands them on (default 1: each byte alone, as a UART does).
  --quiet          no line on stderr per block sent (by default the line ends
                   with the values sent, each as d1.d2d3e<exponent>).
  --help           this text.

Bytes the other side sends are read and shown on stderr (unless --quiet).
Exit status: 0 done, 1 a block could not be written or the port could not be
set up, 2 bad arguments. Ctrl-C or SIGTERM ends the program cleanly.

Example: a block of 20 gauge readings every 3 seconds on /tmp/kld350, which
the program uses as its port 1 when started with TOLVANE_COM1=/tmp/kld350 (or
with 1=/tmp/kld350 under [ports] in ~/.config/tolvane/tolvane.conf):
  kld350-sim --link /tmp/kld350 --every 3 --gauge 20
)";

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;
// The link to remove if a second signal cuts the clean exit short.
char g_link_path[PATH_MAX] = {};

extern "C" void on_signal(int sig) {
    if (g_stop) {
        if (g_link_path[0]) ::unlink(g_link_path);
        ::_exit(128 + sig);
    }
    g_stop = 1;
}

enum class Mode { kOnEnter, kOnce, kEvery };

struct Options {
    std::string link;
    std::string device;
    std::vector<kld350::Reading> values;
    bool have_values = false;
    int random = -1;
    int gauge = -1;
    kld350::GaugeParts parts;
    std::optional<uint64_t> seed;
    std::optional<uint8_t> lead;
    std::optional<std::string> raw;
    std::optional<Mode> mode;
    double every = 0;
    long count = 0;  // 0: no limit
    double delay = 0;
    double linger = 1;
    bool wait_reader = true;
    bool burst = false;
    long chunk = 1;
    bool quiet = false;
    bool noise = false;
    bool crlf = false;
};

struct UsageError {
    std::string message;
};

std::string hex_text(std::string_view bytes) {
    std::string s;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", s.empty() ? "" : " ", c);
        s += buf;
    }
    return s;
}

double seconds_arg(const std::string& opt, const std::string& text, bool zero_ok) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v < 0 ||
        (v == 0 && !zero_ok) || v > 1e6)
        throw UsageError{opt + ": '" + text + "' is not a number of seconds" +
                         (zero_ok ? "" : " above 0")};
    return v;
}

std::string shortest(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

double millimetres_arg(const std::string& opt, const std::string& text, double lo, double hi) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v < lo || v > hi)
        throw UsageError{opt + ": '" + text + "' is not a number of millimetres from " +
                         shortest(lo) + " to " + shortest(hi)};
    return v;
}

long integer_arg(const std::string& opt, const std::string& text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        throw UsageError{opt + ": '" + text + "' is not a whole number from " + std::to_string(lo) +
                         " to " + std::to_string(hi)};
    return v;
}

std::vector<kld350::Reading> values_arg(const std::string& text) {
    std::vector<kld350::Reading> values;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma - start);
        auto r = kld350::reading_from_text(item);
        if (!r)
            throw UsageError{"--values: '" + item +
                             "' is not a value the instrument can send (0, or 0.01 to 9.99E+15)"};
        values.push_back(*r);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values.size() > static_cast<size_t>(kld350::kMaxValuesPerBlock))
        throw UsageError{"--values: " + std::to_string(values.size()) +
                         " values; a block holds at most 127"};
    return values;
}

void set_mode(Options& o, Mode m, const std::string& opt) {
    if (o.mode && *o.mode != m)
        throw UsageError{opt + ": only one of --once, --every and --on-enter"};
    o.mode = m;
}

Options parse(int argc, char** argv) {
    Options o;
    bool have_count = false;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        std::optional<std::string> inline_value;
        if (size_t eq = opt.find('='); opt.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = opt.substr(eq + 1);
            opt.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= argc) throw UsageError{opt + " needs a value"};
            return argv[++i];
        };
        auto flag = [&] {
            if (inline_value) throw UsageError{opt + " takes no value"};
        };

        if (opt == "--help" || opt == "-h") {
            flag();
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (opt == "--link") {
            o.link = value();
            if (o.link.empty()) throw UsageError{"--link needs a path"};
            if (o.link.size() >= sizeof g_link_path) throw UsageError{"--link: path too long"};
        } else if (opt == "--device") {
            o.device = value();
            if (o.device.empty()) throw UsageError{"--device needs a path"};
        } else if (opt == "--values") {
            o.values = values_arg(value());
            o.have_values = true;
        } else if (opt == "--random") {
            o.random = static_cast<int>(integer_arg(opt, value(), 0, kld350::kMaxValuesPerBlock));
        } else if (opt == "--gauge") {
            o.gauge = static_cast<int>(integer_arg(opt, value(), 0, kld350::kMaxValuesPerBlock));
        } else if (opt == "--size") {
            o.parts.size = millimetres_arg(opt, value(), 0.01, 9990);
        } else if (opt == "--drift") {
            o.parts.drift = millimetres_arg(opt, value(), -1000, 1000);
        } else if (opt == "--seed") {
            o.seed = static_cast<uint64_t>(integer_arg(opt, value(), 0, LONG_MAX));
        } else if (opt == "--lead") {
            std::string text = value();
            auto b = kld350::bytes_from_hex(text);
            if (!b || b->size() != 1)
                throw UsageError{"--lead: '" + text + "' is not one byte in hex (like 01)"};
            o.lead = static_cast<uint8_t>((*b)[0]);
        } else if (opt == "--raw") {
            std::string text = value();
            auto b = kld350::bytes_from_hex(text);
            if (!b || b->empty())
                throw UsageError{"--raw: '" + text + "' is not bytes in hex (like 01 21 23 FF)"};
            o.raw = *b;
        } else if (opt == "--once") {
            flag();
            set_mode(o, Mode::kOnce, opt);
        } else if (opt == "--every") {
            o.every = seconds_arg(opt, value(), false);
            set_mode(o, Mode::kEvery, opt);
        } else if (opt == "--on-enter") {
            flag();
            set_mode(o, Mode::kOnEnter, opt);
        } else if (opt == "--count") {
            o.count = integer_arg(opt, value(), 1, LONG_MAX);
            have_count = true;
        } else if (opt == "--delay") {
            o.delay = seconds_arg(opt, value(), true);
        } else if (opt == "--linger") {
            o.linger = seconds_arg(opt, value(), true);
        } else if (opt == "--no-wait") {
            flag();
            o.wait_reader = false;
        } else if (opt == "--noise") {
            flag();
            o.noise = true;
        } else if (opt == "--crlf") {
            flag();
            o.crlf = true;
        } else if (opt == "--burst") {
            flag();
            o.burst = true;
        } else if (opt == "--chunk") {
            o.chunk = integer_arg(opt, value(), 1, 4096);
        } else if (opt == "--quiet") {
            flag();
            o.quiet = true;
        } else {
            throw UsageError{"unknown argument '" + std::string(argv[i]) + "'"};
        }
    }

    if ((o.have_values ? 1 : 0) + (o.random >= 0 ? 1 : 0) + (o.gauge >= 0 ? 1 : 0) +
            (o.raw ? 1 : 0) > 1)
        throw UsageError{"only one of --values, --random, --gauge and --raw"};
    if (o.gauge < 0 && (o.parts.size || o.parts.drift != 0))
        throw UsageError{"--size and --drift are for --gauge"};
    if (o.raw && o.lead) throw UsageError{"--lead has no meaning with --raw"};
    if (o.seed && o.random < 0 && o.gauge < 0 && (o.have_values || o.raw))
        throw UsageError{"--seed has no meaning without --random or --gauge"};
    if (!o.link.empty() && !o.device.empty())
        throw UsageError{"--link makes a name for the pseudo-terminal; not with --device"};
    if (!o.device.empty() && !o.wait_reader)
        throw UsageError{"--no-wait is for the pseudo-terminal; not with --device"};
    if (!o.have_values && !o.raw && o.random < 0 && o.gauge < 0) o.random = 80;
    if (!o.mode) o.mode = Mode::kOnEnter;
    if (*o.mode == Mode::kOnce) {
        if (have_count && o.count != 1)
            throw UsageError{"--once sends one block; --count says more"};
        o.count = 1;
    }
    return o;
}

class Simulator {
  public:
    explicit Simulator(Options o)
        : opt_(std::move(o)), rng_(opt_.seed ? *opt_.seed : std::random_device{}()) {}

    ~Simulator() {
        if (link_made_) remove_link();
        if (fd_ >= 0) ::close(fd_);
    }

    // Opens the pty or the device and prints the path. Returns false with a
    // message on stderr when that fails.
    bool set_up() {
        std::string path;
        if (opt_.device.empty()) {
            std::string error;
            auto pty = kld350::open_raw_pty(&error);
            if (!pty) return fail("cannot create a pseudo-terminal: " + error);
            fd_ = pty->master;
            path = pty_path_ = pty->slave_path;
            if (!opt_.link.empty() && !make_link()) return false;
        } else {
            path = opt_.device;
            if (!open_device()) return false;
        }
        // Non-blocking, so waits can also watch stdin and the clock; the
        // writer waits for room by itself.
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        return true;
    }

    int run() {
        Clock::time_point next = Clock::now() + to_duration(opt_.delay);
        if (!pause_until(next)) return status();
        if (*opt_.mode == Mode::kOnEnter && !opt_.quiet)
            std::fprintf(stderr, "kld350-sim: press Enter to send a block, Ctrl-D to end\n");

        for (long k = 1; opt_.count == 0 || k <= opt_.count; ++k) {
            if (*opt_.mode == Mode::kOnEnter) {
                if (!wait_for_enter()) break;
            } else if (k > 1) {
                if (!pause_until(next)) break;
            }
            if (!pty_path_.empty() && opt_.wait_reader && !wait_for_reader(k == 1)) break;
            send(k);
            if (failed_) break;
            if (*opt_.mode == Mode::kEvery) {
                // On the fixed schedule, unless this block ran into the next
                // slot (it waited for a reader): then the schedule starts anew
                // from its end, rather than gluing the next block (or its
                // stray byte) to this one's last byte, which no line does.
                next += to_duration(opt_.every);
                const Clock::time_point ended = Clock::now();
                if (next < ended) next = ended + to_duration(opt_.every);
            }
        }
        if (!g_stop && !failed_) linger();
        return status();
    }

  private:
    static Clock::duration to_duration(double seconds) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    }

    int status() const { return failed_ ? 1 : 0; }

    bool fail(const std::string& message) {
        std::fprintf(stderr, "kld350-sim: %s\n", message.c_str());
        failed_ = true;
        return false;
    }

    bool make_link() {
        const char* link = opt_.link.c_str();
        struct stat st {};
        if (::lstat(link, &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return fail("--link: " + opt_.link + " exists and is not a symbolic link");
            ::unlink(link);  // left over from an earlier run
        }
        if (::symlink(pty_path_.c_str(), link) != 0)
            return fail("--link: cannot create " + opt_.link + ": " + std::strerror(errno));
        std::snprintf(g_link_path, sizeof g_link_path, "%s", link);
        link_made_ = true;
        return true;
    }

    // Removes the link unless someone has since put something else there.
    void remove_link() {
        char target[PATH_MAX];
        ssize_t n = ::readlink(opt_.link.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string_view(target, static_cast<size_t>(n)) == pty_path_)
            ::unlink(opt_.link.c_str());
        g_link_path[0] = '\0';
    }

    bool open_device() {
        // O_NONBLOCK: a port without carrier would block the open.
        fd_ = ::open(opt_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return fail("cannot open " + opt_.device + ": " + std::strerror(errno));
        if (!::isatty(fd_)) return true;  // a file or a FIFO takes the bytes as they are
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0)
            return fail("cannot read the line settings of " + opt_.device + ": " +
                        std::strerror(errno));
        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
            return fail("cannot set " + opt_.device + " to 9600 8N1: " + std::strerror(errno));
        return true;
    }

    // Reads and shows what the other side sent, so it never fills the line.
    void take_incoming() {
        char buf[256];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
            if (!opt_.quiet)
                std::fprintf(stderr, "kld350-sim: received %zd bytes: %s\n", n,
                             hex_text(std::string_view(buf, static_cast<size_t>(n))).c_str());
        }
    }

    // Waits until `deadline` or a stop signal, and until then for input on
    // `also` (-1: none). Returns false on a stop, or when `also` became readable
    // (then *ready is set).
    bool pause_until(Clock::time_point deadline, int also = -1, bool* ready = nullptr) {
        while (!g_stop) {
            auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) return true;
            pollfd fds[2] = {{fd_, POLLIN, 0}, {also, POLLIN, 0}};
            // With nobody on the slave the master reports a hang-up without
            // end; then it is not worth watching until the next round.
            if (pty_hung_up_) fds[0].fd = -1;
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            int timeout = static_cast<int>(std::min<long long>(ms, pty_hung_up_ ? 20 : 1000));
            int n = ::poll(fds, 2, timeout);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(std::string("poll: ") + std::strerror(errno));
                return false;
            }
            pty_hung_up_ = !pty_path_.empty() && !kld350::pty_slave_open(fd_);
            if (fds[0].revents & POLLIN) take_incoming();
            if (also >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                if (ready) *ready = true;
                return false;
            }
        }
        return false;
    }

    // One Enter (one line) per block; a paste of several lines sends several.
    bool wait_for_enter() {
        while (pending_enters_ == 0) {
            bool ready = false;
            pause_until(Clock::time_point::max(), STDIN_FILENO, &ready);
            if (g_stop) return false;
            if (!ready) return false;
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;  // end of input
            pending_enters_ += std::count(buf, buf + n, '\n');
        }
        --pending_enters_;
        return true;
    }

    // Before the first block the reader may have opened the line only a
    // moment ago, as after a wait; it gets time to set the line up.
    bool wait_for_reader(bool first) {
        bool told = false;
        bool settle = first;
        while (true) {
            if (kld350::pty_slave_open(fd_)) {
                pty_hung_up_ = false;
                if (!settle) return true;
                if (!pause_until(Clock::now() + std::chrono::milliseconds(200))) return false;
                if (kld350::pty_slave_open(fd_)) return true;
            }
            if (!told && !opt_.quiet)
                std::fprintf(stderr, "kld350-sim: waiting for a program to open %s\n",
                             pty_path_.c_str());
            told = settle = true;
            pty_hung_up_ = true;
            if (!pause_until(Clock::now() + std::chrono::milliseconds(20))) return false;
        }
    }

    // Closing the master hangs the line up, and Linux then drops what the
    // reader has not read yet; so the line stays a while after the last block.
    void linger() {
        if (pty_path_.empty()) {
            if (::isatty(fd_)) ::tcdrain(fd_);
            return;
        }
        const auto until = Clock::now() + to_duration(opt_.linger);
        while (kld350::pty_slave_open(fd_) && Clock::now() < until) {
            if (!pause_until(std::min(until, Clock::now() + std::chrono::milliseconds(20)))) break;
        }
    }

    void send(long k) {
        std::string bytes;
        int values = -1;
        std::vector<kld350::Reading> sent;
        if (opt_.raw) {
            bytes = *opt_.raw;
        } else {
            std::vector<kld350::Reading> readings = opt_.values;
            if (opt_.random >= 0) {
                readings.resize(static_cast<size_t>(opt_.random));
                for (auto& r : readings)
                    r = kld350::random_reading(rng_);
            }
            if (opt_.gauge >= 0) readings = kld350::gauge_block(opt_.gauge, k, rng_, opt_.parts);
            values = static_cast<int>(readings.size());
            sent = readings;
            bytes = kld350::encode_block(readings, opt_.lead.value_or(kld350::kDefaultLead));
        }

        if (opt_.crlf) bytes += "\r\n";

        size_t written = 0;
        auto per_byte = opt_.burst ? std::chrono::nanoseconds::zero() : kld350::kByteTime9600;
        if (opt_.noise) {
            const std::string stray(1, static_cast<char>(rng_() & 0xFF));
            if (!kld350::write_paced(fd_, stray, per_byte) ||
                !pause_until(Clock::now() + std::chrono::milliseconds(100))) {
                if (!g_stop) fail("block " + std::to_string(k) + ": noise byte: " + std::strerror(errno));
                return;
            }
        }
        if (!kld350::write_paced(fd_, bytes, per_byte, &written, size_t(opt_.chunk))) {
            fail("block " + std::to_string(k) + ": write failed after " + std::to_string(written) +
                 " of " + std::to_string(bytes.size()) + " bytes: " + std::strerror(errno));
            return;
        }
        if (opt_.quiet) return;
        if (values >= 0) {
            std::fprintf(stderr, "sent block %ld: %d values, %zu bytes:", k, values, bytes.size());
            for (const auto& r : sent)
                std::fprintf(stderr, " %d.%d%de%d", r.d1, r.d2, r.d3, r.exponent);
            std::fputc('\n', stderr);
        } else
            std::fprintf(stderr, "sent block %ld: raw, %zu bytes\n", k, bytes.size());
    }

    Options opt_;
    std::mt19937_64 rng_;
    int fd_ = -1;
    std::string pty_path_;  // empty when writing to a device
    bool link_made_ = false;
    bool pty_hung_up_ = false;
    bool failed_ = false;
    long pending_enters_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kld350-sim: %s\nTry 'kld350-sim --help'.\n", e.message.c_str());
        return 2;
    }

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a signal ends every wait
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a FIFO's reader gone shows as EPIPE

    Simulator sim(std::move(options));
    if (!sim.set_up()) return 1;
    return sim.run();
}
