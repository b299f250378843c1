#include "platform/dispatch/DispatchSourceTimer.h"

#include "platform/dispatch/QueueCore.h"
#include "platform/dispatch/Scheduler.h"

#include <cmath>
#include <mutex>
#include <optional>

namespace dispatch {

namespace {

// Each arming submits one fire to the queue. A fire carries the arming's
// number, so a fire that was already running when the timer was re-scheduled
// or cancelled does nothing; the pending fire is withdrawn so that a cancelled
// timer neither keeps its queue alive nor counts as pending work.
class QueueTimer final : public DispatchSourceTimer, public std::enable_shared_from_this<QueueTimer> {
public:
    explicit QueueTimer(QueuePtr queue) : queue_(std::move(queue)) {}

    ~QueueTimer() override {
        std::lock_guard lock(mutex_);
        withdrawPending();
    }

    void schedule(Seconds deadlineFromNow, Seconds interval) override {
        std::lock_guard lock(mutex_);
        deadline_ = detail::activeScheduler().now() + detail::orderableDelay(deadlineFromNow);
        interval_ = detail::orderableDelay(interval);
        isScheduled_ = true;
        arm();
    }

    void setEventHandler(std::function<void()> handler) override {
        auto replacement = std::make_shared<std::function<void()>>(std::move(handler));
        std::lock_guard lock(mutex_);
        if (isCancelled_) {
            return;
        }
        handler_.swap(replacement);
    }

    void resume() override {
        std::lock_guard lock(mutex_);
        if (isResumed_) {
            return;
        }
        isResumed_ = true;
        arm();
    }

    void cancel() override {
        std::shared_ptr<std::function<void()>> released;
        std::lock_guard lock(mutex_);
        isCancelled_ = true;
        ++arming_;
        withdrawPending();
        released.swap(handler_);
    }

    [[nodiscard]] bool isCancelled() const override {
        std::lock_guard lock(mutex_);
        return isCancelled_;
    }

private:
    // Submits the fire for deadline_ when the timer is live; called locked.
    void arm() {
        withdrawPending();
        ++arming_;
        if (!isResumed_ || !isScheduled_ || isCancelled_) {
            return;
        }
        auto fire = [weak = weak_from_this(), arming = arming_] {
            if (auto timer = weak.lock()) {
                timer->fire(arming);
            }
        };
        pending_ = detail::activeScheduler().submit(queue_, deadline_, std::move(fire));
    }

    void withdrawPending() {
        if (pending_) {
            detail::withdraw(detail::QueueAccess::core(*queue_), *pending_);
            pending_.reset();
        }
    }

    void fire(std::uint64_t arming) {
        std::shared_ptr<std::function<void()>> handler;
        {
            std::lock_guard lock(mutex_);
            if (arming != arming_) {
                return;
            }
            pending_.reset();
            handler = handler_;
        }
        if (handler && *handler) {
            (*handler)();
        }
        std::lock_guard lock(mutex_);
        if (arming != arming_ || interval_ <= 0) {
            return;
        }
        // Fires missed while the queue was busy coalesce into the next one, as
        // on the platform; in virtual time none are ever missed.
        const Seconds current = detail::activeScheduler().now();
        Seconds next = deadline_ + interval_;
        if (next < current) {
            next += std::ceil((current - next) / interval_) * interval_;
        }
        deadline_ = next;
        arm();
    }

    const QueuePtr queue_;
    mutable std::mutex mutex_;
    std::shared_ptr<std::function<void()>> handler_;
    Seconds deadline_ = 0;
    Seconds interval_ = 0;
    bool isScheduled_ = false;
    bool isResumed_ = false;
    bool isCancelled_ = false;
    std::uint64_t arming_ = 0;
    std::optional<detail::Ticket> pending_;
};

}  // namespace

std::shared_ptr<DispatchSourceTimer> DispatchSourceTimer::create(QueuePtr queue) {
    return std::make_shared<QueueTimer>(std::move(queue));
}

}  // namespace dispatch
