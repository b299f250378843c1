// The workspace: the running applications by process identifier, where an application's
// bundle lies, the notification center of sleep and wake, and opening URLs.
//
// Applications and notifications come from the installed workspace service (see
// WorkspaceService.h); URLs go to the installed opener (see URLOpening.h). One shared
// instance per process.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NotificationCenter.h"
#include "platform/appkit/RunningApplication.h"
#include "platform/appkit/URLOpening.h"

namespace appkit {

class Workspace {
public:
    [[nodiscard]] static Workspace& sharedWorkspace();

    // Every running application, in a stable order; empty when no service is installed.
    [[nodiscard]] std::vector<RunningApplication> runningApplications() const;
    // Where the application with that identifier is installed, running or not.
    [[nodiscard]] std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const;
    [[nodiscard]] NotificationCenter& notificationCenter() const;

    // Hands the URL to the installed opener; false when it could not be handed over.
    bool openURL(const std::string& url);
    // Installs the opener (nullptr restores a fresh in-memory one) and answers it.
    std::shared_ptr<URLOpening> setURLOpener(std::shared_ptr<URLOpening> opener);
    [[nodiscard]] std::shared_ptr<URLOpening> urlOpener() const;

private:
    mutable std::mutex openerMutex_;
    std::shared_ptr<URLOpening> opener_ = std::make_shared<InMemoryURLOpener>();
};

}  // namespace appkit
