#pragma once

// The KLD-350's side of the serial line, for trying the program without the
// instrument: building its blocks and sending them through a pseudo-terminal
// or a real port at the instrument's pace. Standard C++20 and POSIX only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kld350 {

// One value as the instrument sends it: d1.d2d3 x 10^exponent.
struct Reading {
    uint8_t exponent;    // 0..15
    uint8_t d1, d2, d3;  // 0..9 each

    bool operator==(const Reading&) const = default;
};

// Values one block carries at most.
inline constexpr int kMaxValuesPerBlock = 127;

// Lead byte of the instrument's blocks.
inline constexpr uint8_t kDefaultLead = 0x01;

// Ends every block; never the first byte of a pair.
inline constexpr uint8_t kTerminator = 0xFF;

// Exponent within 0..15 and every digit within 0..9.
bool is_valid(const Reading& r);

// The value the reading stands for.
double value_of(const Reading& r);

// The reading that shows a decimal text such as "1.23", "45.6", "700",
// "0.01", "3.45E+15" or "0" (blanks around it allowed). Exactly 0, or from
// 0.01 to 9.99e15, is accepted; anything else, a sign or an unreadable text
// gives nothing. Values are rounded half-up to three significant digits, and
// below 1 to the hundredth the instrument shows (0.0149 -> 0.01).
std::optional<Reading> reading_from_text(std::string_view decimal);

// Any valid reading, each exponent and digit equally likely (so also the
// unnormalised forms such as 0.12 x 10^3, which a receiver must take too).
Reading random_reading(std::mt19937_64& rng);

// The part sizes, in millimetres, that gauge_block measures in turn.
inline constexpr double kGaugeSizes[] = {6.35, 12.7, 25.4, 50.8, 2.50};

// The parts a gauge measures: by default the sizes of kGaugeSizes in turn;
// with `size`, every block that size. `drift` (mm a block) moves the parts
// away from their size block by block, as a wearing tool does: block k reads
// size + (k - 1) * drift.
struct GaugeParts {
    std::optional<double> size;
    double drift = 0;
};

// What a dimensional gauge reads on `count` parts of one batch: block k
// (from 1) measures parts of the size kGaugeSizes[(k - 1) % 5] (or
// parts.size), each reading that size plus a spread of about one step of the
// last of the three digits shown (6.35 mm: +-0.01 mm; 25.4 mm: +-0.1 mm).
std::vector<Reading> gauge_block(int count, long k, std::mt19937_64& rng,
                                 const GaugeParts& parts = {});

// Lead byte, one pair per reading, terminator. Does not cut at
// kMaxValuesPerBlock, so that a receiver's limit can be tried. Throws
// std::invalid_argument on an invalid reading.
std::string encode_block(std::span<const Reading> readings, uint8_t lead = kDefaultLead);

// Bytes written as hex: pairs of digits in either case, optionally with
// "0x", grouped by blanks or commas ("01 21 23 FF", "012123ff", "01,21").
// Nothing when a digit is not hex or a group has an odd number of digits.
std::optional<std::string> bytes_from_hex(std::string_view hex);

// A pseudo-terminal whose line settings are raw (no echo, no line editing,
// no character translation), so bytes reach the reader as sent. The slave is
// closed again; a reader opens it by slave_path.
struct Pty {
    int master = -1;  // the caller closes it
    std::string slave_path;
};

std::optional<Pty> open_raw_pty(std::string* error = nullptr);

// Whether anyone holds the slave side open. While nobody does, Linux queues
// what the master writes and hands it to the next reader, so a sender that
// wants a real line's behaviour (bytes nobody hears are lost) asks first.
bool pty_slave_open(int master);

// Writes bytes to fd, byte k no earlier than start + k * per_byte, where
// start is the moment of the call: timing is absolute, so a late wake-up
// never pushes the following bytes later. per_byte 0 writes everything at
// once. Partial writes, EINTR and a non-blocking fd are handled. Returns
// false on a write error, with errno telling which.
bool write_paced(int fd, std::string_view bytes, std::chrono::nanoseconds per_byte);

// The same, also telling how many bytes went out before an error. With a
// `chunk` above 1, the bytes go out `chunk` at a time, each group when its
// last byte is due.
bool write_paced(int fd, std::string_view bytes, std::chrono::nanoseconds per_byte,
                 std::size_t* written, std::size_t chunk = 1);

// One byte at 9600 baud, 8N1: start bit, eight data bits, stop bit.
inline constexpr std::chrono::nanoseconds kByteTime9600{1041667};

}  // namespace kld350
