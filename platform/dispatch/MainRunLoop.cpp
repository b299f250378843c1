#include "platform/dispatch/MainRunLoop.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/QueueCore.h"
#include "platform/dispatch/ThreadScheduler.h"
#include "platform/dispatch/VirtualScheduler.h"

#include <atomic>

namespace dispatch {

namespace {
std::atomic<MainQueueDriver*> gDriver{nullptr};
std::atomic<bool> gIsStopRequested{false};

detail::QueueCore& mainCore() { return detail::QueueAccess::core(*DispatchQueue::main()); }
}  // namespace

namespace detail {
MainQueueDriver* installedMainDriver() { return gDriver.load(); }
}  // namespace detail

void MainRunLoop::run() {
    if (detail::VirtualScheduler* scheduler = detail::installedVirtualScheduler()) {
        while (!gIsStopRequested.exchange(false)) {
            if (!scheduler->runNext()) {
                return;
            }
        }
        return;
    }
    detail::ThreadScheduler::instance().runMain(mainCore(), gIsStopRequested);
}

void MainRunLoop::stop() {
    gIsStopRequested.store(true);
    detail::ThreadScheduler::instance().wakeMain(mainCore());
}

std::optional<Seconds> MainRunLoop::drain() {
    if (detail::VirtualScheduler* scheduler = detail::installedVirtualScheduler()) {
        return scheduler->drain(mainCore());
    }
    return detail::ThreadScheduler::instance().drainMain(mainCore());
}

void MainRunLoop::setDriver(MainQueueDriver* driver) {
    gDriver.store(driver);
    if (driver == nullptr) {
        return;
    }
    if (auto next = detail::ThreadScheduler::instance().nextDeadline(mainCore())) {
        driver->wake(*next);
    }
}

}  // namespace dispatch
