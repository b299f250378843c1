// The workspace's notification center: observers of the machine's sleep and wake.
//
// The installed workspace service posts the notifications; an observer's block runs on
// the posting thread, or asynchronously on the queue given when it was added. One center
// per process, reached through the shared workspace; observers live in the service that
// was installed when they were added.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/dispatch/Dispatch.h"

namespace appkit {

class WorkspaceService;

using NotificationName = std::string_view;

inline constexpr NotificationName NSWorkspaceWillSleepNotification = "NSWorkspaceWillSleepNotification";
inline constexpr NotificationName NSWorkspaceDidWakeNotification = "NSWorkspaceDidWakeNotification";

// What addObserver returns and removeObserver takes back. An empty token observes nothing.
struct NotificationObserverToken {
    std::weak_ptr<WorkspaceService> service;
    std::uint64_t serviceToken = 0;
};

class NotificationCenter {
public:
    // Observes name; the workspace is the only sender, so object is ignored. With no
    // queue the block runs on the posting thread.
    // A name the workspace never posts, or no installed service, gives an empty token.
    [[nodiscard]] NotificationObserverToken addObserver(NotificationName name, const void* object,
                                                        dispatch::QueuePtr queue, std::function<void()> block);
    // Removing an empty or already removed token does nothing.
    void removeObserver(const NotificationObserverToken& token);
};

// The workspace's notification center (NSWorkspace's notificationCenter).
[[nodiscard]] NotificationCenter& workspaceNotificationCenter();

}  // namespace appkit
