#include "platform/appkit/NotificationCenter.h"

#include <utility>

#include "platform/appkit/WorkspaceService.h"

namespace appkit {

NotificationObserverToken NotificationCenter::addObserver(NotificationName name, const void* /*object*/,
                                                          dispatch::QueuePtr queue, std::function<void()> block) {
    const std::shared_ptr<WorkspaceService> service = WorkspaceInstalledService();
    if (!service) {
        return {};
    }
    if (queue) {
        block = [queue = std::move(queue), block = std::move(block)] { queue->async(block); };
    }
    const std::uint64_t token = service->addObserver(name, std::move(block));
    if (token == 0) {
        return {};
    }
    return {service, token};
}

void NotificationCenter::removeObserver(const NotificationObserverToken& token) {
    if (const std::shared_ptr<WorkspaceService> service = token.service.lock()) {
        service->removeObserver(token.serviceToken);
    }
}

NotificationCenter& workspaceNotificationCenter() {
    static NotificationCenter center;
    return center;
}

}  // namespace appkit
