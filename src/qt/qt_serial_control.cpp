#include "qt/qt_serial_control.h"

#include <QMetaObject>

#include "link/frame_assembler.h"
#include "qt/qt_port_mapping.h"

#ifndef _WIN32
#include <errno.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace tolvane {
namespace {

// How often the reader takes bytes in and looks for a quiet line while bytes
// come: often, so that a pause is seen nearly whole (each look is a wake of
// the thread: 5 ms is about five bytes at 9600 baud).
constexpr std::chrono::milliseconds kWatchInterval{20};
#ifndef _WIN32
// While the reader looks every kWatchInterval, the kernel wakes it only
// when this many bytes wait (a reader held up), never for the few that come
// between two looks. The most a terminal allows.
constexpr cc_t kWakeAtWhileWatching = 255;
#endif
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
        QObject::connect(port_, &QSerialPort::readyRead, port_, [this] {
        if (take_in()) start_watching();
    });
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
        on_reader([this] { close_port(); });
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
        watch_until_ = {};
        {
            const std::lock_guard lock(mutex_);
            quiet_since_ = opened_at_;
        }
        open_ = true;
        start_watching();
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
    // A reader that stopped looking at a line long quiet would never see it
    // quiet until `wake`: it looks until then.
    on_reader([this, wake] {
        if (port_->isOpen()) start_watching(wake);
    });
    std::unique_lock lock(mutex_);
    // The reader looks every kWatchInterval; a little more than that past
    // `wake` it has looked at least once.
    const auto wait = wake - clock_() + 2 * kWatchInterval;
    news_.wait_for(lock, wait,
                   [&] { return !chunks_.empty() || quiet_since_ >= wake || !open_; });
    return take_input();
}

void QtSerialControl::set_lost_handler(std::function<void()> handler) {
    lost_ = std::move(handler);
}

bool QtSerialControl::take_in() {
    QByteArray bytes = port_->readAll();
#ifndef _WIN32
    // The rest, from the kernel itself: it wakes the port for many bytes
    // only while the reader watches. Always after what the port buffered,
    // which came first.
    for (char buffer[512];;) {
        const ssize_t n = ::read(port_->handle(), buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        // Empty (EAGAIN), or a line that hangs up, which its notifier tells.
        if (n < 0 && errno == EINTR) continue;
        break;
    }
#endif
    // Everything that came before now was read above.
    const MonotonicTime now = clock_();
    if (bytes.isEmpty()) {
        {
            const std::lock_guard lock(mutex_);
            quiet_since_ = now;
        }
        news_.notify_all();
        return false;
    }
    last_in_ = now;
    const WallTime wall = wall_();
    {
        const std::lock_guard lock(mutex_);
        chunks_.push_back({bytes.toStdString(), quiet_since_, now, wall});
        quiet_since_ = now;
    }
    news_.notify_all();
    return true;
}

void QtSerialControl::start_watching(MonotonicTime until) {
    watch_until_ = std::max(watch_until_, until);
    if (watch_->isActive()) return;
    wake_on_every_byte(false);
    watch_->start();
}

void QtSerialControl::watch() {
    take_in();
    const MonotonicTime now = clock_();
    if (now - last_in_ <= kWatchFor || now <= watch_until_) return;
    watch_->stop();
    // From here the first byte wakes the reader at once; one that came
    // since the look above does so too.
    wake_on_every_byte(true);
}

void QtSerialControl::wake_on_every_byte(bool every) {
#ifndef _WIN32
    termios t{};
    if (::tcgetattr(port_->handle(), &t) != 0) return;
    // Raw input, VTIME 0: a poll of the line reports it readable once VMIN
    // bytes wait. Reads take whatever is there all the same.
    t.c_cc[VMIN] = every ? 1 : kWakeAtWhileWatching;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(port_->handle(), TCSANOW, &t);
#else
    (void)every;
#endif
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
