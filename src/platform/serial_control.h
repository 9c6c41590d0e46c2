#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace tolvane {

// A moment on a clock that never jumps (not the wall clock).
using MonotonicTime = std::chrono::steady_clock::time_point;
using MonotonicClock = std::function<MonotonicTime()>;
// A moment on the wall clock, which goes on while the PC is suspended.
using WallTime = std::chrono::system_clock::time_point;
using WallClock = std::function<WallTime()>;

// Bytes as the port delivered them: they arrived after `after` (until then
// the line was seen quiet) and by `by` (when they were taken in). The two
// are close while the reader keeps up; when it was held up, the truth lies
// somewhere between, and a pause is only taken for one where it is certain.
// `wall_by` is the wall clock at `by`, read beside it: the monotonic clock
// stops while the PC is suspended, so it cannot tell the time of day later.
struct ReceivedChunk {
    std::string bytes;
    MonotonicTime after;
    MonotonicTime by;
    WallTime wall_by{};
};

// One read of the port: every chunk received since the previous read, in
// order. Every byte that arrived before `complete_until` is in the chunks,
// so the line is known to have been quiet from the last chunk until then.
struct SerialInput {
    std::vector<ReceivedChunk> chunks;
    MonotonicTime complete_until;
};

// The serial port the instrument is wired to. Receive only: the program
// never sends. Line settings are fixed: 9600 baud, 8N1, no handshaking.
class SerialControl {
  public:
    virtual ~SerialControl() = default;

    // CommPort: the port number the next opening uses. Numbers the control
    // does not know are refused (a failure, the old number stays).
    virtual Status set_comm_port(int16_t port) = 0;
    virtual int16_t comm_port() const = 0;

    // PortOpen. Opening fails, with a reason, when the port is missing, no
    // serial device or held by another program; the port then stays closed.
    // Closing takes in what the port has received first, for the next read;
    // closing a closed port does nothing.
    virtual bool port_open() const = 0;
    virtual Status set_port_open(bool open) = 0;
    // When the port last opened, on the clock of the arrival times.
    virtual MonotonicTime opened_at() const = 0;

    // Input: everything received since the last read, and empties the
    // buffer. The port is read as bytes arrive, whenever the caller reads.
    // After the port was closed or lost, what it received before is still
    // returned once.
    virtual SerialInput input() = 0;
    // The same, once a byte has come that no read returned yet, the line is
    // known quiet until `wake` (complete_until >= wake), the port closed, or
    // shortly after `wake` in any case; at once if one of them holds already.
    virtual SerialInput input_after(MonotonicTime wake) = 0;
    // Now, on the clock of the arrival times.
    virtual MonotonicTime clock_now() = 0;

    // Called when an open port is lost (device gone, line hung up). The
    // control has closed the port already when the handler runs.
    virtual void set_lost_handler(std::function<void()> handler) = 0;
};

}  // namespace tolvane
