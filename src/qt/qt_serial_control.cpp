#include "qt/qt_serial_control.h"

#include <QMetaObject>

#include "link/frame_assembler.h"
#include "qt/qt_port_mapping.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#endif

namespace tolvane {
namespace {

// How often the reader looks for a quiet line while bytes come: often, so
// that a pause is seen nearly whole.
constexpr std::chrono::milliseconds kWatchInterval{5};
// How long it keeps looking after the last byte: by then the pause that
// ends a frame is sure.
constexpr auto kWatchFor = FrameAssembler::kSilence + std::chrono::milliseconds(70);

}  // namespace

QtSerialControl::QtSerialControl(MonotonicClock clock, WallClock wall)
    : clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      wall_(wall ? std::move(wall) : [] { return std::chrono::system_clock::now(); }) {
    reader_.setObjectName("com reader");
    reader_context_.moveToThread(&reader_);
    reader_.start();
    on_reader([this] {
        port_ = new QSerialPort;
        port_->setBaudRate(QSerialPort::Baud9600);
        port_->setDataBits(QSerialPort::Data8);
        port_->setParity(QSerialPort::NoParity);
        port_->setStopBits(QSerialPort::OneStop);
        port_->setFlowControl(QSerialPort::NoFlowControl);
        // Unlimited: the queue below is where bytes wait, never the port.
        port_->setReadBufferSize(0);
        QObject::connect(port_, &QSerialPort::readyRead, port_, [this] { take_in(); });
        // Some Qt versions report a hung-up line as a read error, over and
        // over; newer ones say nothing (see set_port_open).
        QObject::connect(port_, &QSerialPort::errorOccurred, port_,
                         [this](QSerialPort::SerialPortError e) {
                             if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError)
                                 lose();
                         });
        watch_ = new QTimer(port_);
        watch_->setTimerType(Qt::PreciseTimer);
        watch_->setInterval(kWatchInterval);
        QObject::connect(watch_, &QTimer::timeout, port_, [this] { watch(); });
    });
}

QtSerialControl::~QtSerialControl() {
    lost_ = nullptr;
    on_reader([this] {
        close_port();
        delete port_;
        port_ = nullptr;
    });
    reader_.quit();
    reader_.wait();
}

void QtSerialControl::on_reader(const std::function<void()>& step) {
    QMetaObject::invokeMethod(&reader_context_, step, Qt::BlockingQueuedConnection);
}

Status QtSerialControl::set_comm_port(int16_t port) {
    if (port < kFirstPort || port > kLastPort) {
        return Status::failure("There is no port " + std::to_string(port) + " (ports are " +
                               std::to_string(kFirstPort) + " to " + std::to_string(kLastPort) +
                               ").");
    }
    if (open_) return Status::failure("The port is open.");
    comm_port_ = port;
    return Status::success();
}

Status QtSerialControl::set_port_open(bool open) {
    const int generation = ++generation_;
    if (!open) {
        on_reader([this] {
            if (!port_->isOpen()) return;
            // What the kernel holds but the port has not taken yet.
            while (port_->isOpen() && port_->waitForReadyRead(0)) {
            }
            close_port();
        });
        return Status::success();
    }
    if (open_) return Status::failure("The port is already open.");
    const std::string device = port_device(comm_port_).device;
    Status result = Status::success();
    on_reader([&] {
        port_->setPortName(QString::fromStdString(device));
        // Before the opening: the instrument's side may see the line opened
        // as soon as open() has begun.
        const MonotonicTime opening = clock_();
        if (!port_->open(QIODevice::ReadOnly)) {
            result = Status::failure(device + ": " + port_->errorString().toStdString());
            port_->clearError();
            return;
        }
        // Pseudo-terminals have no modem lines; that is no reason to refuse them.
        port_->setDataTerminalReady(true);
        port_->setRequestToSend(false);
        port_->clearError();
#ifndef _WIN32
        // A line that hangs up (USB adapter pulled out, far end of a
        // pseudo-terminal closed) polls as error and hang-up from then on,
        // and every read gives 0 bytes. Qt 6.4 then emits read errors in a
        // tight loop; Qt 6.8 emits nothing and keeps polling at full speed.
        // An exception notifier wakes on just that state, whatever Qt does.
        hang_up_ = new QSocketNotifier(port_->handle(), QSocketNotifier::Exception, port_);
        QObject::connect(hang_up_, &QSocketNotifier::activated, port_, [this] { lose(); });
#endif
        reader_generation_ = generation;
        opened_at_ = last_in_ = opening;
        {
            const std::lock_guard lock(mutex_);
            quiet_since_ = opened_at_;
        }
        watch_->start();
        open_ = true;
    });
    return result;
}

SerialInput QtSerialControl::input() {
    const std::lock_guard lock(mutex_);
    return take_input();
}

SerialInput QtSerialControl::take_input() {
    SerialInput in;
    in.chunks.swap(chunks_);
    in.complete_until = quiet_since_;
    return in;
}

SerialInput QtSerialControl::input_after(MonotonicTime wake) {
    std::unique_lock lock(mutex_);
    // The reader looks for a quiet line every kWatchInterval; a little more
    // than that past `wake` it has looked at least once.
    const auto wait = wake - clock_() + 2 * kWatchInterval;
    news_.wait_for(lock, wait,
                   [&] { return !chunks_.empty() || quiet_since_ >= wake || !open_; });
    return take_input();
}

void QtSerialControl::set_lost_handler(std::function<void()> handler) {
    lost_ = std::move(handler);
}

void QtSerialControl::take_in() {
    const QByteArray bytes = port_->readAll();
    if (bytes.isEmpty()) return;
    last_in_ = clock_();
    const WallTime wall = wall_();
    {
        const std::lock_guard lock(mutex_);
        chunks_.push_back({bytes.toStdString(), quiet_since_, last_in_, wall});
        quiet_since_ = last_in_;
    }
    news_.notify_all();
    if (!watch_->isActive()) watch_->start();
}

void QtSerialControl::watch() {
    const MonotonicTime now = clock_();
    int waiting = 0;
#ifndef _WIN32
    // Bytes the kernel holds; they leave it only by being read here, so if
    // there are none, there were none at `now` either.
    if (::ioctl(port_->handle(), FIONREAD, &waiting) != 0) waiting = 1;
#endif
    if (waiting == 0) {
        {
            const std::lock_guard lock(mutex_);
            quiet_since_ = now;
        }
        news_.notify_all();
    }
    if (now - last_in_ > kWatchFor) watch_->stop();
}

void QtSerialControl::close_port() {
    if (!port_->isOpen()) return;
    take_in();
    watch_->stop();
    // Off before the port closes its descriptor, which may then be reused;
    // deleted later, as this may run from its own signal.
    if (hang_up_) {
        hang_up_->setEnabled(false);
        hang_up_->deleteLater();
        hang_up_ = nullptr;
    }
    port_->close();
    port_->clearError();
    {
        const std::lock_guard lock(mutex_);
        open_ = false;
    }
    news_.notify_all();
}

void QtSerialControl::lose() {
    // Closed already: the error came from our own close(), or repeats.
    if (!port_->isOpen()) return;
    // Closed at once, so that a hung-up line cannot keep the thread busy;
    // what had arrived before is kept.
    close_port();
    // Told on the window's thread, unless that has closed or reopened the
    // port since.
    QMetaObject::invokeMethod(
        this,
        [this, generation = reader_generation_] {
            if (lost_ && generation == generation_ && !open_) lost_();
        },
        Qt::QueuedConnection);
}

}  // namespace tolvane
