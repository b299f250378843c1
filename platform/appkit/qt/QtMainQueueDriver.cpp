#include "platform/appkit/qt/QtMainQueueDriver.h"

#include <QCoreApplication>

#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/dispatch/Clock.h"

namespace appkit {

namespace {

constexpr dispatch::Seconds kNone = std::numeric_limits<dispatch::Seconds>::infinity();
// A deadline further away than QTimer can wait is reached in steps.
constexpr double kLongestWaitMilliseconds = INT_MAX;

}  // namespace

QtMainQueueDriver::QtMainQueueDriver() : guiThread_(std::this_thread::get_id()), requestedDue_(kNone) {
    timer_.setSingleShot(true);
    // Never early: a main-queue item must not run before its deadline.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (eventFd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { takeRequestedWake(); });
    }
}

QtMainQueueDriver::~QtMainQueueDriver() {
    notifier_.reset();
    if (eventFd_ >= 0) {
        ::close(eventFd_);
    }
}

void QtMainQueueDriver::wake(dispatch::Seconds due) {
    if (std::this_thread::get_id() == guiThread_) {
        arm(due);
        return;
    }
    dispatch::Seconds requested = requestedDue_.load();
    while (due < requested && !requestedDue_.compare_exchange_weak(requested, due)) {
    }
    if (requested != kNone) {
        // A wake-up is already on its way and will take the earliest deadline.
        return;
    }
    if (eventFd_ < 0) {
        QMetaObject::invokeMethod(
            &timer_, [this] { takeRequestedWake(); }, Qt::QueuedConnection);
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(eventFd_, &one, sizeof one);
}

std::optional<dispatch::Seconds> QtMainQueueDriver::armedDeadline() const { return armedDue_; }

void QtMainQueueDriver::takeRequestedWake() {
    // Clear the eventfd before taking the deadline: a wake that lands in between then
    // rings again instead of being lost.
    std::uint64_t count = 0;
    if (eventFd_ >= 0) {
        [[maybe_unused]] const ssize_t read = ::read(eventFd_, &count, sizeof count);
    }
    const dispatch::Seconds due = requestedDue_.exchange(kNone);
    if (due != kNone) {
        arm(due);
    }
}

void QtMainQueueDriver::arm(dispatch::Seconds due) {
    if (armedDue_ && *armedDue_ <= due) {
        return;
    }
    armedDue_ = due;
    const double milliseconds = std::ceil(std::max(0.0, due - dispatch::now()) * 1000.0);
    timer_.start(static_cast<int>(std::min(milliseconds, kLongestWaitMilliseconds)));
}

void QtMainQueueDriver::fire() {
    // Armed while the items run: one of them may run a nested event loop (a modal alert),
    // and the items due after it must still run inside that loop. A drain that returns
    // first takes the wake-up back.
    armedDue_ = dispatch::now();
    timer_.start(0);
    const auto next = dispatch::MainRunLoop::drain();
    timer_.stop();
    armedDue_.reset();
    if (next) {
        arm(*next);
    }
}

}  // namespace appkit
