// The simulated world as the workspace sees it: its running applications, their bundle
// folders, and the machine's sleep and wake notifications.
//
// Made and installed by the simulated server at its creation; holds the server weakly, so
// it answers nothing once the server is gone.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <memory>

#include "platform/appkit/WorkspaceService.h"

namespace sim {

class SimulatedServer;

class SimulatedWorkspace final : public appkit::WorkspaceService {
public:
    explicit SimulatedWorkspace(const std::shared_ptr<SimulatedServer>& server) : server_(server) {}

    [[nodiscard]] std::vector<appkit::RunningApplication> runningApplications() const override;
    [[nodiscard]] std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const override;
    [[nodiscard]] std::uint64_t addObserver(appkit::NotificationName name, std::function<void()> block) override;
    void removeObserver(std::uint64_t token) override;

private:
    std::weak_ptr<SimulatedServer> server_;
};

}  // namespace sim
