#include "state/StateJsonReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/JsonQuoting.h"
#include "state/StateJsonKeys.h"

namespace tonvale {
namespace {

using Json = nlohmann::json;
using namespace stateJsonKeys;

std::string describeType(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return "the number " + value.dump();
        case Json::value_t::binary:
        case Json::value_t::discarded:
            return "an unreadable value";
    }
    return "an unreadable value";
}

enum class IntegerFit { exact, aboveRange, belowRange, notIntegral };

struct IntegerReading {
    IntegerFit fit;
    std::int64_t value;
};

IntegerReading readIntegerValue(const Json& number) {
    // The parser keeps non-negative integers unsigned, so ask for those first.
    if (number.is_number_unsigned()) {
        const auto value = number.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return {IntegerFit::aboveRange, 0};
        }
        return {IntegerFit::exact, static_cast<std::int64_t>(value)};
    }
    if (number.is_number_integer()) {
        return {IntegerFit::exact, number.get<std::int64_t>()};
    }
    // A number written with a fraction or exponent counts when it is a whole number.
    const auto value = number.get<double>();
    if (!std::isfinite(value) || std::trunc(value) != value) {
        return {IntegerFit::notIntegral, 0};
    }
    constexpr double kTwoToThe63 = 9223372036854775808.0;
    if (value >= kTwoToThe63) {
        return {IntegerFit::aboveRange, 0};
    }
    if (value < -kTwoToThe63) {
        return {IntegerFit::belowRange, 0};
    }
    return {IntegerFit::exact, static_cast<std::int64_t>(value)};
}

// Walks a parsed value against the stored form, remembering where it is so that the
// first failure can say where it happened.
class Reader {
public:
    explicit Reader(std::string_view failurePrefix) : failurePrefix_(failurePrefix) {}

    [[nodiscard]] DecodingError takeError() && {
        return error_.value_or(DecodingError{DecodingError::Kind::invalidJSON, std::string(failurePrefix_)});
    }

    std::optional<PersistedStateV1> readDocument(const Json& root) {
        if (!expect(root.is_object(), root, "an object")) {
            return std::nullopt;
        }
        PersistedStateV1 state;
        std::optional<std::int64_t> schemaVersion =
            requiredMember<std::int64_t>(root, kSchemaVersion, [this](const Json& v) { return readExactInteger(v); });
        if (!schemaVersion) {
            return std::nullopt;
        }
        state.schemaVersion = *schemaVersion;
        auto profiles = requiredMember<std::map<std::string, AppProfile>>(
            root, kAppProfiles, [this](const Json& v) { return readProfiles(v); });
        if (!profiles) {
            return std::nullopt;
        }
        state.appProfiles = std::move(*profiles);
        auto favorites = requiredMember<std::set<std::string>>(root, kFavoriteBundleIDs,
                                                               [this](const Json& v) { return readStringSet(v); });
        if (!favorites) {
            return std::nullopt;
        }
        state.favoriteBundleIDs = std::move(*favorites);
        auto preferences =
            requiredMember<Preferences>(root, kPreferences, [this](const Json& v) { return readPreferences(v); });
        if (!preferences) {
            return std::nullopt;
        }
        state.preferences = *preferences;
        auto future = optionalMember<std::optional<FutureCompatibleState>>(
            root, kFuture, std::nullopt, [this](const Json& v) -> std::optional<std::optional<FutureCompatibleState>> {
                std::optional<FutureCompatibleState> read = readFuture(v);
                if (!read) {
                    return std::nullopt;
                }
                return std::optional<FutureCompatibleState>(std::move(*read));
            });
        if (!future) {
            return std::nullopt;
        }
        state.future = std::move(*future);
        return state;
    }

    std::optional<AppIdentity> readIdentity(const Json& root) {
        if (!expect(root.is_object(), root, "an object")) {
            return std::nullopt;
        }
        auto bundleID = requiredMember<std::string>(root, kBundleID, [this](const Json& v) { return readString(v); });
        if (!bundleID) {
            return std::nullopt;
        }
        auto displayName =
            requiredMember<std::string>(root, kDisplayName, [this](const Json& v) { return readString(v); });
        if (!displayName) {
            return std::nullopt;
        }
        return AppIdentity{std::move(*bundleID), std::move(*displayName)};
    }

private:
    struct PathSegment {
        enum class Form { key, memberName, index };
        Form form;
        std::string_view name;
        std::size_t index;
    };

    // Enters one level of the path for the lifetime of the scope.
    class PathScope {
    public:
        PathScope(Reader& reader, PathSegment segment) : reader_(reader) { reader_.path_.push_back(segment); }
        ~PathScope() { reader_.path_.pop_back(); }
        PathScope(const PathScope&) = delete;
        PathScope& operator=(const PathScope&) = delete;

    private:
        Reader& reader_;
    };

    std::string location() const {
        if (path_.empty()) {
            return "the top level";
        }
        std::string text;
        for (const PathSegment& segment : path_) {
            switch (segment.form) {
                case PathSegment::Form::key:
                    if (!text.empty()) {
                        text += '.';
                    }
                    text += segment.name;
                    break;
                case PathSegment::Form::memberName:
                    text += '[' + quotedForMessage(segment.name) + ']';
                    break;
                case PathSegment::Form::index:
                    text += '[' + std::to_string(segment.index) + ']';
                    break;
            }
        }
        return text;
    }

    void fail(DecodingError::Kind kind, const std::string& detail) {
        if (error_) {
            return;
        }
        error_ = DecodingError{kind, std::string(failurePrefix_) + detail + " at " + location() + "."};
    }

    bool expect(bool isExpectedType, const Json& value, std::string_view expected) {
        if (!isExpectedType) {
            fail(DecodingError::Kind::typeMismatch,
                 "expected " + std::string(expected) + " but found " + describeType(value));
        }
        return isExpectedType;
    }

    // A required member that is absent or null fails the decode.
    template <typename Value, typename Read>
    std::optional<Value> requiredMember(const Json& object, std::string_view key, Read read) {
        const auto found = object.find(key);
        if (found == object.end() || found->is_null()) {
            fail(DecodingError::Kind::missingKey, "the required key " + quotedForMessage(key) + " is missing");
            return std::nullopt;
        }
        const PathScope scope(*this, {PathSegment::Form::key, key, 0});
        return read(*found);
    }

    // An optional member that is absent or null takes its fallback; a present one must read.
    template <typename Value, typename Read>
    std::optional<Value> optionalMember(const Json& object, std::string_view key, Value fallback, Read read) {
        const auto found = object.find(key);
        if (found == object.end() || found->is_null()) {
            return fallback;
        }
        const PathScope scope(*this, {PathSegment::Form::key, key, 0});
        return read(*found);
    }

    std::optional<std::string> readString(const Json& value) {
        if (!expect(value.is_string(), value, "a string")) {
            return std::nullopt;
        }
        return value.get_ref<const std::string&>();
    }

    std::optional<bool> readBool(const Json& value) {
        if (!expect(value.is_boolean(), value, "true or false")) {
            return std::nullopt;
        }
        return value.get<bool>();
    }

    std::optional<float> readVolume(const Json& value) {
        if (!expect(value.is_number(), value, "a number")) {
            return std::nullopt;
        }
        const auto number = value.get<double>();
        // Anything that rounds to a finite float is accepted, including the shortest text of
        // the largest float (3.4028235e+38), which as a double lies just above it.
        constexpr double kFirstOverflowingMagnitude = 0x1.ffffffp127;
        if (!(std::fabs(number) < kFirstOverflowingMagnitude)) {
            fail(DecodingError::Kind::invalidValue, "the number " + value.dump() + " does not fit in a 32-bit float");
            return std::nullopt;
        }
        constexpr auto kLargestFloat = static_cast<double>(std::numeric_limits<float>::max());
        return static_cast<float>(std::clamp(number, -kLargestFloat, kLargestFloat));
    }

    std::optional<std::int64_t> readExactInteger(const Json& value) {
        if (!expect(value.is_number(), value, "an integer")) {
            return std::nullopt;
        }
        const IntegerReading reading = readIntegerValue(value);
        switch (reading.fit) {
            case IntegerFit::exact:
                return reading.value;
            case IntegerFit::notIntegral:
                expect(false, value, "an integer");
                return std::nullopt;
            case IntegerFit::aboveRange:
            case IntegerFit::belowRange:
                fail(DecodingError::Kind::invalidValue,
                     "the number " + value.dump() + " does not fit in a 64-bit integer");
                return std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<std::int64_t> readClampedInteger(const Json& value, std::int64_t lowest, std::int64_t highest) {
        if (!expect(value.is_number(), value, "an integer")) {
            return std::nullopt;
        }
        const IntegerReading reading = readIntegerValue(value);
        switch (reading.fit) {
            case IntegerFit::exact:
                return std::clamp(reading.value, lowest, highest);
            case IntegerFit::aboveRange:
                return highest;
            case IntegerFit::belowRange:
                return lowest;
            case IntegerFit::notIntegral:
                expect(false, value, "an integer");
                return std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<std::optional<foundation::UUID>> readUUID(const Json& value) {
        std::optional<std::string> text = readString(value);
        if (!text) {
            return std::nullopt;
        }
        std::optional<foundation::UUID> uuid = foundation::UUID::parse(*text);
        if (!uuid) {
            fail(DecodingError::Kind::invalidValue, quotedForMessage(*text) + " is not a valid UUID");
            return std::nullopt;
        }
        return uuid;
    }

    std::optional<OutputPreference> readOutput(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        auto kind = requiredMember<OutputPreference::Kind>(
            value, kKind, [this](const Json& v) -> std::optional<OutputPreference::Kind> {
                std::optional<std::string> text = readString(v);
                if (!text) {
                    return std::nullopt;
                }
                std::optional<OutputPreference::Kind> known = OutputPreference::kindFromRawValue(*text);
                if (!known) {
                    fail(DecodingError::Kind::invalidValue, "unknown output kind " + quotedForMessage(*text));
                }
                return known;
            });
        if (!kind) {
            return std::nullopt;
        }
        switch (*kind) {
            case OutputPreference::Kind::systemDefault:
                // Whatever else the object holds belongs to no case and is ignored.
                return OutputPreference::systemDefault();
            case OutputPreference::Kind::device: {
                auto uid = requiredMember<std::string>(value, kUID, [this](const Json& v) { return readString(v); });
                if (!uid) {
                    return std::nullopt;
                }
                auto name =
                    requiredMember<std::string>(value, kLastKnownName, [this](const Json& v) { return readString(v); });
                if (!name) {
                    return std::nullopt;
                }
                return OutputPreference::device(std::move(*uid), std::move(*name));
            }
        }
        return std::nullopt;
    }

    std::optional<AppAudioConfiguration> readConfiguration(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        AppAudioConfiguration configuration;
        auto volume = requiredMember<float>(value, kVolume, [this](const Json& v) { return readVolume(v); });
        if (!volume) {
            return std::nullopt;
        }
        configuration.volume = *volume;
        auto muted = requiredMember<bool>(value, kMuted, [this](const Json& v) { return readBool(v); });
        if (!muted) {
            return std::nullopt;
        }
        configuration.muted = *muted;
        auto output = requiredMember<OutputPreference>(value, kOutput, [this](const Json& v) { return readOutput(v); });
        if (!output) {
            return std::nullopt;
        }
        configuration.output = std::move(*output);
        auto profileID = optionalMember<std::optional<foundation::UUID>>(value, kProcessingProfileID, std::nullopt,
                                                                         [this](const Json& v) { return readUUID(v); });
        if (!profileID) {
            return std::nullopt;
        }
        configuration.processingProfileID = *profileID;
        return configuration;
    }

    std::optional<AppProfile> readProfile(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        auto bundleID = requiredMember<std::string>(value, kBundleID, [this](const Json& v) { return readString(v); });
        if (!bundleID) {
            return std::nullopt;
        }
        auto displayName =
            requiredMember<std::string>(value, kDisplayName, [this](const Json& v) { return readString(v); });
        if (!displayName) {
            return std::nullopt;
        }
        auto configuration = requiredMember<AppAudioConfiguration>(
            value, kDefaultConfiguration, [this](const Json& v) { return readConfiguration(v); });
        if (!configuration) {
            return std::nullopt;
        }
        return AppProfile{std::move(*bundleID), std::move(*displayName), std::move(*configuration)};
    }

    std::optional<std::map<std::string, AppProfile>> readProfiles(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        std::map<std::string, AppProfile> profiles;
        for (const auto& [key, member] : value.items()) {
            const PathScope scope(*this, {PathSegment::Form::memberName, key, 0});
            std::optional<AppProfile> profile = readProfile(member);
            if (!profile) {
                return std::nullopt;
            }
            profiles.emplace(key, std::move(*profile));
        }
        return profiles;
    }

    std::optional<std::set<std::string>> readStringSet(const Json& value) {
        if (!expect(value.is_array(), value, "an array")) {
            return std::nullopt;
        }
        std::set<std::string> texts;
        for (std::size_t index = 0; index < value.size(); ++index) {
            const PathScope scope(*this, {PathSegment::Form::index, {}, index});
            std::optional<std::string> text = readString(value[index]);
            if (!text) {
                return std::nullopt;
            }
            texts.insert(std::move(*text));
        }
        return texts;
    }

    std::optional<Preferences> readPreferences(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        const Preferences defaults;
        Preferences preferences;
        auto launchAtLogin = optionalMember<bool>(value, kLaunchAtLogin, defaults.launchAtLogin,
                                                  [this](const Json& v) { return readBool(v); });
        if (!launchAtLogin) {
            return std::nullopt;
        }
        preferences.launchAtLogin = *launchAtLogin;
        auto hasConsent =
            optionalMember<bool>(value, kHasCompletedLaunchAtLoginConsent, defaults.hasCompletedLaunchAtLoginConsent,
                                 [this](const Json& v) { return readBool(v); });
        if (!hasConsent) {
            return std::nullopt;
        }
        preferences.hasCompletedLaunchAtLoginConsent = *hasConsent;
        auto seconds = optionalMember<std::int64_t>(
            value, kRecentAppVisibilitySeconds, defaults.recentAppVisibilitySeconds, [this](const Json& v) {
                return readClampedInteger(v, Preferences::kMinimumRecentAppVisibilitySeconds,
                                          Preferences::kMaximumRecentAppVisibilitySeconds);
            });
        if (!seconds) {
            return std::nullopt;
        }
        preferences.recentAppVisibilitySeconds = *seconds;
        return preferences;
    }

    std::optional<FutureCompatibleState> readFuture(const Json& value) {
        if (!expect(value.is_object(), value, "an object")) {
            return std::nullopt;
        }
        auto reserved = requiredMember<std::map<std::string, std::string>>(
            value, kReserved, [this](const Json& v) -> std::optional<std::map<std::string, std::string>> {
                if (!expect(v.is_object(), v, "an object")) {
                    return std::nullopt;
                }
                std::map<std::string, std::string> entries;
                for (const auto& [key, member] : v.items()) {
                    const PathScope scope(*this, {PathSegment::Form::memberName, key, 0});
                    std::optional<std::string> text = readString(member);
                    if (!text) {
                        return std::nullopt;
                    }
                    entries.emplace(key, std::move(*text));
                }
                return entries;
            });
        if (!reserved) {
            return std::nullopt;
        }
        return FutureCompatibleState{std::move(*reserved)};
    }

    std::string_view failurePrefix_;
    std::vector<PathSegment> path_;
    std::optional<DecodingError> error_;
};

}  // namespace

DecodeResult<PersistedStateV1> readStateJSON(const nlohmann::json& root, std::string_view failurePrefix) {
    Reader reader(failurePrefix);
    std::optional<PersistedStateV1> state = reader.readDocument(root);
    if (!state) {
        return std::move(reader).takeError();
    }
    return std::move(*state);
}

DecodeResult<AppIdentity> readIdentityJSON(const nlohmann::json& root, std::string_view failurePrefix) {
    Reader reader(failurePrefix);
    std::optional<AppIdentity> identity = reader.readIdentity(root);
    if (!identity) {
        return std::move(reader).takeError();
    }
    return std::move(*identity);
}

}  // namespace tonvale
