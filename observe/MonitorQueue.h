// The private serial queue of one monitor, marked with a queue-specific key so the monitor
// can tell whether it already runs there. Owned by its monitor as a member; the monitor's
// state lives on this queue.
// Thread-safety: all operations may be called from any thread.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class MonitorQueue {
public:
    explicit MonitorQueue(const char* label);
    MonitorQueue(const MonitorQueue&) = delete;
    MonitorQueue& operator=(const MonitorQueue&) = delete;

    [[nodiscard]] const dispatch::QueuePtr& queue() const { return queue_; }
    [[nodiscard]] bool isCurrent() const;

    // Runs teardown on the queue before returning. The owner's last reference may go
    // inside one of its own closures; a sync onto the queue it already runs on would
    // never return, so there teardown runs directly.
    void runTeardown(const std::function<void()>& teardown);

    // Posts work on owner to the queue; it does nothing if the owner is gone by then.
    template <typename Owner, typename Fn>
    void post(const std::weak_ptr<Owner>& owner, Fn work) {
        queue_->async(dispatch::weakly(owner, std::move(work)));
    }

    // A property listener block, to be registered for this queue, that runs onChange on
    // owner while the owner lives.
    template <typename Owner, typename Fn>
    [[nodiscard]] static AudioObjectPropertyListenerBlock weakListener(const std::weak_ptr<Owner>& owner, Fn onChange) {
        return std::make_shared<const AudioObjectPropertyListenerBlock::element_type>(
            [work = dispatch::weakly(owner, std::move(onChange))](UInt32, const AudioObjectPropertyAddress*) {
                work();
            });
    }

private:
    const dispatch::QueuePtr queue_;
    // Its address is the queue-specific key; the value is this object.
    const char key_ = 0;
};

}  // namespace tonvale
