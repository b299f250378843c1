// What answers the workspace's questions about applications and posts its sleep and wake
// notifications. Whatever stands in for the desktop implements it and installs itself
// (the simulated audio server does at start-up, as it installs the audio hardware service).
//
// The installed service is held weakly: while none is installed, or after it is gone, the
// workspace lists no applications and posts nothing.
// Thread-safety: install and the look-up may be called from any thread; an implementation
// must accept calls from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NotificationCenter.h"
#include "platform/appkit/RunningApplication.h"

namespace appkit {

class WorkspaceService {
public:
    virtual ~WorkspaceService() = default;

    // Every running application, in a stable order.
    [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() const = 0;
    // The running application with that process identifier. The plain answer searches the
    // list; a service that can look it up directly answers without copying the list.
    [[nodiscard]] virtual std::optional<RunningApplication> runningApplication(std::int32_t pid) const;
    // Where the application with that bundle identifier is installed, running or not.
    [[nodiscard]] virtual std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const = 0;
    // Calls block on the posting thread each time name is posted; answers a token for
    // removeObserver, or 0 for a name this service never posts.
    [[nodiscard]] virtual std::uint64_t addObserver(NotificationName name, std::function<void()> block) = 0;
    virtual void removeObserver(std::uint64_t token) = 0;
};

// Makes service the one that answers the workspace (nullptr: none).
void WorkspaceInstallService(const std::shared_ptr<WorkspaceService>& service);
// The installed service, if it is still alive.
[[nodiscard]] std::shared_ptr<WorkspaceService> WorkspaceInstalledService();

}  // namespace appkit
