#include "kld350_sim.h"

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <ctime>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kld350 {

bool is_valid(const Reading& r) {
    return r.exponent <= 15 && r.d1 <= 9 && r.d2 <= 9 && r.d3 <= 9;
}

double value_of(const Reading& r) {
    return (r.d1 * 100 + r.d2 * 10 + r.d3) / 100.0 * std::pow(10.0, r.exponent);
}

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Reads a run of digits into `digits`; returns how many there were.
size_t take_digits(std::string_view& s, std::string& digits) {
    size_t n = 0;
    while (n < s.size() && is_digit(s[n]))
        digits.push_back(s[n++]);
    s.remove_prefix(n);
    return n;
}

}  // namespace

std::optional<Reading> reading_from_text(std::string_view decimal) {
    std::string_view s = trim(decimal);

    // Mantissa: digits, optionally a point and more digits; at least one digit.
    std::string digits;
    size_t int_len = take_digits(s, digits);
    size_t frac_len = 0;
    if (!s.empty() && s.front() == '.') {
        s.remove_prefix(1);
        frac_len = take_digits(s, digits);
    }
    if (int_len + frac_len == 0) return std::nullopt;

    // Exponent. Its size is capped: far beyond the range either way it is
    // refused anyway, and the cap keeps the arithmetic below from overflowing.
    int64_t exp10 = 0;
    if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
        s.remove_prefix(1);
        bool negative = false;
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
            negative = s.front() == '-';
            s.remove_prefix(1);
        }
        std::string exp_digits;
        if (take_digits(s, exp_digits) == 0) return std::nullopt;
        for (char c : exp_digits)
            exp10 = std::min<int64_t>(exp10 * 10 + (c - '0'), 1'000'000);
        if (negative) exp10 = -exp10;
    }
    if (!s.empty()) return std::nullopt;

    size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return Reading{0, 0, 0, 0};
    std::string_view sig = std::string_view(digits).substr(first);
    // Power of ten of the first significant digit.
    int64_t top =
        static_cast<int64_t>(digits.size() - first) - 1 - static_cast<int64_t>(frac_len) + exp10;

    if (top < -2) return std::nullopt;  // below 0.01
    if (top > 15) return std::nullopt;
    if (top == 15) {  // up to 9.99e15 and no further
        std::string lead3(sig.substr(0, 3));
        lead3.resize(3, '0');
        if (lead3 == "999" && sig.find_first_not_of('0', 3) != std::string_view::npos)
            return std::nullopt;
    }

    // The shown digits are those at powers e, e-1, e-2; below 1 they are the
    // units, tenths and hundredths.
    int64_t e = std::max<int64_t>(top, 0);
    auto digit_at = [&](int64_t power) -> int {
        int64_t i = top - power;
        return i >= 0 && i < static_cast<int64_t>(sig.size()) ? sig[i] - '0' : 0;
    };
    int shown = digit_at(e) * 100 + digit_at(e - 1) * 10 + digit_at(e - 2);
    if (digit_at(e - 3) >= 5) ++shown;
    if (shown == 1000) {  // 9.995 -> 10.0; cannot happen at e = 15 (checked above)
        shown = 100;
        ++e;
    }
    return Reading{static_cast<uint8_t>(e), static_cast<uint8_t>(shown / 100),
                   static_cast<uint8_t>(shown / 10 % 10), static_cast<uint8_t>(shown % 10)};
}

Reading random_reading(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> exponent(0, 15);
    std::uniform_int_distribution<int> digit(0, 9);
    Reading r{};
    r.exponent = static_cast<uint8_t>(exponent(rng));
    r.d1 = static_cast<uint8_t>(digit(rng));
    r.d2 = static_cast<uint8_t>(digit(rng));
    r.d3 = static_cast<uint8_t>(digit(rng));
    return r;
}

std::vector<Reading> gauge_block(int count, long k, std::mt19937_64& rng, const GaugeParts& parts) {
    constexpr long sizes = std::size(kGaugeSizes);
    const double size = parts.size.value_or(kGaugeSizes[((k - 1) % sizes + sizes) % sizes]);
    // One step of the third significant digit of the size, not of the
    // drifted value: the spread is the process's, whatever the wear.
    const double step = std::pow(10.0, std::floor(std::log10(size)) - 2);
    const double nominal = size + double(std::max(k - 1, 0L)) * parts.drift;
    std::normal_distribution<double> spread(0.0, 0.8 * step);
    std::vector<Reading> readings;
    for (int i = 0; i < count; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6f", std::clamp(nominal + spread(rng), step, 9.99e15));
        readings.push_back(*reading_from_text(text));
    }
    return readings;
}

std::string encode_block(std::span<const Reading> readings, uint8_t lead) {
    std::string block;
    block.reserve(readings.size() * 2 + 2);
    block.push_back(static_cast<char>(lead));
    for (const Reading& r : readings) {
        if (!is_valid(r)) throw std::invalid_argument("kld350::encode_block: invalid reading");
        block.push_back(static_cast<char>(r.exponent << 4 | r.d1));
        block.push_back(static_cast<char>(r.d2 << 4 | r.d3));
    }
    block.push_back(static_cast<char>(kTerminator));
    return block;
}

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_separator(char c) {
    return is_blank(c) || c == ',' || c == '\n' || c == '\r';
}

}  // namespace

std::optional<std::string> bytes_from_hex(std::string_view hex) {
    std::string out;
    size_t i = 0;
    while (i < hex.size()) {
        if (is_separator(hex[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < hex.size() && !is_separator(hex[end]))
            ++end;
        std::string_view group = hex.substr(i, end - i);
        if (group.size() > 2 && group[0] == '0' && (group[1] == 'x' || group[1] == 'X'))
            group.remove_prefix(2);
        if (group.size() % 2 != 0) return std::nullopt;
        for (size_t k = 0; k < group.size(); k += 2) {
            int hi = hex_value(group[k]);
            int lo = hex_value(group[k + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out.push_back(static_cast<char>(hi << 4 | lo));
        }
        i = end;
    }
    return out;
}

std::optional<Pty> open_raw_pty(std::string* error) {
    auto fail = [&](const char* what) -> std::optional<Pty> {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        return std::nullopt;
    };

    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    raw.c_cflag |= CREAD | CLOCAL;
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return fail("openpty");

    char name[256];
    int rc = ttyname_r(slave, name, sizeof name);
    if (rc != 0) {
        errno = rc;
        ::close(slave);
        ::close(master);
        return fail("ttyname_r");
    }
    // The settings stay with the pty while the master is open; the slave is
    // for the reader to open.
    ::close(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    return Pty{master, name};
}

bool pty_slave_open(int master) {
    pollfd p{master, POLLOUT, 0};
    while (::poll(&p, 1, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return (p.revents & POLLHUP) == 0;
}

namespace {

using Clock = std::chrono::steady_clock;

// Sleeps until `when` on the clock steady_clock reads (CLOCK_MONOTONIC).
void sleep_until(Clock::time_point when) {
    auto since_epoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(since_epoch.count() / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(since_epoch.count() % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Writes all of `bytes`, waiting while a non-blocking fd is full.
bool write_all(int fd, std::string_view bytes, std::size_t& written) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, -1) < 0 && errno != EINTR) return false;
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
        written += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool write_paced(int fd, std::string_view bytes, std::chrono::nanoseconds per_byte) {
    return write_paced(fd, bytes, per_byte, nullptr);
}

bool write_paced(int fd, std::string_view bytes, std::chrono::nanoseconds per_byte,
                 std::size_t* written, std::size_t chunk) {
    chunk = std::max<std::size_t>(chunk, 1);
    std::size_t done = 0;
    bool ok = true;
    if (per_byte <= std::chrono::nanoseconds::zero()) {
        ok = write_all(fd, bytes, done);
    } else {
        const Clock::time_point start = Clock::now();
        while (ok && done < bytes.size()) {
            const std::size_t group_end = std::min(done + chunk, bytes.size());
            sleep_until(start + per_byte * static_cast<int64_t>(group_end - 1));
            // Everything already due goes out in one write, so a late wake-up
            // catches up instead of shifting the rest of the block.
            auto elapsed = Clock::now() - start;
            std::size_t due = static_cast<std::size_t>(elapsed / per_byte) + 1;
            due = std::min(std::max(due / chunk * chunk, group_end), bytes.size());
            ok = write_all(fd, bytes.substr(done, due - done), done);
        }
    }
    if (written) *written = done;
    return ok;
}

}  // namespace kld350
