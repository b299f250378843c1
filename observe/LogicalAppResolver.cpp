#include "observe/LogicalAppResolver.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"

namespace tonvale {

namespace {

constexpr std::string_view kAppBundleSuffix = ".app";
// Web content processes live inside the system's WebKit framework bundles, yet belong to
// whichever app embeds them: their own identifier is the better answer.
constexpr std::string_view kWebKitPrefix = "com.apple.WebKit.";

bool isBlank(std::string_view text) {
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t index = 0;
    while (index < length) {
        UChar32 codePoint = 0;
        U8_NEXT(text.data(), index, length, codePoint);
        if (codePoint < 0 || !u_isUWhiteSpace(codePoint)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> firstNonBlank(std::initializer_list<const std::optional<std::string>*> candidates) {
    for (const std::optional<std::string>* candidate : candidates) {
        if (candidate->has_value() && !isBlank(**candidate)) {
            return **candidate;
        }
    }
    return std::nullopt;
}

// The application bundle that encloses everything below it: for a helper at
// Browser.app/Contents/Frameworks/.../Helper.app that is Browser.app, not the helper.
std::optional<foundation::Bundle> outermostAppBundle(const std::optional<std::filesystem::path>& bundleURL) {
    if (!bundleURL) {
        return std::nullopt;
    }
    // Standardized first, so "Player.app/Contents/.." cannot hide or invent an app bundle.
    const std::filesystem::path path = bundleURL->lexically_normal();
    std::filesystem::path prefix;
    for (const std::filesystem::path& component : path) {
        prefix /= component;
        if (component.native().ends_with(kAppBundleSuffix)) {
            return foundation::Bundle::at(prefix);
        }
    }
    return std::nullopt;
}

std::optional<std::string> familyRoot(const std::string& bundleID) {
    for (const std::string& family : knownAppFamilies()) {
        if (bundleID == family ||
            (bundleID.starts_with(family) && bundleID.size() > family.size() && bundleID[family.size()] == '.')) {
            return family;
        }
    }
    return std::nullopt;
}

bool hasPlayingProcess(const LogicalAppProcessGroup& group) {
    return std::any_of(group.processes.begin(), group.processes.end(),
                       [](const AudioProcessInfo& process) { return process.isRunningOutput; });
}

bool sortsBefore(const std::string& lhs, const std::string& rhs) {
    return foundation::localizedCaseInsensitiveCompare(lhs, rhs) == std::weak_ordering::less;
}

}  // namespace

const std::vector<std::string>& knownAppFamilies() {
    static const std::vector<std::string> families{"com.google.Chrome", "org.chromium.Chromium", "org.mozilla.firefox",
                                                   "org.videolan.vlc", "com.colliderli.iina"};
    return families;
}

std::optional<std::string> knownDisplayName(const std::string& bundleID) {
    static const std::map<std::string, std::string, std::less<>> names{
        {"com.google.Chrome", "Google Chrome"}, {"org.chromium.Chromium", "Chromium"},
        {"org.mozilla.firefox", "Firefox"},     {"org.videolan.vlc", "VLC"},
        {"com.colliderli.iina", "IINA"},
    };
    const auto found = names.find(bundleID);
    if (found == names.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<AudioObjectID> LogicalAppProcessGroup::activeProcessObjectIDs() const {
    std::vector<AudioObjectID> objectIDs;
    for (const AudioProcessInfo& process : processes) {
        if (process.isRunningOutput) {
            objectIDs.push_back(process.objectID);
        }
    }
    std::sort(objectIDs.begin(), objectIDs.end());
    return objectIDs;
}

std::optional<RunningAppMetadata> LogicalAppResolver::standardRunningAppLookup(std::int32_t pid) {
    std::optional<appkit::RunningApplication> application =
        appkit::RunningApplication::runningApplicationWithProcessIdentifier(pid);
    if (!application) {
        return std::nullopt;
    }
    return RunningAppMetadata{std::move(application->bundleIdentifier), std::move(application->localizedName),
                              std::move(application->bundleURL)};
}

LogicalAppResolver::RunningAppLookup LogicalAppResolver::snapshotRunningAppLookup() {
    auto applications = std::make_shared<std::unordered_map<std::int32_t, RunningAppMetadata>>();
    for (appkit::RunningApplication& application : appkit::Workspace::sharedWorkspace().runningApplications()) {
        applications->try_emplace(
            application.processIdentifier,
            RunningAppMetadata{std::move(application.bundleIdentifier), std::move(application.localizedName),
                               std::move(application.bundleURL)});
    }
    return [applications](std::int32_t pid) -> std::optional<RunningAppMetadata> {
        const auto found = applications->find(pid);
        if (found == applications->end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

std::optional<AppIdentity> LogicalAppResolver::logicalIdentity(const AudioProcessInfo& process) const {
    if (process.pid == ownPID) {
        return std::nullopt;
    }
    const std::optional<RunningAppMetadata> runningApp =
        runningAppLookup ? runningAppLookup(process.pid) : std::nullopt;
    const std::optional<std::string> runningBundleID = runningApp ? runningApp->bundleID : std::nullopt;
    const std::optional<std::string> runningName = runningApp ? runningApp->displayName : std::nullopt;
    const std::optional<foundation::Bundle> bundle =
        outermostAppBundle(runningApp ? runningApp->bundleURL : std::nullopt);
    // A blank identifier is no identifier, wherever it comes from: taken as the logical
    // one, it would merge unrelated apps into one row whose settings cannot be kept.
    std::optional<std::string> bundleBundleID = bundle ? bundle->bundleIdentifier() : std::nullopt;
    if (bundleBundleID && isBlank(*bundleBundleID)) {
        bundleBundleID.reset();
    }

    const std::optional<std::string> ownProcessBundleID = process.bundleID;
    const std::optional<std::string> candidate =
        firstNonBlank({&ownProcessBundleID, &runningBundleID, &bundleBundleID});
    if (!candidate || *candidate == ownBundleID) {
        return std::nullopt;
    }

    std::string logicalID;
    if (bundleBundleID && *bundleBundleID != *candidate && !bundleBundleID->starts_with(kWebKitPrefix)) {
        logicalID = familyRoot(*bundleBundleID).value_or(*bundleBundleID);
    } else {
        logicalID = familyRoot(*candidate).value_or(*candidate);
    }
    if (logicalID == ownBundleID) {
        return std::nullopt;
    }

    if (std::optional<std::string> known = knownDisplayName(logicalID)) {
        return AppIdentity{std::move(logicalID), std::move(*known)};
    }
    std::optional<std::string> bundleName;
    if (bundle) {
        bundleName = bundle->infoValue("CFBundleDisplayName");
        if (!bundleName) {
            bundleName = bundle->infoValue("CFBundleName");
        }
    }
    const std::optional<std::string> processName = process.displayName;
    std::string displayName = firstNonBlank({&bundleName, &runningName, &processName}).value_or(logicalID);
    return AppIdentity{std::move(logicalID), std::move(displayName)};
}

std::vector<LogicalAppProcessGroup> LogicalAppResolver::resolve(const std::vector<AudioProcessInfo>& processes) const {
    std::vector<LogicalAppProcessGroup> groups;
    std::map<std::string, std::size_t, std::less<>> groupIndexByBundleID;
    for (const AudioProcessInfo& process : processes) {
        std::optional<AppIdentity> identity = logicalIdentity(process);
        if (!identity) {
            continue;
        }
        const auto [found, isNew] = groupIndexByBundleID.try_emplace(identity->bundleID, groups.size());
        if (isNew) {
            groups.push_back(LogicalAppProcessGroup{std::move(*identity), {process}});
            continue;
        }
        LogicalAppProcessGroup& group = groups[found->second];
        group.processes.push_back(process);
        std::stable_sort(
            group.processes.begin(), group.processes.end(),
            [](const AudioProcessInfo& lhs, const AudioProcessInfo& rhs) { return lhs.objectID < rhs.objectID; });
        if (sortsBefore(identity->displayName, group.identity.displayName)) {
            group.identity.displayName = std::move(identity->displayName);
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const LogicalAppProcessGroup& lhs, const LogicalAppProcessGroup& rhs) {
                         const bool lhsIsActive = hasPlayingProcess(lhs);
                         const bool rhsIsActive = hasPlayingProcess(rhs);
                         if (lhsIsActive != rhsIsActive) {
                             return lhsIsActive;
                         }
                         return sortsBefore(lhs.identity.displayName, rhs.identity.displayName);
                     });
    return groups;
}

}  // namespace tonvale
