// A repeating timer on a queue: first fires at the deadline, then every
// interval, with zero leeway, until cancelled.
//
// Created suspended; resume() starts it. The handler runs on the timer's queue
// with that queue current. Cancelling is final and releases the handler. A
// timer whose last owner lets go without cancelling stops firing too.
//
// Thread-safety: every operation may be called from any thread, cancel also
// from the timer's own handler.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

#include <functional>
#include <memory>

namespace dispatch {

class DispatchSourceTimer {
public:
    [[nodiscard]] static std::shared_ptr<DispatchSourceTimer> create(QueuePtr queue);
    virtual ~DispatchSourceTimer() = default;

    // deadline is seconds from now; interval 0 means fire once. Scheduling a
    // running timer again replaces its pending deadline.
    virtual void schedule(Seconds deadlineFromNow, Seconds interval) = 0;
    virtual void setEventHandler(std::function<void()> handler) = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    [[nodiscard]] virtual bool isCancelled() const = 0;
};

}  // namespace dispatch
