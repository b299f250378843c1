// The desktop as the workspace sees it: the user's running processes with the application
// each belongs to (ProcessIdentity), where an application is installed (a bundle folder
// made for it, with its desktop entry's name and icon, so the rows show them as for any
// bundle), and sleep and wake from the login manager where the system bus is reachable.
//
// Made and installed by the program when it runs on the desktop's audio server.
// Observers run on the sleep watcher's thread.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "audioserver/BundleFolder.h"
#include "audioserver/WorkspaceObservers.h"
#include "desktop/ProcessIdentity.h"
#include "platform/appkit/WorkspaceService.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace desktop {

class SleepWatcher;

class DesktopWorkspace final : public appkit::WorkspaceService {
public:
    explicit DesktopWorkspace(std::shared_ptr<ProcessIdentity> identity);
    ~DesktopWorkspace() override;

    [[nodiscard]] std::vector<appkit::RunningApplication> runningApplications() const override;
    [[nodiscard]] std::optional<appkit::RunningApplication> runningApplication(std::int32_t pid) const override;
    [[nodiscard]] std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const override;
    [[nodiscard]] std::uint64_t addObserver(appkit::NotificationName name, std::function<void()> block) override;
    void removeObserver(std::uint64_t token) override;

private:
    [[nodiscard]] appkit::RunningApplication applicationOf(std::int32_t pid, const Identity& identity) const;
    [[nodiscard]] std::filesystem::path bundleFor(const Identity& identity) const;

    const std::shared_ptr<ProcessIdentity> identity_;
    mutable std::mutex mutex_;
    mutable audioserver::BundleFolder bundles_;
    // Bundles made so far, and the identities seen, by identifier.
    mutable std::map<std::string, std::filesystem::path> bundlePaths_;
    mutable std::map<std::string, Identity> seen_;
    audioserver::WorkspaceObservers observers_;
    std::unique_ptr<SleepWatcher> sleepWatcher_;
    bool hasTriedSleepWatcher_ = false;
};

}  // namespace desktop
