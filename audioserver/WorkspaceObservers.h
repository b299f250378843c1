// The observers of a workspace service's notifications (sleep and wake): tokens, removal,
// and posting, which calls each observer of the name on the posting thread.
//
// Owned by a workspace service (the simulated one, or the desktop's).
// Thread-safety: every operation may be called from any thread; post calls the observers
// without holding the lock, so an observer may add or remove observers.
#pragma once

#include "platform/appkit/NotificationCenter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace audioserver {

class WorkspaceObservers {
public:
    [[nodiscard]] std::uint64_t add(appkit::NotificationName name, std::function<void()> block);
    void remove(std::uint64_t token);
    [[nodiscard]] std::size_t count() const;
    void post(appkit::NotificationName name) const;

private:
    struct Observer {
        std::uint64_t token = 0;
        appkit::NotificationName name;
        std::shared_ptr<const std::function<void()>> block;
    };

    mutable std::mutex mutex_;
    std::vector<Observer> observers_;
    std::uint64_t nextToken_ = 1;
};

}  // namespace audioserver
