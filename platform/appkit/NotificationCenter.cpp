#include "platform/appkit/NotificationCenter.h"

#include <optional>
#include <utility>

#include "sim/SimulatedServer.h"

namespace appkit {

namespace {

std::optional<sim::WorkspaceNotification> workspaceNotification(NotificationName name) {
    if (name == NSWorkspaceWillSleepNotification) {
        return sim::WorkspaceNotification::willSleep;
    }
    if (name == NSWorkspaceDidWakeNotification) {
        return sim::WorkspaceNotification::didWake;
    }
    return std::nullopt;
}

}  // namespace

NotificationObserverToken NotificationCenter::addObserver(NotificationName name, const void* /*object*/,
                                                          dispatch::QueuePtr queue, std::function<void()> block) {
    const std::optional<sim::WorkspaceNotification> notification = workspaceNotification(name);
    const std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::current();
    if (!notification || !server) {
        return {};
    }
    if (queue) {
        block = [queue = std::move(queue), block = std::move(block)] { queue->async(block); };
    }
    return {server, server->addWorkspaceObserver(*notification, std::move(block))};
}

void NotificationCenter::removeObserver(const NotificationObserverToken& token) {
    if (const std::shared_ptr<sim::SimulatedServer> server = token.server.lock()) {
        server->removeWorkspaceObserver(token.serverToken);
    }
}

NotificationCenter& workspaceNotificationCenter() {
    static NotificationCenter center;
    return center;
}

}  // namespace appkit
