// A publisher of values to any number of subscribers, and the subject that sends them.
// Subscribers see only Publisher (sink); the owner keeps the PassthroughSubject and
// sends. A value sent reaches, in subscription order, every subscriber subscribed when
// the send began and not cancelled before its turn; handlers may subscribe and cancel
// (themselves too) while a send runs. A handler must not destroy the subject's owner.
// Thread-safety: main thread only; no locks.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "platform/combine/AnyCancellable.h"

namespace combine {

template <typename... Values>
class Publisher {
public:
    using Handler = std::function<void(const Values&...)>;

    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // The handler gets every value sent until the answer is cancelled or destroyed.
    [[nodiscard]] AnyCancellable sink(Handler handler) {
        auto subscription = std::make_shared<Subscription>(std::move(handler));
        subscribers_->push_back(subscription);
        return AnyCancellable([weakSubscribers = std::weak_ptr<Subscribers>(subscribers_),
                               weakSubscription = std::weak_ptr<Subscription>(subscription)] {
            const auto cancelled = weakSubscription.lock();
            if (!cancelled) {
                return;
            }
            cancelled->isActive = false;
            if (const auto subscribers = weakSubscribers.lock()) {
                std::erase(*subscribers, cancelled);
            }
        });
    }

    [[nodiscard]] bool hasSubscribers() const noexcept { return !subscribers_->empty(); }

protected:
    Publisher() = default;
    ~Publisher() = default;

    void sendToSubscribers(const Values&... values) {
        if (subscribers_->empty()) {
            return;
        }
        // A copy, so that handlers may change the list; it also keeps each handler alive
        // while it runs, even when it cancels its own subscription.
        const Subscribers current = *subscribers_;
        for (const auto& subscription : current) {
            if (subscription->isActive) {
                subscription->handler(values...);
            }
        }
    }

private:
    struct Subscription {
        explicit Subscription(Handler handlerToCall) : handler(std::move(handlerToCall)) {}
        Handler handler;
        bool isActive = true;
    };
    using Subscribers = std::vector<std::shared_ptr<Subscription>>;

    // Shared with the cancellables only weakly, so they may outlive the publisher.
    std::shared_ptr<Subscribers> subscribers_ = std::make_shared<Subscribers>();
};

template <typename... Values>
class PassthroughSubject final : public Publisher<Values...> {
public:
    PassthroughSubject() = default;

    void send(const Values&... values) { this->sendToSubscribers(values...); }
};

}  // namespace combine
