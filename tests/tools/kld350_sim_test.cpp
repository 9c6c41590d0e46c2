#include "kld350_sim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "fakes/bytes.h"

namespace kld350 {
namespace {

using tolvane::testing::bytes;

Reading reading(int e, int d) {
    return Reading{static_cast<uint8_t>(e), static_cast<uint8_t>(d / 100),
                   static_cast<uint8_t>(d / 10 % 10), static_cast<uint8_t>(d % 10)};
}

// Reads from fd until n bytes came, the line ends, or nothing comes for long.
std::string read_up_to(int fd, size_t n) {
    std::string got;
    char buf[4096];
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
        if (k <= 0) break;
        got.append(buf, static_cast<size_t>(k));
    }
    return got;
}

TEST(EncodeBlock, LeadPairsAndTerminator) {
    Reading a[] = {reading(2, 123), reading(0, 500), reading(15, 345)};
    EXPECT_EQ(encode_block(a), bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xF3, 0x45, 0xFF}));
    // 900 as 0.90 x 10^3, a form a receiver must take too.
    Reading b[] = {reading(2, 900), reading(0, 1), reading(1, 234), reading(3, 90)};
    EXPECT_EQ(encode_block(b, 0x7E),
              bytes({0x7E, 0x29, 0x00, 0x00, 0x01, 0x12, 0x34, 0x30, 0x90, 0xFF}));
    EXPECT_EQ(encode_block({}), bytes({0x01, 0xFF}));

    for (Reading bad : {Reading{16, 1, 0, 0}, Reading{0, 10, 0, 0}, Reading{0, 1, 0, 15}}) {
        Reading block[] = {reading(0, 100), bad};
        EXPECT_THROW(encode_block(block), std::invalid_argument);
    }
}

TEST(EncodeBlock, NoPairStartsWithTheTerminator) {
    for (int e = 0; e <= 15; ++e)
        for (int d = 0; d <= 999; ++d) {
            Reading r = reading(e, d);
            ASSERT_NE(static_cast<uint8_t>(encode_block(std::span(&r, 1))[1]), kTerminator);
        }
}

TEST(ReadingFromText, ShownAndRoundedHalfUp) {
    // clang-format off
    const std::pair<const char*, Reading> cases[] = {
        {"1.23", reading(0, 123)}, {"45.6", reading(1, 456)}, {"700", reading(2, 700)},
        {"0.01", reading(0, 1)}, {".5", reading(0, 50)}, {"3.45E+15", reading(15, 345)},
        {"3.45e15", reading(15, 345)}, {"1e-2", reading(0, 1)}, {"4500E-1", reading(2, 450)},
        {" 007. ", reading(0, 700)}, {"0.0000000000000000000001e22", reading(0, 100)},
        {"9990000000000000", reading(15, 999)}, {"0", reading(0, 0)}, {"0.000", reading(0, 0)},
        {"0e99999999999999999999", reading(0, 0)},
        // rounded
        {"1.235", reading(0, 124)}, {"1.2349999", reading(0, 123)}, {"12345", reading(4, 123)},
        {"12350", reading(4, 124)}, {"9.995", reading(1, 100)}, {"0.999", reading(0, 100)},
        {"0.015", reading(0, 2)}, {"0.0149", reading(0, 1)}, {"0.123", reading(0, 12)},
        {"9.985E15", reading(15, 999)},
    };
    // clang-format on
    for (const auto& [text, expected] : cases) {
        auto r = reading_from_text(text);
        ASSERT_TRUE(r.has_value()) << text;
        EXPECT_EQ(*r, expected) << text;
    }
}

TEST(ReadingFromText, RefusesWhatTheInstrumentCannotShow) {
    // clang-format off
    const char* const refused[] = {
        "", " ", "-1", "-0", "+1", "abc", "1.2.3", "1e", "1e+", "1,5", "0x10", "1 2", "nan",
        "inf", ".", "e5", "1.23E+1.5", "0.0099", "0.00999e0", "9.991E15", "9.9900001e15", "1E16",
        "1e999999999999999999", "1e-999999999999999999"};
    // clang-format on
    for (const char* text : refused)
        EXPECT_FALSE(reading_from_text(text).has_value()) << '"' << text << '"';
}

TEST(ReadingFromText, ReadsBackEveryNormalisedReading) {
    for (int e = 0; e <= 15; ++e)
        for (int d = e == 0 ? 1 : 100; d <= 999; ++d) {
            Reading r = reading(e, d);
            char text[32];
            std::snprintf(text, sizeof text, "%d.%d%dE+%d", r.d1, r.d2, r.d3, e);
            ASSERT_EQ(reading_from_text(text), r) << text;
            ASSERT_DOUBLE_EQ(value_of(r), std::stod(text)) << text;
        }
}

TEST(RandomReading, ValidAndCoversEveryExponentAndDigit) {
    std::mt19937_64 rng(42);
    std::set<int> seen[4];
    for (int i = 0; i < 5000; ++i) {
        Reading r = random_reading(rng);
        ASSERT_TRUE(is_valid(r));
        for (int k = 0; int v : {r.exponent, r.d1, r.d2, r.d3})
            seen[k++].insert(v);
    }
    EXPECT_EQ(seen[0].size(), 16u);
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(seen[k].size(), 10u);
}

// Readings a newcomer would believe: each block one batch of parts of one
// size, near that size, three digits, the batch sizes in turn.
TEST(GaugeBlock, BatchesOfPartsNearTheirSize) {
    std::mt19937_64 rng(7);
    for (long k = 1; k <= 6; ++k) {
        const double nominal = kGaugeSizes[(k - 1) % 5];
        const double step = nominal < 10 ? 0.01 : 0.1;
        std::set<double> seen;
        for (const Reading& r : gauge_block(100, k, rng)) {
            ASSERT_TRUE(is_valid(r));
            EXPECT_LE(r.exponent, 1) << k;
            EXPECT_NEAR(value_of(r), nominal, 4.5 * step) << k;
            seen.insert(value_of(r));
        }
        EXPECT_GE(seen.size(), 3u) << k;
    }
}

// A wearing tool: one size, each block a step further from it, the spread
// that of the size.
TEST(GaugeBlock, OneSizeDriftingBlockByBlock) {
    std::mt19937_64 rng(11);
    const GaugeParts parts{25.4, 0.05};
    for (long k : {1L, 2L, 7L, 21L}) {
        double sum = 0;
        for (const Reading& r : gauge_block(400, k, rng, parts)) sum += value_of(r);
        EXPECT_NEAR(sum / 400, 25.4 + double(k - 1) * 0.05, 0.02) << k;
    }
}

TEST(BytesFromHex, AcceptedFormsAndJunk) {
    const std::string block = bytes({0x01, 0x21, 0x23, 0xFF});
    for (auto text : {"01 21 23 FF", "012123ff", "01,21, 23,\tFf\n", "0x01 0X2123 ff"})
        EXPECT_EQ(bytes_from_hex(text), block) << text;
    EXPECT_EQ(bytes_from_hex("00 0a A0"), bytes({0x00, 0x0A, 0xA0}));
    EXPECT_EQ(bytes_from_hex(" , "), "");
    for (auto text : {"0", "012", "01 2", "zz", "0g", "01;02", "0x", "0x1", "01-02", "x01"})
        EXPECT_FALSE(bytes_from_hex(text).has_value()) << '"' << text << '"';
}

// The pty from open_raw_pty with its slave opened as a reader would.
struct OpenPty {
    Pty pty;
    int slave = -1;

    OpenPty() {
        std::string error;
        auto p = open_raw_pty(&error);
        if (!p) {
            ADD_FAILURE() << error;
            return;
        }
        pty = *p;
        slave = ::open(pty.slave_path.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(slave, 0) << pty.slave_path;
    }
    ~OpenPty() {
        if (slave >= 0) ::close(slave);
        if (pty.master >= 0) ::close(pty.master);
    }
};

// Every byte value, the line-editing and flow-control characters among them:
// any cooked setting left on the line changes or swallows some.
std::string all_byte_values() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s + bytes({0x0D, 0x0A, 0x0D, 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0xFF});
}

TEST(Pty, BurstAndPacedWritesArriveByteExact) {
    OpenPty t;
    ASSERT_GE(t.slave, 0);
    std::mt19937_64 rng(7);
    std::vector<Reading> values(kMaxValuesPerBlock);
    for (Reading& r : values)
        r = random_reading(rng);
    const std::string block = encode_block(values);

    for (const std::string& sent : {all_byte_values(), block})
        for (auto per_byte : {std::chrono::nanoseconds::zero(), std::chrono::nanoseconds(20000)}) {
            size_t written = 0;
            ASSERT_TRUE(write_paced(t.pty.master, sent, per_byte, &written));
            EXPECT_EQ(written, sent.size());
            EXPECT_EQ(read_up_to(t.slave, sent.size()), sent) << per_byte.count();
        }
}

TEST(Pty, NonBlockingMasterWaitsWhileTheReaderIsBehind) {
    OpenPty t;
    ASSERT_GE(t.slave, 0);
    ASSERT_EQ(::fcntl(t.pty.master, F_SETFL, ::fcntl(t.pty.master, F_GETFL) | O_NONBLOCK), 0);
    // Far more than the line's buffer holds, so writes come back short or
    // with EAGAIN until the reader catches up.
    std::string sent;
    for (int i = 0; i < 400; ++i)
        sent += all_byte_values();
    std::string got;
    std::thread reader([&] { got = read_up_to(t.slave, sent.size()); });
    bool ok = write_paced(t.pty.master, sent, std::chrono::nanoseconds::zero());
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(got == sent) << "got " << got.size() << " of " << sent.size() << " bytes";
}

TEST(Pty, TellsWhetherTheSlaveIsOpen) {
    auto pty = open_raw_pty();
    ASSERT_TRUE(pty.has_value());
    EXPECT_FALSE(pty_slave_open(pty->master));
    int slave = ::open(pty->slave_path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    EXPECT_TRUE(pty_slave_open(pty->master));
    ::close(slave);
    EXPECT_FALSE(pty_slave_open(pty->master));
    ::close(pty->master);
}

TEST(WritePaced, ReportsWriteErrors) {
    int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    for (auto per_byte : {std::chrono::nanoseconds::zero(), std::chrono::nanoseconds(1000)}) {
        size_t written = 99;
        errno = 0;
        EXPECT_FALSE(write_paced(fd, "\x01\xFF", per_byte, &written));
        EXPECT_EQ(errno, EBADF);
        EXPECT_EQ(written, 0u);
    }
    ::close(fd);
}

// kld350-sim run as a process: stdin and stderr /dev/null, stdout on a pipe.
struct SimProcess {
    pid_t pid = -1;
    int out = -1;

    explicit SimProcess(std::vector<std::string> args) {
        std::vector<char*> argv{const_cast<char*>(KLD350_SIM_PATH)};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(fds[1], 1);
            ::dup2(null, 2);
            ::close(fds[0]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out = fds[0];
    }
    ~SimProcess() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
    }

    std::string first_line() {
        std::string line;
        for (std::string c; (c = read_up_to(out, 1)) != "" && c != "\n";)
            line += c;
        return line;
    }

    // Exit status; -1 when it did not exit normally within 10 s.
    int wait() {
        for (int i = 0; i < 1000; ++i, ::usleep(10000)) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }
};

struct TempDir {
    std::string path = ::testing::TempDir() + "kld350_sim_XXXXXX";
    TempDir() { EXPECT_NE(::mkdtemp(path.data()), nullptr); }
    ~TempDir() { ::rmdir(path.c_str()); }
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(Cli, SendsItsBlockThroughTheLinkAndRemovesIt) {
    TempDir dir;
    const std::string link = dir.path + "/kld350";
    SimProcess sim({"--once", "--burst", "--quiet", "--values", "123,5,3.45E+15", "--link", link});
    const std::string slave = sim.first_line();
    ASSERT_FALSE(slave.empty());
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), slave);

    int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read_up_to(fd, 8), bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xF3, 0x45, 0xFF}));
    ::close(fd);
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_FALSE(exists(link));
}

TEST(Cli, NoiseBeforeAndCrLfAfterEachBlock) {
    TempDir dir;
    const std::string link = dir.path + "/kld350";
    SimProcess sim({"--once", "--quiet", "--noise", "--crlf", "--values", "123", "--link", link});
    ASSERT_FALSE(sim.first_line().empty());
    int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read_up_to(fd, 7).substr(1), bytes({0x01, 0x21, 0x23, 0xFF, 0x0D, 0x0A}));
    ::close(fd);
    EXPECT_EQ(sim.wait(), 0);
}

TEST(Cli, RemovesTheLinkWhenStoppedBySignal) {
    TempDir dir;
    const std::string link = dir.path + "/kld350";
    for (int sig : {SIGINT, SIGTERM}) {
        SimProcess sim({"--every", "0.05", "--random", "3", "--quiet", "--link", link});
        ASSERT_FALSE(sim.first_line().empty());
        EXPECT_TRUE(exists(link));
        ::kill(sim.pid, sig);
        EXPECT_EQ(sim.wait(), 0) << "signal " << sig;
        EXPECT_FALSE(exists(link)) << "signal " << sig;
    }
}

TEST(Cli, SetsUpADeviceAndWritesRawBytes) {
    OpenPty t;
    ASSERT_GE(t.slave, 0);
    // Start from settings the simulator must undo: 7 bits, parity, line editing.
    termios tio{};
    ASSERT_EQ(tcgetattr(t.slave, &tio), 0);
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB;
    tio.c_lflag |= ICANON | ECHO;
    cfsetspeed(&tio, B38400);
    ASSERT_EQ(tcsetattr(t.slave, TCSANOW, &tio), 0);

    SimProcess sim({"--device", t.pty.slave_path, "--once", "--quiet", "--raw", "01 0D 0A 03 FF"});
    EXPECT_EQ(sim.first_line(), t.pty.slave_path);
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_EQ(read_up_to(t.pty.master, 5), bytes({0x01, 0x0D, 0x0A, 0x03, 0xFF}));

    ASSERT_EQ(tcgetattr(t.slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

TEST(Cli, RefusesBadArgumentsWithStatus2) {
    std::string too_many = "1";
    for (int i = 0; i < kMaxValuesPerBlock; ++i)
        too_many += ",1";
    // clang-format off
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"--values"}, {"--values", "1.2.3"}, {"--values", "1,,2"},
        {"--values", too_many}, {"--random", "128"}, {"--random", "-1"},
        {"--values", "1", "--random", "2"}, {"--raw", "zz"}, {"--raw", ""},
        {"--raw", "01 FF", "--lead", "01"}, {"--lead", "0102"}, {"--once", "--every", "1"},
        {"--once", "--count", "2"}, {"--every", "0"}, {"--every", "soon"}, {"--delay", "-1"},
        {"--linger", "x"}, {"--count", "0"}, {"--once=yes"},
        {"--link", "/tmp/x", "--device", "/dev/null"}, {"--gauge", "128"},
        {"--gauge", "3", "--random", "2"}, {"--random", "2", "--drift", "0.01"},
        {"--gauge", "3", "--size", "0"}, {"--gauge", "3", "--drift", "x"}};
    // clang-format on
    for (const auto& args : bad) {
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(SimProcess(args).wait(), 2) << shown;
    }
}

}  // namespace
}  // namespace kld350
