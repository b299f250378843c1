#include "audioserver/WorkspaceObservers.h"

#include <utility>

namespace audioserver {

std::uint64_t WorkspaceObservers::add(appkit::NotificationName name, std::function<void()> block) {
    std::lock_guard lock(mutex_);
    const std::uint64_t token = nextToken_++;
    observers_.push_back({token, name, std::make_shared<const std::function<void()>>(std::move(block))});
    return token;
}

void WorkspaceObservers::remove(std::uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const Observer& observer) { return observer.token == token; });
}

std::size_t WorkspaceObservers::count() const {
    std::lock_guard lock(mutex_);
    return observers_.size();
}

void WorkspaceObservers::post(appkit::NotificationName name) const {
    std::vector<std::shared_ptr<const std::function<void()>>> blocks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& observer : observers_) {
            if (observer.name == name) {
                blocks.push_back(observer.block);
            }
        }
    }
    for (const auto& block : blocks) {
        (*block)();
    }
}

}  // namespace audioserver
