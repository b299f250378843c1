// Closures that hold their owner weakly.
//
// A member closure posted to a queue captures a weak reference to its owner;
// when it runs after the owner is gone it does nothing.
//
// Thread-safety: the wrapper may run on any thread; the owner is kept alive
// for the duration of the call.
#pragma once

#include <functional>
#include <memory>

namespace dispatch {

template <typename Owner, typename Fn>
[[nodiscard]] std::function<void()> weakly(const std::shared_ptr<Owner>& owner, Fn fn) {
    return [weak = std::weak_ptr<Owner>(owner), fn = std::move(fn)]() mutable {
        if (auto strong = weak.lock()) {
            fn(*strong);
        }
    };
}

template <typename Owner, typename Fn>
[[nodiscard]] std::function<void()> weakly(const std::weak_ptr<Owner>& owner, Fn fn) {
    return [weak = owner, fn = std::move(fn)]() mutable {
        if (auto strong = weak.lock()) {
            fn(*strong);
        }
    };
}

}  // namespace dispatch
