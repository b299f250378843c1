#include "platform/appkit/WorkspaceService.h"

#include <mutex>
#include <utility>

namespace appkit {

namespace {

std::mutex& installMutex() {
    static std::mutex mutex;
    return mutex;
}

std::weak_ptr<WorkspaceService>& installedService() {
    static std::weak_ptr<WorkspaceService> service;
    return service;
}

}  // namespace

std::optional<RunningApplication> WorkspaceService::runningApplication(std::int32_t pid) const {
    for (RunningApplication& application : runningApplications()) {
        if (application.processIdentifier == pid) {
            return std::move(application);
        }
    }
    return std::nullopt;
}

void WorkspaceInstallService(const std::shared_ptr<WorkspaceService>& service) {
    std::lock_guard lock(installMutex());
    installedService() = service;
}

std::shared_ptr<WorkspaceService> WorkspaceInstalledService() {
    std::lock_guard lock(installMutex());
    return installedService().lock();
}

}  // namespace appkit
