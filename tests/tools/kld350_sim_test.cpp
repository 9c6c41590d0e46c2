#include "kld350_sim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kld350 {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

Reading read_text(std::string_view text) {
    auto r = reading_from_text(text);
    EXPECT_TRUE(r.has_value()) << text;
    return r.value_or(Reading{0, 0, 0, 0});
}

TEST(EncodeBlock, LeadPairsAndTerminator) {
    std::vector<Reading> a{read_text("123"), read_text("5"), read_text("3.45E+15")};
    EXPECT_EQ(encode_block(a), bytes({0x01, 0x21, 0x23, 0x05, 0x00, 0xF3, 0x45, 0xFF}));
    std::vector<Reading> b{read_text("900"), read_text("0.01"), read_text("23.4")};
    EXPECT_EQ(encode_block(b, 0x7E), bytes({0x7E, 0x29, 0x00, 0x00, 0x01, 0x12, 0x34, 0xFF}));
    // 900 as 0.90 x 10^3, a form the instrument may send too.
    Reading unnormalised[] = {Reading{3, 0, 9, 0}};
    EXPECT_EQ(encode_block(unnormalised), bytes({0x01, 0x30, 0x90, 0xFF}));
    EXPECT_EQ(encode_block({}), bytes({0x01, 0xFF}));
}

TEST(EncodeBlock, NoPairStartsWithTheTerminator) {
    for (int e = 0; e <= 15; ++e)
        for (int d = 0; d <= 999; ++d) {
            Reading r{static_cast<uint8_t>(e), static_cast<uint8_t>(d / 100),
                      static_cast<uint8_t>(d / 10 % 10), static_cast<uint8_t>(d % 10)};
            std::string block = encode_block(std::span(&r, 1));
            ASSERT_EQ(block.size(), 4u);
            ASSERT_NE(static_cast<uint8_t>(block[1]), kTerminator);
        }
}

TEST(EncodeBlock, RefusesInvalidReadings) {
    for (Reading bad :
         {Reading{16, 1, 0, 0}, Reading{0, 10, 0, 0}, Reading{0, 1, 10, 0}, Reading{0, 1, 0, 15}}) {
        Reading block[] = {Reading{0, 1, 0, 0}, bad};
        EXPECT_THROW(encode_block(block), std::invalid_argument);
    }
}

TEST(ReadingFromText, ShownValues) {
    EXPECT_EQ(read_text("1.23"), (Reading{0, 1, 2, 3}));
    EXPECT_EQ(read_text("45.6"), (Reading{1, 4, 5, 6}));
    EXPECT_EQ(read_text("700"), (Reading{2, 7, 0, 0}));
    EXPECT_EQ(read_text("0.01"), (Reading{0, 0, 0, 1}));
    EXPECT_EQ(read_text("0.5"), (Reading{0, 0, 5, 0}));
    EXPECT_EQ(read_text(".5"), (Reading{0, 0, 5, 0}));
    EXPECT_EQ(read_text("3.45E+15"), (Reading{15, 3, 4, 5}));
    EXPECT_EQ(read_text("3.45e15"), (Reading{15, 3, 4, 5}));
    EXPECT_EQ(read_text("1e-2"), (Reading{0, 0, 0, 1}));
    EXPECT_EQ(read_text("4500E-1"), (Reading{2, 4, 5, 0}));
    EXPECT_EQ(read_text("0.0000000000000000000001e22"), (Reading{0, 1, 0, 0}));
    EXPECT_EQ(read_text(" 007. "), (Reading{0, 7, 0, 0}));
    EXPECT_EQ(read_text("9990000000000000"), (Reading{15, 9, 9, 9}));
    for (auto zero : {"0", "0.000", "0e99999999999999999999", "00"})
        EXPECT_EQ(read_text(zero), (Reading{0, 0, 0, 0})) << zero;
}

TEST(ReadingFromText, RoundsHalfUpToWhatTheInstrumentShows) {
    EXPECT_EQ(read_text("1.235"), (Reading{0, 1, 2, 4}));
    EXPECT_EQ(read_text("1.2349999"), (Reading{0, 1, 2, 3}));
    EXPECT_EQ(read_text("12345"), (Reading{4, 1, 2, 3}));
    EXPECT_EQ(read_text("12350"), (Reading{4, 1, 2, 4}));
    EXPECT_EQ(read_text("9.995"), (Reading{1, 1, 0, 0}));
    EXPECT_EQ(read_text("0.999"), (Reading{0, 1, 0, 0}));
    EXPECT_EQ(read_text("0.015"), (Reading{0, 0, 0, 2}));
    EXPECT_EQ(read_text("0.0149"), (Reading{0, 0, 0, 1}));
    EXPECT_EQ(read_text("0.123"), (Reading{0, 0, 1, 2}));
    EXPECT_EQ(read_text("9.9849E15"), (Reading{15, 9, 9, 8}));
    EXPECT_EQ(read_text("9.985E15"), (Reading{15, 9, 9, 9}));
}

TEST(ReadingFromText, RefusesWhatTheInstrumentCannotShow) {
    for (auto text : {"",
                      " ",
                      "-1",
                      "-0",
                      "+1",
                      "abc",
                      "1.2.3",
                      "1e",
                      "1e+",
                      "1,5",
                      "0x10",
                      "1 2",
                      "nan",
                      "inf",
                      ".",
                      "e5",
                      "1.23E+1.5",
                      "0.0099",
                      "0.00999e0",
                      "9.991E15",
                      "9.9900001e15",
                      "1E16",
                      "1e999999999999999999",
                      "1e-999999999999999999"})
        EXPECT_FALSE(reading_from_text(text).has_value()) << '"' << text << '"';
}

TEST(ReadingFromText, ReadsBackEveryNormalisedReading) {
    for (int e = 0; e <= 15; ++e)
        for (int d = e == 0 ? 1 : 100; d <= 999; ++d) {
            Reading r{static_cast<uint8_t>(e), static_cast<uint8_t>(d / 100),
                      static_cast<uint8_t>(d / 10 % 10), static_cast<uint8_t>(d % 10)};
            char text[32];
            std::snprintf(text, sizeof text, "%d.%d%dE+%d", r.d1, r.d2, r.d3, e);
            ASSERT_EQ(read_text(text), r) << text;
            ASSERT_DOUBLE_EQ(value_of(r), std::stod(text)) << text;
        }
}

TEST(RandomReading, ValidAndCoversEveryExponentAndDigit) {
    std::mt19937_64 rng(42);
    std::set<int> exponents, d1s, d2s, d3s;
    for (int i = 0; i < 5000; ++i) {
        Reading r = random_reading(rng);
        ASSERT_TRUE(is_valid(r));
        exponents.insert(r.exponent);
        d1s.insert(r.d1);
        d2s.insert(r.d2);
        d3s.insert(r.d3);
    }
    EXPECT_EQ(exponents.size(), 16u);
    EXPECT_EQ(d1s.size(), 10u);
    EXPECT_EQ(d2s.size(), 10u);
    EXPECT_EQ(d3s.size(), 10u);
}

TEST(BytesFromHex, AcceptedForms) {
    const std::string block = bytes({0x01, 0x21, 0x23, 0xFF});
    EXPECT_EQ(bytes_from_hex("01 21 23 FF"), block);
    EXPECT_EQ(bytes_from_hex("012123ff"), block);
    EXPECT_EQ(bytes_from_hex("01,21, 23,\tFf\n"), block);
    EXPECT_EQ(bytes_from_hex("0x01 0X2123 ff"), block);
    EXPECT_EQ(bytes_from_hex("00 0a A0"), bytes({0x00, 0x0A, 0xA0}));
    EXPECT_EQ(bytes_from_hex(""), "");
    EXPECT_EQ(bytes_from_hex(" , "), "");
}

TEST(BytesFromHex, RefusesJunk) {
    for (auto text : {"0", "012", "01 2", "zz", "0g", "01;02", "0x", "0x1", "01-02", "x01", "ü1"})
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

    // Reads until n bytes came or nothing comes for a long while.
    std::string read_back(size_t n) const {
        std::string got;
        char buf[4096];
        while (got.size() < n) {
            pollfd p{slave, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            ssize_t k = ::read(slave, buf, sizeof buf);
            if (k <= 0) break;
            got.append(buf, static_cast<size_t>(k));
        }
        return got;
    }
};

// Every byte value, the line-editing and flow-control characters among them.
std::string all_byte_values() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    s += bytes({0x0D, 0x0A, 0x0D, 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0xFF});
    return s;
}

TEST(Pty, SlaveIsRaw) {
    OpenPty t;
    ASSERT_GE(t.slave, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(t.slave, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST(Pty, BurstAndPacedWritesArriveByteExact) {
    OpenPty t;
    ASSERT_GE(t.slave, 0);
    const std::string sent = all_byte_values();

    size_t written = 0;
    ASSERT_TRUE(write_paced(t.pty.master, sent, std::chrono::nanoseconds::zero(), &written));
    EXPECT_EQ(written, sent.size());
    EXPECT_EQ(t.read_back(sent.size()), sent);

    ASSERT_TRUE(write_paced(t.pty.master, sent, std::chrono::microseconds(20)));
    EXPECT_EQ(t.read_back(sent.size()), sent);

    std::mt19937_64 rng(7);
    std::vector<Reading> values(kMaxValuesPerBlock);
    for (Reading& r : values)
        r = random_reading(rng);
    const std::string block = encode_block(values);
    ASSERT_TRUE(write_paced(t.pty.master, block, std::chrono::microseconds(5)));
    EXPECT_EQ(t.read_back(block.size()), block);
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
    std::thread reader([&] { got = t.read_back(sent.size()); });
    size_t written = 0;
    bool ok = write_paced(t.pty.master, sent, std::chrono::nanoseconds::zero(), &written);
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, sent.size());
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

}  // namespace
}  // namespace kld350
