#include "desktop/DesktopWorkspace.h"

#include "desktop/SleepWatcher.h"

#include <utility>

namespace desktop {

DesktopWorkspace::DesktopWorkspace(std::shared_ptr<ProcessIdentity> identity) : identity_(std::move(identity)) {}

DesktopWorkspace::~DesktopWorkspace() {
    std::unique_ptr<SleepWatcher> watcher;
    {
        std::lock_guard lock(mutex_);
        watcher = std::move(sleepWatcher_);
    }
}

std::filesystem::path DesktopWorkspace::bundleFor(const Identity& identity) const {
    seen_[identity.identifier] = identity;
    const auto [found, isNew] = bundlePaths_.try_emplace(identity.identifier);
    if (isNew) {
        std::optional<std::string> icon;
        if (identity.iconFile) {
            icon = identity.iconFile->string();
        }
        // The identifier is a file name here: no folder may come of it.
        std::string folder = identity.identifier;
        for (char& c : folder) {
            c = c == '/' ? '_' : c;
        }
        found->second = bundles_.bundlePath(folder + ".app", identity.identifier, identity.name, icon);
    }
    return found->second;
}

appkit::RunningApplication DesktopWorkspace::applicationOf(std::int32_t pid, const Identity& identity) const {
    std::lock_guard lock(mutex_);
    return {pid, identity.identifier, identity.name, bundleFor(identity)};
}

std::vector<appkit::RunningApplication> DesktopWorkspace::runningApplications() const {
    std::vector<appkit::RunningApplication> applications;
    for (const auto& [pid, identity] : identity_->userProcesses()) {
        applications.push_back(applicationOf(pid, identity));
    }
    return applications;
}

std::optional<appkit::RunningApplication> DesktopWorkspace::runningApplication(std::int32_t pid) const {
    return applicationOf(pid, identity_->identify(pid));
}

std::optional<std::filesystem::path> DesktopWorkspace::URLForApplicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
    std::lock_guard lock(mutex_);
    if (const auto found = seen_.find(bundleIdentifier); found != seen_.end()) {
        return bundleFor(found->second);
    }
    if (const DesktopEntry* entry = identity_->entries().withID(bundleIdentifier)) {
        return bundleFor({entry->id, entry->name, identity_->entries().iconFile(entry->icon), true});
    }
    return std::nullopt;
}

std::uint64_t DesktopWorkspace::addObserver(appkit::NotificationName name, std::function<void()> block) {
    if (name != appkit::NSWorkspaceWillSleepNotification && name != appkit::NSWorkspaceDidWakeNotification) {
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        if (!hasTriedSleepWatcher_) {
            hasTriedSleepWatcher_ = true;
            sleepWatcher_ = SleepWatcher::start([this](bool isGoingToSleep) {
                observers_.post(isGoingToSleep ? appkit::NSWorkspaceWillSleepNotification
                                               : appkit::NSWorkspaceDidWakeNotification);
            });
        }
    }
    return observers_.add(name, std::move(block));
}

void DesktopWorkspace::removeObserver(std::uint64_t token) { observers_.remove(token); }

}  // namespace desktop
