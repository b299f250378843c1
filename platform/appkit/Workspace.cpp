#include "platform/appkit/Workspace.h"

#include <utility>

#include "platform/appkit/WorkspaceService.h"

namespace appkit {

std::optional<RunningApplication> RunningApplication::runningApplicationWithProcessIdentifier(std::int32_t pid) {
    const std::shared_ptr<WorkspaceService> service = WorkspaceInstalledService();
    if (!service) {
        return std::nullopt;
    }
    return service->runningApplication(pid);
}

Workspace& Workspace::sharedWorkspace() {
    static Workspace workspace;
    return workspace;
}

std::vector<RunningApplication> Workspace::runningApplications() const {
    const std::shared_ptr<WorkspaceService> service = WorkspaceInstalledService();
    if (!service) {
        return {};
    }
    return service->runningApplications();
}

std::optional<std::filesystem::path> Workspace::URLForApplicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
    const std::shared_ptr<WorkspaceService> service = WorkspaceInstalledService();
    if (!service) {
        return std::nullopt;
    }
    return service->URLForApplicationWithBundleIdentifier(bundleIdentifier);
}

NotificationCenter& Workspace::notificationCenter() const { return workspaceNotificationCenter(); }

bool Workspace::openURL(const std::string& url) { return urlOpener()->open(url); }

std::shared_ptr<URLOpening> Workspace::setURLOpener(std::shared_ptr<URLOpening> opener) {
    std::lock_guard lock(openerMutex_);
    opener_ = opener ? std::move(opener) : std::make_shared<InMemoryURLOpener>();
    return opener_;
}

std::shared_ptr<URLOpening> Workspace::urlOpener() const {
    std::lock_guard lock(openerMutex_);
    return opener_;
}

}  // namespace appkit
