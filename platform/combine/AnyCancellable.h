// The handle of one subscription: cancelling it, or destroying it, ends the subscription.
// Made by a publisher's sink and owned by the subscriber, usually as a member, so that a
// subscription never outlives the object that reacts to it. Safe to cancel or destroy
// after the publisher is gone.
// Thread-safety: main thread only, like the publishers it comes from.
#pragma once

#include <functional>

namespace combine {

class [[nodiscard]] AnyCancellable {
public:
    AnyCancellable() = default;
    explicit AnyCancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~AnyCancellable() { cancel(); }
    AnyCancellable(AnyCancellable&& other) noexcept;
    // Ends the subscription held so far, then takes over the other one.
    AnyCancellable& operator=(AnyCancellable&& other) noexcept;
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;

    // Ends the subscription; later calls do nothing.
    void cancel();

private:
    std::function<void()> cancel_;
};

}  // namespace combine
