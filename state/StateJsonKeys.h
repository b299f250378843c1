// The key names of the document's JSON form, in one place for the reader and the writer.
// Internal to state/.
// Thread-safety: constants.
#pragma once

#include <string_view>

namespace tonvale::stateJsonKeys {

// The document.
inline constexpr std::string_view kAppProfiles = "appProfiles";
inline constexpr std::string_view kFavoriteBundleIDs = "favoriteBundleIDs";
inline constexpr std::string_view kFuture = "future";
inline constexpr std::string_view kPreferences = "preferences";
inline constexpr std::string_view kSchemaVersion = "schemaVersion";

// A profile, and an app identity.
inline constexpr std::string_view kBundleID = "bundleID";
inline constexpr std::string_view kDisplayName = "displayName";
inline constexpr std::string_view kDefaultConfiguration = "defaultConfiguration";

// A configuration.
inline constexpr std::string_view kMuted = "muted";
inline constexpr std::string_view kOutput = "output";
inline constexpr std::string_view kProcessingProfileID = "processingProfileID";
inline constexpr std::string_view kVolume = "volume";

// An output preference; the values of "kind" are OutputPreference's raw values.
inline constexpr std::string_view kKind = "kind";
inline constexpr std::string_view kLastKnownName = "lastKnownName";
inline constexpr std::string_view kUID = "uid";

// The future-compatible bag.
inline constexpr std::string_view kReserved = "reserved";

// Preferences.
inline constexpr std::string_view kHasCompletedLaunchAtLoginConsent = "hasCompletedLaunchAtLoginConsent";
inline constexpr std::string_view kLaunchAtLogin = "launchAtLogin";
inline constexpr std::string_view kRecentAppVisibilitySeconds = "recentAppVisibilitySeconds";

}  // namespace tonvale::stateJsonKeys
