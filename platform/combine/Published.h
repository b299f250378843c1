// One published field of an ObservableObject. Every write first fires the object's
// objectWillChange, then tells the field's own subscribers the new value, and only then
// stores it: while they run, value() still answers the old value. Every write notifies,
// equal or not; owners that want "only on change" compare first.
// A member of its object, made with it: combine::Published<T> field{*this, initialValue}.
// Thread-safety: main thread only; no locks.
#pragma once

#include <utility>

#include "platform/combine/ObservableObject.h"
#include "platform/combine/PassthroughSubject.h"

namespace combine {

template <typename T>
class Published {
public:
    Published(ObservableObject& object, T initialValue)
        : objectWillChange_(object.objectWillChange_), value_(std::move(initialValue)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    [[nodiscard]] const T& value() const noexcept { return value_; }

    // Told the new value of every write, before it is stored.
    [[nodiscard]] Publisher<T>& publisher() noexcept { return willSet_; }

    void set(T newValue) {
        objectWillChange_.send();
        willSet_.send(newValue);
        value_ = std::move(newValue);
    }

    // Applies change to the value with the notifications of set. The value is changed in
    // place unless a subscriber wants the new value, so a large value is not copied
    // for a write nobody reads before it lands.
    template <typename Change>
    void modify(Change&& change) {
        objectWillChange_.send();
        if (!willSet_.hasSubscribers()) {
            std::forward<Change>(change)(value_);
            return;
        }
        T newValue = value_;
        std::forward<Change>(change)(newValue);
        willSet_.send(newValue);
        value_ = std::move(newValue);
    }

private:
    ObservableObjectPublisher& objectWillChange_;
    PassthroughSubject<T> willSet_;
    T value_;
};

}  // namespace combine
