#include "platform/appkit/Workspace.h"

#include "sim/SimulatedServer.h"

namespace appkit {

std::optional<RunningApplication> RunningApplication::runningApplicationWithProcessIdentifier(std::int32_t pid) {
    for (auto& application : Workspace::sharedWorkspace().runningApplications()) {
        if (application.processIdentifier == pid) {
            return application;
        }
    }
    return std::nullopt;
}

Workspace& Workspace::sharedWorkspace() {
    static Workspace workspace;
    return workspace;
}

std::vector<RunningApplication> Workspace::runningApplications() const {
    std::vector<RunningApplication> applications;
    const std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::current();
    if (!server) {
        return applications;
    }
    for (auto& info : server->runningApplications()) {
        applications.push_back({info.processIdentifier, std::move(info.bundleIdentifier), std::move(info.localizedName),
                                std::move(info.bundleURL)});
    }
    return applications;
}

std::optional<std::filesystem::path> Workspace::URLForApplicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
    for (const auto& application : runningApplications()) {
        if (application.bundleIdentifier == bundleIdentifier && application.bundleURL) {
            return application.bundleURL;
        }
    }
    return std::nullopt;
}

NotificationCenter& Workspace::notificationCenter() const { return workspaceNotificationCenter(); }

}  // namespace appkit
