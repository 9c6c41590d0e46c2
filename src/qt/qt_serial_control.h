#pragma once

#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_control.h"

namespace tolvane {

// The serial control on QSerialPort: 9600 baud, 8N1, no flow control, DTR on,
// RTS off, opened for reading only. The port lives on a thread of its own
// that reads bytes as they arrive and stamps them, so a busy window can
// neither overflow the kernel's small buffer nor blur the pauses between
// blocks. The first byte after a quiet spell wakes that thread at once; from
// then on, while bytes come, it takes them in every few milliseconds and
// the kernel keeps the rest (a UART hands on every byte alone, and waking for
// each costs more than all the rest of the program). Each look that finds
// nothing waiting notes the line quiet: a reader held up by a busy machine
// then stamps its late bytes as "arrived at the earliest when last seen
// quiet", and so never shows a pause that was not on the line. The calls
// below are made from one thread (the window's).
class QtSerialControl : public QObject, public SerialControl {
  public:
    static constexpr int16_t kFirstPort = 1;
    static constexpr int16_t kLastPort = 16;

    // `clock` stamps the arrivals (steady_clock when empty), and `wall` reads
    // the wall clock beside it (system_clock when empty); both are called
    // from the reader thread too.
    explicit QtSerialControl(MonotonicClock clock = {}, WallClock wall = {});
    ~QtSerialControl() override;

    Status set_comm_port(int16_t port) override;
    int16_t comm_port() const override { return comm_port_; }
    bool port_open() const override { return open_; }
    Status set_port_open(bool open) override;
    MonotonicTime opened_at() const override { return opened_at_; }
    SerialInput input() override;
    SerialInput input_after(MonotonicTime wake) override;
    MonotonicTime clock_now() override { return clock_(); }
    void set_lost_handler(std::function<void()> handler) override;

  private:
    // Runs `step` on the reader thread and waits for it.
    void on_reader(const std::function<void()>& step);
    // Reader thread: what the port holds, stamped, into the queue; notes
    // the line quiet if there was nothing. Returns whether bytes came.
    bool take_in();
    // Reader thread: looks again every kWatchInterval until the line has
    // been quiet long enough (and not before `until`).
    void start_watching(MonotonicTime until = {});
    // Reader thread: one look while watching.
    void watch();
    // Reader thread: whether the kernel wakes the thread for a single byte
    // (while not watching) or only for many (while it looks anyway).
    void wake_on_every_byte(bool every);
    // Reader thread: takes what the port holds, then closes it.
    void close_port();
    // Reader thread: the open line is gone; closes the port and tells.
    void lose();

    SerialInput take_input();  // with mutex_ held

    MonotonicClock clock_;
    WallClock wall_;
    QThread reader_;
    QObject reader_context_;  // lives on the reader thread
    // Made, used and deleted on the reader thread, as is what follows.
    QSerialPort* port_ = nullptr;
    QTimer* watch_ = nullptr;
    QSocketNotifier* hang_up_ = nullptr;  // while open: the line hangs up
    int reader_generation_ = 0;  // the opening the port is in
    MonotonicTime last_in_{};    // when bytes were last taken in
    MonotonicTime watch_until_{};  // someone waits for the line until then

    std::mutex mutex_;
    std::vector<ReceivedChunk> chunks_;  // guarded by mutex_
    MonotonicTime quiet_since_{};        // guarded by mutex_: seen quiet then
    std::condition_variable news_;       // bytes came, quiet seen, or closed

    std::atomic<bool> open_{false};
    MonotonicTime opened_at_{};
    int16_t comm_port_ = 1;
    // Counts openings and closings, so that a loss reported late for an
    // earlier opening is not taken for the loss of the present one.
    int generation_ = 0;
    std::function<void()> lost_;
};

}  // namespace tolvane
