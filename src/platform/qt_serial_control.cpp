#include "platform/qt_serial_control.h"

#include <QMetaObject>

#include "platform/port_mapping.h"

namespace tolvane {

QtSerialControl::QtSerialControl() {
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // Unlimited: while a message box holds up the poll, nothing is dropped.
    port_.setReadBufferSize(0);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::on_error);
}

QtSerialControl::~QtSerialControl() {
    lost_ = nullptr;
    if (port_.isOpen()) port_.close();
}

Status QtSerialControl::set_comm_port(int16_t port) {
    if (port < kFirstPort || port > kLastPort) {
        return Status::failure("There is no port " + std::to_string(port) + " (ports are " +
                               std::to_string(kFirstPort) + " to " + std::to_string(kLastPort) +
                               ").");
    }
    if (port_.isOpen()) return Status::failure("The port is open.");
    comm_port_ = port;
    return Status::success();
}

Status QtSerialControl::set_port_open(bool open) {
    if (!open) {
        if (port_.isOpen()) port_.close();
        return Status::success();
    }
    if (port_.isOpen()) return Status::failure("The port is already open.");
    const std::string device = port_device(comm_port_).device;
    // Bytes rescued from a lost port stay until read, even across reopening.
    port_.setPortName(QString::fromStdString(device));
    if (!port_.open(QIODevice::ReadOnly)) {
        const std::string reason = device + ": " + port_.errorString().toStdString();
        port_.clearError();
        return Status::failure(reason);
    }
    // Pseudo-terminals have no modem lines; that is no reason to refuse them.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    port_.clearError();
    return Status::success();
}

std::string QtSerialControl::input() {
    std::string bytes = std::move(rescued_);
    rescued_.clear();
    if (port_.isOpen()) bytes += port_.readAll().toStdString();
    return bytes;
}

void QtSerialControl::set_lost_handler(std::function<void()> handler) {
    lost_ = std::move(handler);
}

void QtSerialControl::on_error(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    // Closed already: the error came from our own close(), or repeats.
    if (!port_.isOpen()) return;
    // A hung-up line repeats the error as fast as it can: close at once, and
    // keep what had arrived before.
    rescued_ += port_.readAll().toStdString();
    port_.close();
    port_.clearError();
    // Told from the event loop, not from inside QSerialPort's notifier.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (lost_ && !port_.isOpen()) lost_();
        },
        Qt::QueuedConnection);
}

}  // namespace tolvane
