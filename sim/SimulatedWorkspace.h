// The simulated world as the workspace sees it: its running applications, their bundle
// folders, and the machine's sleep and wake notifications with their observers.
//
// Made and installed by the simulated server at its creation, which owns it; holds the
// world weakly, so it answers nothing once the server is gone. Observers run on the thread
// that posts (the caller of sleep()/wake(), or "sim.events" for a scenario's events).
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "audioserver/WorkspaceObservers.h"
#include "platform/appkit/WorkspaceService.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

struct World;

enum class WorkspaceNotification { willSleep, didWake };

class SimulatedWorkspace final : public appkit::WorkspaceService {
public:
    explicit SimulatedWorkspace(const std::shared_ptr<World>& world) : world_(world) {}

    [[nodiscard]] std::vector<appkit::RunningApplication> runningApplications() const override;
    [[nodiscard]] std::optional<appkit::RunningApplication> runningApplication(std::int32_t pid) const override;
    // The bundle of the first declared application with that identifier, running or not.
    [[nodiscard]] std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const override;
    [[nodiscard]] std::uint64_t addObserver(appkit::NotificationName name, std::function<void()> block) override;
    void removeObserver(std::uint64_t token) override;

    [[nodiscard]] std::uint64_t addObserver(WorkspaceNotification notification, std::function<void()> block);
    [[nodiscard]] std::size_t observerCount() const;
    // Calls every observer of the notification on this thread.
    void post(WorkspaceNotification notification);

private:
    std::weak_ptr<World> world_;
    audioserver::WorkspaceObservers observers_;
};

}  // namespace sim
