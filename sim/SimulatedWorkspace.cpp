#include "sim/SimulatedWorkspace.h"

#include "sim/World.h"

#include <optional>
#include <utility>

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
    const std::optional<WorkspaceNotification> notification = workspaceNotification(name);
    if (!notification || world_.expired()) {
        return 0;
    }
    return addObserver(*notification, std::move(block));
}

std::uint64_t SimulatedWorkspace::addObserver(WorkspaceNotification notification, std::function<void()> block) {
    std::lock_guard lock(mutex_);
    const std::uint64_t token = nextToken_++;
    observers_.push_back({token, notification, std::make_shared<const std::function<void()>>(std::move(block))});
    return token;
}

void SimulatedWorkspace::removeObserver(std::uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const Observer& observer) { return observer.token == token; });
}

std::size_t SimulatedWorkspace::observerCount() const {
    std::lock_guard lock(mutex_);
    return observers_.size();
}

void SimulatedWorkspace::post(WorkspaceNotification notification) {
    std::vector<std::shared_ptr<const std::function<void()>>> blocks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& observer : observers_) {
            if (observer.notification == notification) {
                blocks.push_back(observer.block);
            }
        }
    }
    for (const auto& block : blocks) {
        (*block)();
    }
}

}  // namespace sim
