// Waiting for a call on another thread in the window's event loop.
#include "qt/qt_send_progress.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The application quits while a call hangs: the wait must not report the
// call finished, or its thread would be joined without a time limit.
TEST(QtSendProgress, AWaitWhoseLoopIsEndedFromOutsideIsCancelled) {
    QtSendProgress progress(nullptr);
    std::promise<void> call;
    Waiting::Outcome outcome = Waiting::Outcome::finished;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
        outcome = progress.wait(call.get_future().share(), Clock::now() + 10s, "");
    });
    QCoreApplication::exec();
    progress.end();
    EXPECT_EQ(outcome, Waiting::Outcome::cancelled);
}

// A Cancel that lands between two calls of a send ends the next wait at once,
// and is gone with the send.
TEST(QtSendProgress, ACancelHoldsUntilTheSendEnds) {
    QtSendProgress progress(nullptr);
    std::promise<void> first, second;
    first.set_value();
    EXPECT_EQ(progress.wait(first.get_future().share(), Clock::now() + 1s, ""),
              Waiting::Outcome::finished);
    progress.cancel();
    const std::shared_future<void> hanging = second.get_future().share();
    EXPECT_EQ(progress.wait(hanging, Clock::now() + 1s, ""), Waiting::Outcome::cancelled);
    progress.end();
    EXPECT_TRUE(progress.cancelled());  // an errand's end is not the send's
    progress.send_over();
    EXPECT_EQ(progress.wait(hanging, Clock::now() + 50ms, ""), Waiting::Outcome::deadline_passed);
    progress.end();
}

}  // namespace
}  // namespace tolvane
