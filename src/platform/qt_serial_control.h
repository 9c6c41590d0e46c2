#pragma once

#include <QObject>
#include <QSerialPort>
#include <functional>
#include <string>

#include "platform/serial_control.h"

namespace tolvane {

// The serial control on QSerialPort: 9600 baud, 8N1, no flow control, DTR on,
// RTS off, opened for reading only.
class QtSerialControl : public QObject, public SerialControl {
  public:
    static constexpr int16_t kFirstPort = 1;
    static constexpr int16_t kLastPort = 16;

    QtSerialControl();
    ~QtSerialControl() override;

    Status set_comm_port(int16_t port) override;
    int16_t comm_port() const override { return comm_port_; }
    bool port_open() const override { return port_.isOpen(); }
    Status set_port_open(bool open) override;
    std::string input() override;
    void set_lost_handler(std::function<void()> handler) override;

  private:
    void on_error(QSerialPort::SerialPortError error);

    QSerialPort port_;
    int16_t comm_port_ = 1;
    // What the port had received when it was lost, until it is read.
    std::string rescued_;
    std::function<void()> lost_;
};

}  // namespace tolvane
