#include "platform/combine/AnyCancellable.h"

#include <utility>

namespace combine {

AnyCancellable::AnyCancellable(AnyCancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}

AnyCancellable& AnyCancellable::operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
        cancel();
        cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
}

void AnyCancellable::cancel() {
    if (auto cancel = std::exchange(cancel_, nullptr)) {
        cancel();
    }
}

}  // namespace combine
