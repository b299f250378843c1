#include "sim/SimulatedWorkspace.h"

#include <optional>
#include <utility>

#include "sim/SimulatedServer.h"

namespace sim {

namespace {

std::optional<WorkspaceNotification> workspaceNotification(appkit::NotificationName name) {
    if (name == appkit::NSWorkspaceWillSleepNotification) {
        return WorkspaceNotification::willSleep;
    }
    if (name == appkit::NSWorkspaceDidWakeNotification) {
        return WorkspaceNotification::didWake;
    }
    return std::nullopt;
}

}  // namespace

std::vector<appkit::RunningApplication> SimulatedWorkspace::runningApplications() const {
    const std::shared_ptr<SimulatedServer> server = server_.lock();
    return server ? server->runningApplications() : std::vector<appkit::RunningApplication>{};
}

std::optional<std::filesystem::path> SimulatedWorkspace::URLForApplicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
    const std::shared_ptr<SimulatedServer> server = server_.lock();
    return server ? server->applicationURL(bundleIdentifier) : std::nullopt;
}

std::uint64_t SimulatedWorkspace::addObserver(appkit::NotificationName name, std::function<void()> block) {
    const std::optional<WorkspaceNotification> notification = workspaceNotification(name);
    const std::shared_ptr<SimulatedServer> server = server_.lock();
    if (!notification || !server) {
        return 0;
    }
    return server->addWorkspaceObserver(*notification, std::move(block));
}

void SimulatedWorkspace::removeObserver(std::uint64_t token) {
    if (const std::shared_ptr<SimulatedServer> server = server_.lock()) {
        server->removeWorkspaceObserver(token);
    }
}

}  // namespace sim
