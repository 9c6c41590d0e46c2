#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/status.h"

namespace tolvane {

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
    // Closing a closed port does nothing.
    virtual bool port_open() const = 0;
    virtual Status set_port_open(bool open) = 0;

    // Input: every byte received since the last read, one char per byte, and
    // empties the buffer; "" when nothing came. After the port was lost, the
    // bytes received before the loss are still returned once.
    virtual std::string input() = 0;

    // Called when an open port is lost (device gone, line hung up). The
    // control has closed the port already when the handler runs.
    virtual void set_lost_handler(std::function<void()> handler) = 0;
};

}  // namespace tolvane
