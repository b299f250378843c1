#include "sim/SimulatedWorkspace.h"

#include "sim/World.h"

#include <optional>
#include <utility>

namespace sim {

namespace {

appkit::NotificationName nameOf(WorkspaceNotification notification) {
    switch (notification) {
        case WorkspaceNotification::willSleep:
            return appkit::NSWorkspaceWillSleepNotification;
        case WorkspaceNotification::didWake:
            return appkit::NSWorkspaceDidWakeNotification;
    }
    return {};
}

}  // namespace

namespace {

bool isRunningApplication(const Process& process) { return process.isLaunched && process.declared.application; }

appkit::RunningApplication runningApplicationOf(const Process& process) {
    return {process.pid, process.declared.application->bundleID, process.declared.application->localizedName,
            process.bundleURL};
}

}  // namespace

std::vector<appkit::RunningApplication> SimulatedWorkspace::runningApplications() const {
    std::vector<appkit::RunningApplication> applications;
    const std::shared_ptr<World> world = world_.lock();
    if (!world) {
        return applications;
    }
    std::lock_guard lock(world->mutex);
    for (const auto& process : world->processes) {
        if (isRunningApplication(process)) {
            applications.push_back(runningApplicationOf(process));
        }
    }
    return applications;
}

std::optional<appkit::RunningApplication> SimulatedWorkspace::runningApplication(std::int32_t pid) const {
    const std::shared_ptr<World> world = world_.lock();
    if (!world) {
        return std::nullopt;
    }
    std::lock_guard lock(world->mutex);
    for (const auto& process : world->processes) {
        if (process.pid == pid && isRunningApplication(process)) {
            return runningApplicationOf(process);
        }
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> SimulatedWorkspace::URLForApplicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
    const std::shared_ptr<World> world = world_.lock();
    if (!world) {
        return std::nullopt;
    }
    std::lock_guard lock(world->mutex);
    for (const auto& process : world->processes) {
        if (process.declared.application && process.declared.application->bundleID == bundleIdentifier &&
            process.bundleURL) {
            return process.bundleURL;
        }
    }
    return std::nullopt;
}

std::uint64_t SimulatedWorkspace::addObserver(appkit::NotificationName name, std::function<void()> block) {
    if ((name != appkit::NSWorkspaceWillSleepNotification && name != appkit::NSWorkspaceDidWakeNotification) ||
        world_.expired()) {
        return 0;
    }
    return observers_.add(name, std::move(block));
}

std::uint64_t SimulatedWorkspace::addObserver(WorkspaceNotification notification, std::function<void()> block) {
    return observers_.add(nameOf(notification), std::move(block));
}

void SimulatedWorkspace::removeObserver(std::uint64_t token) { observers_.remove(token); }

std::size_t SimulatedWorkspace::observerCount() const { return observers_.count(); }

void SimulatedWorkspace::post(WorkspaceNotification notification) { observers_.post(nameOf(notification)); }

}  // namespace sim
