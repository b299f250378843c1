// What the device, process and lifecycle monitors share: creation in a std::shared_ptr whose
// closures hold it weakly, a private serial queue where all its state lives, start and stop
// posted there, the handler of the latest start, one debounced work item, delivery on the
// owner's queue, and a synchronous stop on release. A monitor derives from
// Monitor<itself, its interface> and supplies, on its queue: beginObserving() at the first
// start, endObserving() at a stop, and didStart() after every start when a start should
// deliver (a snapshot for the newer handler). Its destructor calls stopForRelease(): by the
// time this base is destroyed the monitor's own registrations are gone.
// Thread-safety: start, stop and release may be called from any thread; the rest runs on
// the monitor's queue.
#pragma once

#include <memory>
#include <utility>

#include "observe/DebouncedWorkItem.h"
#include "observe/MonitorQueue.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

template <typename Derived, typename Monitoring>
class Monitor : public Monitoring, public std::enable_shared_from_this<Derived> {
public:
    using Handler = typename Monitoring::Handler;

    // Deliveries are handed to their handler on deliveryQueue.
    [[nodiscard]] static std::shared_ptr<Derived> create(dispatch::QueuePtr deliveryQueue) {
        return std::make_shared<Derived>(std::move(deliveryQueue), Passkey{});
    }

    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // Both return at once; the work happens on the monitor's queue.
    void start(Handler handler) final {
        post([handler = std::move(handler)](Derived& self) { self.startOnQueue(handler); });
    }
    void stop() final {
        post([](Derived& self) { self.stopOnQueue(); });
    }

protected:
    // Only create() makes one.
    class Passkey {
        friend class Monitor;
        Passkey() = default;
    };

    Monitor(const char* queueLabel, dispatch::QueuePtr deliveryQueue, dispatch::Seconds debounceDelay)
        : monitorQueue_(queueLabel),
          deliveryQueue_(std::move(deliveryQueue)),
          debounced_(monitorQueue_.queue(), debounceDelay) {}
    ~Monitor() override = default;

    // For the monitor's destructor: stops while its own parts still live.
    void stopForRelease() {
        monitorQueue_.runTeardown([this] { stopOnQueue(); });
    }

    [[nodiscard]] bool isStarted() const { return isStarted_; }
    [[nodiscard]] const dispatch::QueuePtr& queue() const { return monitorQueue_.queue(); }

    // Runs work on the monitor, on its queue, while the monitor lives.
    template <typename Fn>
    void post(Fn work) {
        monitorQueue_.post(this->weak_from_this(), std::move(work));
    }
    // A property listener block for the monitor's queue that runs onChange while it lives.
    template <typename Fn>
    [[nodiscard]] AudioObjectPropertyListenerBlock listener(Fn onChange) {
        return MonitorQueue::weakListener(this->weak_from_this(), std::move(onChange));
    }
    // Runs work once the triggers have settled for the debounce delay.
    void debounce(void (Derived::*work)()) {
        debounced_.schedule(dispatch::weakly(this->weak_from_this(), [work](Derived& self) { (self.*work)(); }));
    }
    // To the handler of this moment, on the delivery queue: a value produced just before a
    // stop still reaches it, and the owner drops it by its start generation.
    template <typename Value>
    void deliver(Value value) const {
        if (!handler_) {
            return;
        }
        deliveryQueue_->async([handler = handler_, value = std::move(value)] { handler(value); });
    }

    // Delivers nothing: a monitor that delivers on start says what.
    void didStart() {}

private:
    void startOnQueue(Handler handler) {
        handler_ = std::move(handler);
        if (!isStarted_) {
            isStarted_ = true;
            static_cast<Derived&>(*this).beginObserving();
        }
        static_cast<Derived&>(*this).didStart();
    }
    void stopOnQueue() {
        debounced_.cancel();
        static_cast<Derived&>(*this).endObserving();
        handler_ = nullptr;
        isStarted_ = false;
    }

    MonitorQueue monitorQueue_;
    const dispatch::QueuePtr deliveryQueue_;
    Handler handler_;
    DebouncedWorkItem debounced_;
    bool isStarted_ = false;
};

}  // namespace tonvale
