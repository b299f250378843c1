#include "state/StateJsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "model/ValidText.h"
#include "state/JsonQuoting.h"
#include "state/StateJsonKeys.h"

namespace tonvale {
namespace {

using namespace stateJsonKeys;

constexpr std::string_view kDocumentWriteFailure = "The settings could not be saved: ";

// Collects an object's members and writes them with their keys in ascending order of
// their text (its UTF-8 bytes, which is code-point order), not of their escaped form.
class ObjectText {
public:
    ObjectText& member(std::string_view key, std::string valueText) {
        members_.emplace_back(validText(key), std::move(valueText));
        return *this;
    }

    [[nodiscard]] std::string text() {
        std::stable_sort(members_.begin(), members_.end(),
                         [](const auto& left, const auto& right) { return left.first < right.first; });
        std::string result = "{";
        for (const auto& [key, value] : members_) {
            if (result.size() > 1) {
                result += ',';
            }
            result += quotedJSONString(key);
            result += ':';
            result += value;
        }
        result += '}';
        return result;
    }

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string booleanText(bool value) { return value ? "true" : "false"; }

// The shortest decimal that reads back as the same 32-bit float (0.1, not the double
// widening 0.10000000149011612); integral values are written without a fraction.
std::optional<std::string> volumeText(float volume) {
    if (!std::isfinite(volume)) {
        return std::nullopt;
    }
    char buffer[32];
    const auto [end, status] = std::to_chars(std::begin(buffer), std::end(buffer), volume);
    if (status != std::errc()) {
        return std::nullopt;
    }
    return std::string(buffer, end);
}

std::string outputText(const OutputPreference& output) {
    ObjectText object;
    object.member(kKind, quotedJSONString(OutputPreference::rawValue(output.kind())));
    if (const OutputPreference::Device* device = output.selectedDevice()) {
        object.member(kUID, quotedJSONString(device->uid));
        object.member(kLastKnownName, quotedJSONString(device->lastKnownName));
    }
    return object.text();
}

std::optional<std::string> configurationText(const AppAudioConfiguration& configuration) {
    std::optional<std::string> volume = volumeText(configuration.volume);
    if (!volume) {
        return std::nullopt;
    }
    ObjectText object;
    object.member(kVolume, std::move(*volume));
    object.member(kMuted, booleanText(configuration.muted));
    object.member(kOutput, outputText(configuration.output));
    if (configuration.processingProfileID) {
        object.member(kProcessingProfileID, quotedJSONString(configuration.processingProfileID->uuidString()));
    }
    return object.text();
}

std::string stringArrayText(const std::set<std::string>& texts) {
    std::string result = "[";
    for (const std::string& text : texts) {
        if (result.size() > 1) {
            result += ',';
        }
        result += quotedJSONString(text);
    }
    result += ']';
    return result;
}

std::string stringMapText(const std::map<std::string, std::string>& map) {
    ObjectText object;
    for (const auto& [key, value] : map) {
        object.member(key, quotedJSONString(value));
    }
    return object.text();
}

std::string preferencesText(const Preferences& preferences) {
    return ObjectText()
        .member(kLaunchAtLogin, booleanText(preferences.launchAtLogin))
        .member(kHasCompletedLaunchAtLoginConsent, booleanText(preferences.hasCompletedLaunchAtLoginConsent))
        .member(kRecentAppVisibilitySeconds, std::to_string(preferences.recentAppVisibilitySeconds))
        .text();
}

}  // namespace

EncodeResult writeStateJSON(const PersistedStateV1& state) {
    ObjectText profiles;
    for (const auto& [key, profile] : state.appProfiles) {
        std::optional<std::string> configuration = configurationText(profile.defaultConfiguration);
        if (!configuration) {
            return EncodingError{std::string(kDocumentWriteFailure) + "the volume of " +
                                 quotedForMessage(profile.bundleID) + " is not a finite number."};
        }
        profiles.member(key, ObjectText()
                                 .member(kBundleID, quotedJSONString(profile.bundleID))
                                 .member(kDisplayName, quotedJSONString(profile.displayName))
                                 .member(kDefaultConfiguration, std::move(*configuration))
                                 .text());
    }
    ObjectText document;
    document.member(kAppProfiles, profiles.text());
    document.member(kFavoriteBundleIDs, stringArrayText(state.favoriteBundleIDs));
    if (state.future) {
        document.member(kFuture, ObjectText().member(kReserved, stringMapText(state.future->reserved)).text());
    }
    document.member(kPreferences, preferencesText(state.preferences));
    document.member(kSchemaVersion, std::to_string(state.schemaVersion));
    return document.text();
}

std::string writeIdentityJSON(const AppIdentity& identity) {
    return ObjectText()
        .member(kBundleID, quotedJSONString(identity.bundleID))
        .member(kDisplayName, quotedJSONString(identity.displayName))
        .text();
}

}  // namespace tonvale
