#include "platform/dispatch/QueueCore.h"

namespace dispatch::detail {

void QueueCore::setSpecific(const void* key, void* value) {
    std::lock_guard lock(specificsMutex_);
    if (value == nullptr) {
        specifics_.erase(key);
        return;
    }
    specifics_[key] = value;
}

void* QueueCore::specific(const void* key) const {
    std::lock_guard lock(specificsMutex_);
    auto found = specifics_.find(key);
    return found == specifics_.end() ? nullptr : found->second;
}

}  // namespace dispatch::detail
