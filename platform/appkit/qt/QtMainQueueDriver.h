// Drives the main queue from Qt's event loop: one single-shot timer, armed for the
// earliest pending main-queue deadline, drains the queue on the GUI thread when it
// fires and re-arms itself for whatever is left. Nothing is armed while nothing is
// pending, so an idle application costs no wake-ups.
//
// Wake-ups from other threads reach the GUI thread through an eventfd watched by the
// event loop; the deadline itself crosses in an atomic. A main-queue item may run a nested
// event loop (a modal alert): the items due after it keep running inside that loop.
// Owned by whoever installs it (QtEventLoop, or a test) with MainRunLoop::setDriver.
// Thread-safety: wake() from any thread; everything else on the GUI thread, which
// must be the thread that created it.
#pragma once

#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "platform/dispatch/MainRunLoop.h"

namespace appkit {

class QtMainQueueDriver final : public dispatch::MainQueueDriver {
public:
    // Needs a QCoreApplication.
    QtMainQueueDriver();
    ~QtMainQueueDriver() override;
    QtMainQueueDriver(const QtMainQueueDriver&) = delete;
    QtMainQueueDriver& operator=(const QtMainQueueDriver&) = delete;

    void wake(dispatch::Seconds due) override;

    // The deadline the timer is armed for; none while nothing is pending.
    [[nodiscard]] std::optional<dispatch::Seconds> armedDeadline() const;

private:
    void takeRequestedWake();
    void arm(dispatch::Seconds due);
    void fire();

    const std::thread::id guiThread_;
    int eventFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    // The earliest deadline asked for by other threads and not yet taken; +infinity when none.
    std::atomic<dispatch::Seconds> requestedDue_;
    QTimer timer_;
    std::optional<dispatch::Seconds> armedDue_;
};

}  // namespace appkit
